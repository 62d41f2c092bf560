#include "platform/ScreenBackend.h"

#include <windows.h>

namespace platform {

// Windows has one way to the screen, GDI on the input desktop. It cannot be had without a desktop to draw
// on: in a service's session 0, on a locked workstation's secure desktop, or without a window station.
std::string ScreenCaptureProblem() {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return "no desktop to capture: this session has no screen the program may draw from";
    }
    const int width = GetDeviceCaps(screen, HORZRES);
    const int height = GetDeviceCaps(screen, VERTRES);
    ReleaseDC(nullptr, screen);
    if (width <= 0 || height <= 0) {
        return "no desktop to capture: the screen has no size";
    }
    return {};
}

}  // namespace platform
