#pragma once

// A connection to the Wayland compositor named by WAYLAND_DISPLAY, with the globals the backend uses
// bound: shared memory, the outputs, the first seat, and wlroots' screencopy and virtual-pointer managers
// where the compositor offers them. One thread uses a connection at a time. Every wait for the compositor
// is bounded; a compositor that goes away leaves the connection broken, and the owner opens a new one.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/wayland/FrameCopy.h"

struct wl_display;
struct wl_registry;
struct wl_shm;
struct wl_seat;
struct wl_output;
struct zwlr_screencopy_manager_v1;
struct zwlr_virtual_pointer_manager_v1;

namespace platform::linux_wayland {

struct OutputInfo {
    wl_output* output = nullptr;
    std::uint32_t globalName = 0;
    Point position;    // top-left corner in the compositor's layout
    Point bufferSize;  // the current mode, in the device's own orientation
    OutputTransform transform = OutputTransform::Normal;
    bool described = false;  // the first "done" has arrived
};

class WaylandConnection {
  public:
    // Null when no compositor answers at WAYLAND_DISPLAY (or the default name when it is unset).
    static std::unique_ptr<WaylandConnection> Open();
    ~WaylandConnection();
    WaylandConnection(const WaylandConnection&) = delete;
    WaylandConnection& operator=(const WaylandConnection&) = delete;

    wl_display* Display() const { return display; }
    wl_shm* Shm() const { return shm; }
    wl_seat* Seat() const { return seat; }
    zwlr_screencopy_manager_v1* Screencopy() const { return screencopy; }
    zwlr_virtual_pointer_manager_v1* VirtualPointer() const { return virtualPointer; }
    std::uint32_t VirtualPointerVersion() const { return virtualPointerVersion; }
    // The output published as the desktop: the one at the layout's origin, or else the first; null when
    // the compositor has none.
    const OutputInfo* MainOutput() const;

    // True once the compositor has gone away or ended the connection for a protocol error.
    bool Broken() const;
    // Dispatches events until done turns true; false when the time runs out or the connection breaks.
    bool DispatchUntil(const bool& done, std::chrono::milliseconds timeout);
    // Sends everything queued and waits until the compositor has handled it.
    bool Roundtrip(std::chrono::milliseconds timeout);

  private:
    explicit WaylandConnection(wl_display* opened) : display(opened) {}
    static void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                         std::uint32_t version);
    static void OnGlobalRemove(void* data, wl_registry* registry, std::uint32_t name);

    wl_display* display;
    wl_registry* registry = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    zwlr_screencopy_manager_v1* screencopy = nullptr;
    zwlr_virtual_pointer_manager_v1* virtualPointer = nullptr;
    std::uint32_t virtualPointerVersion = 0;
    std::vector<std::unique_ptr<OutputInfo>> outputs;
};

}  // namespace platform::linux_wayland
