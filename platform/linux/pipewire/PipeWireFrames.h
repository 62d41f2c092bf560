#pragma once

// Video frames of one PipeWire stream (a screen cast that GNOME's ScreenCast service or the desktop
// portal started for us), received into memory on PipeWire's own thread loop. Only the newest frame is
// kept; a capture looks at it under the stream's lock. Frames are taken as shared-memory buffers in a
// 32-bit format that platform/linux/wayland/FrameCopy.h can turn upright.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/linux/wayland/FrameCopy.h"

namespace platform::linux_pipewire {

class PipeWireFrames {
  public:
    // Connects to the stream's node: through remoteFd when a portal opened the PipeWire remote for us
    // (the descriptor is taken over), or to the session's own PipeWire daemon when remoteFd is -1. Null,
    // with the reason in problem (one line), when the daemon or the node cannot be reached.
    static std::unique_ptr<PipeWireFrames> Connect(int remoteFd, std::uint32_t nodeId, std::string& problem);
    virtual ~PipeWireFrames() = default;

    // Calls use with the newest frame, waiting up to wait for the first one to arrive; false when none
    // came (the stream failed or is still starting).
    virtual bool WithNewestFrame(std::chrono::milliseconds wait,
                                 const std::function<void(const linux_wayland::Frame&)>& use) = 0;
};

}  // namespace platform::linux_pipewire
