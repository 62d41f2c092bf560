#pragma once

// The Wayland backend's entry points, for the backend choice in platform/linux. The desktop captures one
// output (the one at the layout's origin) through wlroots' screencopy protocol, in the output's physical
// pixels and upright; the foreground window comes from sway's IPC where sway runs, and there is none
// elsewhere. Clicks go through wlroots' virtual-pointer protocol.

#include <memory>
#include <string>

namespace platform {
class Desktop;
class PointerInput;
}  // namespace platform

namespace platform::linux_wayland {

// Null when no compositor answers or it offers no screencopy.
std::unique_ptr<Desktop> OpenWaylandDesktop();
// Null when no compositor answers or it offers no virtual pointer.
std::unique_ptr<PointerInput> OpenWaylandPointer();
// Whether a compositor answers at WAYLAND_DISPLAY, and whether it offers screencopy.
enum class CompositorOffer { NoCompositor, NoScreencopy, Screencopy };
CompositorOffer ProbeCompositor();
// Why this Wayland session cannot be captured through screencopy, in one line; empty when it can.
std::string WaylandCaptureProblem();

}  // namespace platform::linux_wayland
