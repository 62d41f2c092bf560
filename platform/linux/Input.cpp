#include "platform/Input.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include "platform/linux/ScreenConnection.h"
#include "platform/linux/X11Backend.h"

namespace platform {

namespace {

constexpr unsigned int kLeftButton = 1;
constexpr unsigned long kNoDelay = CurrentTime;
// The screen the coordinates refer to; -1 would mean the screen the pointer is on now.
constexpr int kDefaultScreen = 0;

// Pointer input through the XTest extension: each event goes out at once, so that the pauses the caller
// makes between them are the pauses the desktop sees.
class XTestPointerInput final : public PointerInput {
  public:
    explicit XTestPointerInput(std::unique_ptr<linux_x11::ScreenConnection> opened)
        : connection(std::move(opened)) {}

    void MoveTo(Point screenPoint) override {
        if (connection->Broken()) {
            return;
        }
        XTestFakeMotionEvent(connection->Get(), kDefaultScreen, screenPoint.x, screenPoint.y, kNoDelay);
        XFlush(connection->Get());
    }
    void PressLeft(Point) override { SendButton(True); }
    void ReleaseLeft(Point) override { SendButton(False); }

  private:
    void SendButton(Bool press) {
        if (connection->Broken()) {
            return;
        }
        XTestFakeButtonEvent(connection->Get(), kLeftButton, press, kNoDelay);
        XFlush(connection->Get());
    }

    std::unique_ptr<linux_x11::ScreenConnection> connection;
};

}  // namespace

std::unique_ptr<PointerInput> linux_x11::OpenXTestPointer() {
    std::unique_ptr<linux_x11::ScreenConnection> connection = linux_x11::ScreenConnection::Open();
    if (!connection) {
        return nullptr;
    }
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(connection->Get(), &eventBase, &errorBase, &major, &minor)) {
        return nullptr;
    }
    return std::make_unique<XTestPointerInput>(std::move(connection));
}

}  // namespace platform
