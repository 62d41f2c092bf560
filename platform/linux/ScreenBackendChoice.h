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

}  // namespace platform::linux_backend
