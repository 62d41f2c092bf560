#include "platform/Input.h"

#include <windows.h>

namespace platform {
namespace {

// The pointer is placed with SetCursorPos; the buttons go in as input events at the pointer's position.
class SendInputPointer final : public PointerInput {
  public:
    void MoveTo(Point screenPoint) override { SetCursorPos(screenPoint.x, screenPoint.y); }
    void PressLeft(Point) override { SendButton(MOUSEEVENTF_LEFTDOWN); }
    void ReleaseLeft(Point) override { SendButton(MOUSEEVENTF_LEFTUP); }

  private:
    static void SendButton(DWORD flags) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = flags;
        SendInput(1, &input, sizeof input);
    }
};

}  // namespace

std::unique_ptr<PointerInput> PointerInput::Open() {
    return std::make_unique<SendInputPointer>();
}

}  // namespace platform
