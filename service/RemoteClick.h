#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "common/Geometry.h"
#include "platform/Lock.h"

namespace platform {
class Desktop;
class PointerInput;
}  // namespace platform

// The picture coordinates of a click request "/click?x,y": x is read from just behind the first "?" up
// to "," or the end, y from just behind the first "," of the whole path up to "&" or the end, each at
// most kClickCoordinateChars characters, converted by the rules of atoi with values beyond 32 bits
// clamped. nullopt when the path has no "?" or no "," (nothing to click).
inline constexpr std::size_t kClickCoordinateChars = 10;
std::optional<Point> ParseClickQuery(std::string_view path);

// The screen point for picture coordinates: doubled when the picture was halved, then moved by the
// client origin of the foreground window when the picture shows a window; clamped to 32 bits.
Point ClickScreenPoint(Point picturePoint, bool scaleDown, Point windowOrigin);

// Carries out remote clicks on the real screen. Any number of request threads may click at once: their
// moves and button events interleave as they come, but each call into the screen connection is made by
// one thread at a time. The connections are opened on the first click and kept; when there is no screen,
// the click does nothing and the next one tries again.
class RemoteClick {
  public:
    RemoteClick();
    ~RemoteClick();
    RemoteClick(const RemoteClick&) = delete;
    RemoteClick& operator=(const RemoteClick&) = delete;

    // Moves the pointer, presses and releases the left button with the pauses a desktop expects between
    // them, and returns after the last pause (about 1.1 s). With targetDesktop off the point is taken
    // relative to the client area of the window in the foreground now; without one nothing is clicked.
    void Perform(std::string_view path, bool scaleDown, bool targetDesktop);

  private:
    // Opens what is missing, with lock held; the desktop only when needed. False when something needed
    // cannot be opened.
    bool OpenDevices(bool needDesktop);

    platform::Lock lock;                            // serialises every use of input and desktop
    std::unique_ptr<platform::PointerInput> input;  // guarded by lock
    std::unique_ptr<platform::Desktop> desktop;     // guarded by lock
};
