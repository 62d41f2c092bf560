#include "platform/ScreenBackend.h"

#include <cstdlib>

#include "platform/Input.h"
#include "platform/Screen.h"
#include "platform/linux/ScreenBackendChoice.h"
#include "platform/linux/ScreenConnection.h"
#include "platform/linux/X11Backend.h"
#include "platform/linux/gnome/GnomeBackend.h"
#include "platform/linux/portal/PortalBackend.h"
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

// The session bus is asked only when the compositor has no screencopy, so a wlroots session never waits
// on it; the desktop portal only when GNOME's own service is not there either.
WaylandCapture SessionWaylandCapture() {
    const linux_wayland::CompositorOffer offer = linux_wayland::ProbeCompositor();
    const bool mutterScreenCast =
        offer == linux_wayland::CompositorOffer::NoScreencopy && linux_gnome::ScreenCastServiceOnBus();
    const bool portal = offer == linux_wayland::CompositorOffer::NoScreencopy && !mutterScreenCast &&
                        linux_portal::PortalCaptureProblem().empty();
    return ChooseWaylandCapture(offer != linux_wayland::CompositorOffer::NoCompositor,
                                offer == linux_wayland::CompositorOffer::Screencopy, mutterScreenCast,
                                portal);
}

namespace {
constexpr const char* kNothingCaptures = "Wayland session without screencopy or ScreenCast portal";

// The one place a Wayland session's capture backend is picked: the desktop, the pointer and the problem.
std::unique_ptr<Desktop> OpenWaylandSessionDesktop() {
    switch (SessionWaylandCapture()) {
        case WaylandCapture::Screencopy:
            return linux_wayland::OpenWaylandDesktop();
        case WaylandCapture::MutterScreenCast:
            return linux_gnome::OpenMutterDesktop();
        case WaylandCapture::Portal:
            return linux_portal::OpenPortalDesktop();
        case WaylandCapture::NoCompositor:
        case WaylandCapture::Nothing:
            break;
    }
    return nullptr;
}

std::unique_ptr<PointerInput> OpenWaylandSessionPointer() {
    switch (SessionWaylandCapture()) {
        case WaylandCapture::Screencopy:
            return linux_wayland::OpenWaylandPointer();
        case WaylandCapture::MutterScreenCast:
            return linux_gnome::OpenMutterPointer();
        case WaylandCapture::Portal:
            return linux_portal::OpenPortalPointer();
        case WaylandCapture::NoCompositor:
        case WaylandCapture::Nothing:
            break;
    }
    return nullptr;
}

std::string WaylandSessionProblem() {
    switch (SessionWaylandCapture()) {
        case WaylandCapture::NoCompositor:
        case WaylandCapture::Screencopy:
            return linux_wayland::WaylandCaptureProblem();
        case WaylandCapture::MutterScreenCast:
            return linux_gnome::MutterCaptureProblem();
        case WaylandCapture::Portal:
            return linux_portal::PortalCaptureProblem();
        case WaylandCapture::Nothing:
            break;
    }
    return kNothingCaptures;
}
}  // namespace

}  // namespace linux_backend

using linux_backend::ScreenBackendKind;

std::unique_ptr<Desktop> Desktop::Open() {
    switch (linux_backend::SessionScreenBackend()) {
        case ScreenBackendKind::Wayland:
            return linux_backend::OpenWaylandSessionDesktop();
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
            return linux_backend::OpenWaylandSessionPointer();
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
            return linux_backend::WaylandSessionProblem();
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
