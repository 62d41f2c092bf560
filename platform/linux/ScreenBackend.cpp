#include "platform/ScreenBackend.h"

#include <cstdlib>

#include "platform/Input.h"
#include "platform/Screen.h"
#include "platform/linux/ScreenBackendChoice.h"
#include "platform/linux/ScreenConnection.h"
#include "platform/linux/X11Backend.h"
#include "platform/linux/wayland/WaylandBackend.h"

namespace platform {
namespace linux_backend {
namespace {
std::string_view Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}
}  // namespace

ScreenBackendKind SessionScreenBackend() {
    return ChooseScreenBackend(Variable("XDG_SESSION_TYPE"), Variable("WAYLAND_DISPLAY"),
                               Variable("DISPLAY"));
}

}  // namespace linux_backend

using linux_backend::ScreenBackendKind;

std::unique_ptr<Desktop> Desktop::Open() {
    switch (linux_backend::SessionScreenBackend()) {
        case ScreenBackendKind::Wayland:
            return linux_wayland::OpenWaylandDesktop();
        case ScreenBackendKind::X11:
            return linux_x11::OpenX11Desktop();
        case ScreenBackendKind::NoScreen:
            break;
    }
    return nullptr;
}

std::unique_ptr<PointerInput> PointerInput::Open() {
    switch (linux_backend::SessionScreenBackend()) {
        case ScreenBackendKind::Wayland:
            return linux_wayland::OpenWaylandPointer();
        case ScreenBackendKind::X11:
            return linux_x11::OpenXTestPointer();
        case ScreenBackendKind::NoScreen:
            break;
    }
    return nullptr;
}

std::string ScreenCaptureProblem() {
    switch (linux_backend::SessionScreenBackend()) {
        case ScreenBackendKind::Wayland:
            return linux_wayland::WaylandCaptureProblem();
        case ScreenBackendKind::X11:
            if (!linux_x11::ScreenConnection::Open()) {
                return "cannot open the X display " + std::string(linux_backend::Variable("DISPLAY"));
            }
            return {};
        case ScreenBackendKind::NoScreen:
            break;
    }
    if (!linux_backend::Variable("WAYLAND_DISPLAY").empty()) {
        return "no screen to capture: the session is X11 but DISPLAY is not set";
    }
    return "no screen to capture: neither WAYLAND_DISPLAY nor DISPLAY is set";
}

}  // namespace platform
