#pragma once

// The desktop portal's entry points, for the backend choice in platform/linux: for Wayland desktops that
// offer neither screencopy nor their own screen-cast service (KDE and others), through
// org.freedesktop.portal.ScreenCast and, where offered, org.freedesktop.portal.RemoteDesktop. The desktop
// and the pointer share one portal session, so the user is asked once; the portal's restore token is kept
// in the state folder so that a restart is not asked again. The first Open may wait while the user answers.

#include <memory>
#include <string>

namespace platform {
class Desktop;
class PointerInput;
}  // namespace platform

namespace platform::linux_portal {

// Null when no portal answers, the user refuses, or the stream cannot be received. There is no foreground
// window: the portal cannot tell.
std::unique_ptr<Desktop> OpenPortalDesktop();
// Null when no portal session can be started. When the portal offers no pointer, a pointer whose clicks go
// nowhere (the reason is written once to the standard error).
std::unique_ptr<PointerInput> OpenPortalPointer();
// Why the portal cannot capture this session, in one line; empty when it offers ScreenCast. Asks nothing.
std::string PortalCaptureProblem();

}  // namespace platform::linux_portal
