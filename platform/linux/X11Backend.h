#pragma once

// The X11 backend's entry points, for the backend choice in ScreenBackend.cpp.

#include <memory>

namespace platform {
class Desktop;
class PointerInput;
}  // namespace platform

namespace platform::linux_x11 {

// Null when no display can be opened.
std::unique_ptr<Desktop> OpenX11Desktop();
// Null when no display can be opened or it lacks the XTest extension.
std::unique_ptr<PointerInput> OpenXTestPointer();

}  // namespace platform::linux_x11
