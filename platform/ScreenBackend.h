#pragma once

// Whether this session's screen can be captured at all. The controlling thread asks before it starts
// serving, so that a session nothing can capture is reported instead of served as black or start-up
// pictures for ever. Opens and closes a connection of its own; takes up to a few seconds when a
// compositor does not answer.

#include <string>

namespace platform {

// Why the screen cannot be captured, in one line without a final newline (for example "Wayland session
// without screencopy or ScreenCast portal"); empty when it can.
std::string ScreenCaptureProblem();

}  // namespace platform
