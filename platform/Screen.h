#pragma once

// The screen and its windows. Open a Desktop on the thread that uses it, or serialise its use: one
// Desktop is used by one thread at a time (the capture thread, under the capture lock; the click path,
// with its own Desktop). Failures are reported as results.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "common/Geometry.h"

namespace platform {

class DrawingSurface;

using WindowId = std::uint64_t;

class Desktop {
  public:
    // Null when there is no screen to talk to (no display).
    static std::unique_ptr<Desktop> Open();
    virtual ~Desktop() = default;

    // The whole desktop in screen coordinates.
    virtual Rect DesktopRect() = 0;
    // The window the user works in (the one the window manager marks active, or the top-level window that
    // holds the input focus); nullopt when there is none.
    virtual std::optional<WindowId> ForegroundWindow() = 0;
    // The window's class name, NUL-terminated and cut to capacity - 1; false when it has none.
    virtual bool ClassName(WindowId window, char* buffer, std::size_t capacity) = 0;
    // The window's client area in its own coordinates: (0, 0, width, height); empty when the window is not
    // on the screen (minimised, or gone).
    virtual Rect ClientRect(WindowId window) = 0;
    virtual Point ClientToScreen(WindowId window, Point point) = 0;
    // Copies what the screen shows inside source (screen coordinates) to the surface, top-left at (0, 0),
    // as many pixels as both hold; parts of source outside the screen come out black. False on failure.
    virtual bool CopyPixels(const Rect& source, DrawingSurface& target) = 0;
};

}  // namespace platform
