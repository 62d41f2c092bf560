#pragma once

// What the desktops that read a screen cast's stream share: the stream shows the screen and tells nothing
// of windows, so there is never a foreground window (window mode has nothing to capture).

#include <cstddef>
#include <optional>

#include "platform/Screen.h"

namespace platform::linux_pipewire {

class StreamDesktop : public Desktop {
  public:
    std::optional<WindowId> ForegroundWindow() final { return std::nullopt; }
    bool ClassName(WindowId, char* text, std::size_t capacity) final {
        if (capacity > 0) {
            text[0] = '\0';
        }
        return false;
    }
    Rect ClientRect(WindowId) final { return Rect{}; }
    Point ClientToScreen(WindowId, Point point) final { return point; }
};

}  // namespace platform::linux_pipewire
