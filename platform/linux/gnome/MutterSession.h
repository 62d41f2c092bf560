#pragma once

// A remote-desktop session with GNOME's compositor over the session bus: a RemoteDesktop session with a
// ScreenCast session tied to it that records the primary monitor, started without a prompt. Mutter ends
// both when our bus connection closes, so the connection lives as long as the session. The stream's
// frames arrive over PipeWire; pointer events are given in the stream's pixels.
//
// One session serves the whole process (Shared()): the capture Desktop and the click PointerInput hold it
// together, since mutter places absolute motion on a stream. Any thread may call it; bus traffic is
// serialised under its own lock.

#include <systemd/sd-bus.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/linux/pipewire/PipeWireFrames.h"

namespace platform::linux_gnome {

inline constexpr const char* kScreenCastService = "org.gnome.Mutter.ScreenCast";

class MutterSession {
  public:
    // The process's live session, started when there is none (or the last one ended). Null, with the
    // reason in problem (one line), when mutter cannot be reached or refuses.
    static std::shared_ptr<MutterSession> Shared(std::string& problem);
    ~MutterSession();
    MutterSession(const MutterSession&) = delete;
    MutterSession& operator=(const MutterSession&) = delete;

    // False once mutter closed the session or left the bus, or the stream stopped giving pictures.
    bool Alive();
    // The newest picture of the monitor; see PipeWireFrames::WithNewestFrame.
    bool WithNewestFrame(std::chrono::milliseconds wait,
                         const std::function<void(const linux_wayland::Frame&)>& use);
    // Pointer events; each waits for mutter's answer.
    void MovePointerTo(double x, double y);
    void LeftButton(bool pressed);

  private:
    MutterSession() = default;
    bool Start(std::string& problem);
    void ProcessPending();

    static int OnStreamAdded(sd_bus_message* message, void* data, sd_bus_error* error);
    static int OnClosed(sd_bus_message* message, void* data, sd_bus_error* error);
    static int OnOwnerChanged(sd_bus_message* message, void* data, sd_bus_error* error);

    std::mutex busLock;  // guards everything below but frames, which has its own lock
    sd_bus* bus = nullptr;
    sd_bus_slot* streamAddedSlot = nullptr;
    sd_bus_slot* closedSlot = nullptr;
    sd_bus_slot* ownerSlot = nullptr;
    std::string remoteDesktopPath;
    std::string streamPath;
    std::uint32_t nodeId = 0;
    bool nodeKnown = false;
    bool closed = false;
    std::unique_ptr<linux_pipewire::PipeWireFrames> frames;  // set once in Start
    std::atomic<bool> delivered{false};                      // a picture came
    std::atomic<bool> streamEnded{false};                    // and later none did
};

}  // namespace platform::linux_gnome
