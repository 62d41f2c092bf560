#include <linux/input-event-codes.h>

#include <algorithm>
#include <chrono>

#include "platform/Input.h"
#include "platform/linux/wayland/WaylandBackend.h"
#include "platform/linux/wayland/WaylandConnection.h"
#include "wayland-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace platform::linux_wayland {
namespace {

// How long the compositor may take to take in one event.
constexpr std::chrono::milliseconds kEventWait{1000};
constexpr std::uint32_t kWithOutputSince = 2;

std::uint32_t EventTime() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// A virtual pointer tied to the published output: absolute positions are picture pixels of that output,
// whatever its scale. Each event is followed by a round trip, so the pauses the caller makes between
// events are the pauses the compositor sees.
class VirtualPointerInput final : public PointerInput {
  public:
    explicit VirtualPointerInput(std::unique_ptr<WaylandConnection> opened) : connection(std::move(opened)) {
        Create();
    }
    ~VirtualPointerInput() override { Destroy(); }

    void MoveTo(Point screenPoint) override {
        if (!Ready()) {
            return;
        }
        const auto x = static_cast<std::uint32_t>(std::clamp(screenPoint.x, 0, extent.x - 1));
        const auto y = static_cast<std::uint32_t>(std::clamp(screenPoint.y, 0, extent.y - 1));
        zwlr_virtual_pointer_v1_motion_absolute(pointer, EventTime(), x, y,
                                                static_cast<std::uint32_t>(extent.x),
                                                static_cast<std::uint32_t>(extent.y));
        Send();
    }
    void PressLeft(Point) override { Button(WL_POINTER_BUTTON_STATE_PRESSED); }
    void ReleaseLeft(Point) override { Button(WL_POINTER_BUTTON_STATE_RELEASED); }

  private:
    void Button(wl_pointer_button_state state) {
        if (!Ready()) {
            return;
        }
        zwlr_virtual_pointer_v1_button(pointer, EventTime(), BTN_LEFT, state);
        Send();
    }

    void Send() {
        zwlr_virtual_pointer_v1_frame(pointer);
        connection->Roundtrip(kEventWait);
    }

    // A pointer on a live connection; after the compositor went away, a new connection and pointer.
    bool Ready() {
        if (connection->Broken()) {
            Destroy();
            std::unique_ptr<WaylandConnection> reopened = WaylandConnection::Open();
            if (!reopened || reopened->VirtualPointer() == nullptr) {
                return false;
            }
            connection = std::move(reopened);
            Create();
        }
        return pointer != nullptr;
    }

    void Create() {
        const OutputInfo* output = connection->MainOutput();
        if (output == nullptr || connection->VirtualPointer() == nullptr) {
            return;
        }
        const bool quarterTurn = (static_cast<std::uint32_t>(output->transform) & 1u) != 0;
        extent = quarterTurn ? Point{output->bufferSize.y, output->bufferSize.x} : output->bufferSize;
        pointer = connection->VirtualPointerVersion() >= kWithOutputSince
                      ? zwlr_virtual_pointer_manager_v1_create_virtual_pointer_with_output(
                            connection->VirtualPointer(), connection->Seat(), output->output)
                      : zwlr_virtual_pointer_manager_v1_create_virtual_pointer(connection->VirtualPointer(),
                                                                               connection->Seat());
    }

    void Destroy() {
        if (pointer != nullptr) {
            zwlr_virtual_pointer_v1_destroy(pointer);
            pointer = nullptr;
        }
    }

    std::unique_ptr<WaylandConnection> connection;
    zwlr_virtual_pointer_v1* pointer = nullptr;
    Point extent;  // the output's upright size in pixels
};

}  // namespace

std::unique_ptr<PointerInput> OpenWaylandPointer() {
    std::unique_ptr<WaylandConnection> connection = WaylandConnection::Open();
    if (!connection || connection->VirtualPointer() == nullptr || connection->MainOutput() == nullptr) {
        return nullptr;
    }
    return std::make_unique<VirtualPointerInput>(std::move(connection));
}

}  // namespace platform::linux_wayland
