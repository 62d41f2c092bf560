#pragma once

// The GNOME backend's entry points, for the backend choice in platform/linux: mutter's own ScreenCast
// and RemoteDesktop services on the session bus, as GNOME's remote-desktop service uses them, without a
// prompt. The desktop is the primary monitor, in the stream's pixels; mutter does not say which window
// is in front, so there is never a foreground window (window mode has nothing to capture).

#include <memory>
#include <string>

namespace platform {
class Desktop;
class PointerInput;
}  // namespace platform

namespace platform::linux_gnome {

// Null when mutter's session cannot be started.
std::unique_ptr<Desktop> OpenMutterDesktop();
std::unique_ptr<PointerInput> OpenMutterPointer();
// Why mutter's screen cast cannot be captured, in one line; empty when a picture arrives.
std::string MutterCaptureProblem();
// Whether GNOME's ScreenCast service is on the session bus.
bool ScreenCastServiceOnBus();

}  // namespace platform::linux_gnome
