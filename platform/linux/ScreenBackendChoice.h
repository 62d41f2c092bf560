#pragma once

// Which backend talks to this session's screen, from the session's environment: Wayland when
// WAYLAND_DISPLAY names a compositor (unless the session says it is X11, as a nested compositor's parent
// does), X11 when only DISPLAY is set, none when neither is.

#include <string_view>

namespace platform::linux_backend {

enum class ScreenBackendKind { NoScreen, X11, Wayland };

constexpr ScreenBackendKind ChooseScreenBackend(std::string_view sessionType, std::string_view waylandDisplay,
                                                std::string_view x11Display) {
    if (!waylandDisplay.empty() && sessionType != "x11") {
        return ScreenBackendKind::Wayland;
    }
    if (!x11Display.empty()) {
        return ScreenBackendKind::X11;
    }
    return ScreenBackendKind::NoScreen;
}

// The environment's answer, unset variables read as empty.
ScreenBackendKind SessionScreenBackend();

// What captures a Wayland session: wlroots' screencopy where the compositor offers it, else GNOME's own
// ScreenCast service where it is on the session bus, else the desktop portal's ScreenCast.
enum class WaylandCapture { NoCompositor, Screencopy, MutterScreenCast, Portal, Nothing };

constexpr WaylandCapture ChooseWaylandCapture(bool compositorAnswers, bool screencopy, bool mutterScreenCast,
                                              bool portal) {
    if (!compositorAnswers) {
        return WaylandCapture::NoCompositor;
    }
    if (screencopy) {
        return WaylandCapture::Screencopy;
    }
    if (mutterScreenCast) {
        return WaylandCapture::MutterScreenCast;
    }
    return portal ? WaylandCapture::Portal : WaylandCapture::Nothing;
}

// The answer for this session: the compositor and the session bus asked now.
WaylandCapture SessionWaylandCapture();

}  // namespace platform::linux_backend
