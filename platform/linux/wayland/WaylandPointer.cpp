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

// A virtual pointer tied to the published output: positions are pixels of its upright picture, whatever
// the output's scale and turn. Each event is followed by a round trip, so the pauses the caller makes between
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
        const AbsolutePosition absolute = PointerPositionFor(screenPoint, bufferSize, transform);
        zwlr_virtual_pointer_v1_motion_absolute(
            pointer, EventTime(), static_cast<std::uint32_t>(absolute.position.x),
            static_cast<std::uint32_t>(absolute.position.y), static_cast<std::uint32_t>(absolute.extent.x),
            static_cast<std::uint32_t>(absolute.extent.y));
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
        bufferSize = output->bufferSize;
        transform = output->transform;
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
    Point bufferSize;  // the output's mode, in the device's orientation
    OutputTransform transform = OutputTransform::Normal;
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
