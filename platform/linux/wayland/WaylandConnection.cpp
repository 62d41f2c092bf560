#include "platform/linux/wayland/WaylandConnection.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "wayland-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace platform::linux_wayland {
namespace {

// The newest versions whose events this code handles.
constexpr std::uint32_t kOutputVersion = 3;
constexpr std::uint32_t kScreencopyVersion = 2;
constexpr std::uint32_t kVirtualPointerVersion = 2;
constexpr std::uint32_t kShmVersion = 1;
constexpr std::uint32_t kSeatVersion = 1;
// The outputs describe themselves in reply to the binding; this is how long that may take.
constexpr std::chrono::milliseconds kStartupWait{2000};

void OnGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
                std::int32_t, const char*, const char*, std::int32_t transform) {
    auto* info = static_cast<OutputInfo*>(data);
    info->position = Point{x, y};
    info->transform = static_cast<OutputTransform>(static_cast<std::uint32_t>(transform) & 7u);
}

void OnMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
            std::int32_t) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        static_cast<OutputInfo*>(data)->bufferSize = Point{width, height};
    }
}

void OnDone(void* data, wl_output*) {
    static_cast<OutputInfo*>(data)->described = true;
}
void OnScale(void*, wl_output*, std::int32_t) {}
void OnName(void*, wl_output*, const char*) {}
void OnDescription(void*, wl_output*, const char*) {}

constexpr wl_output_listener kOutputListener{OnGeometry, OnMode, OnDone, OnScale, OnName, OnDescription};

void OnSyncDone(void* data, wl_callback*, std::uint32_t) {
    *static_cast<bool*>(data) = true;
}
constexpr wl_callback_listener kSyncListener{OnSyncDone};

}  // namespace

void WaylandConnection::OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                                 std::uint32_t version) {
    auto* self = static_cast<WaylandConnection*>(data);
    const auto bind = [&](const wl_interface* wanted, std::uint32_t newest) {
        return wl_registry_bind(registry, name, wanted, std::min(version, newest));
    };
    if (std::strcmp(interface, wl_shm_interface.name) == 0 && self->shm == nullptr) {
        self->shm = static_cast<wl_shm*>(bind(&wl_shm_interface, kShmVersion));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && self->seat == nullptr) {
        self->seat = static_cast<wl_seat*>(bind(&wl_seat_interface, kSeatVersion));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto info = std::make_unique<OutputInfo>();
        info->globalName = name;
        info->output = static_cast<wl_output*>(bind(&wl_output_interface, kOutputVersion));
        wl_output_add_listener(info->output, &kOutputListener, info.get());
        self->outputs.push_back(std::move(info));
    } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0 &&
               self->screencopy == nullptr) {
        self->screencopy = static_cast<zwlr_screencopy_manager_v1*>(
            bind(&zwlr_screencopy_manager_v1_interface, kScreencopyVersion));
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0 &&
               self->virtualPointer == nullptr) {
        self->virtualPointerVersion = std::min(version, kVirtualPointerVersion);
        self->virtualPointer = static_cast<zwlr_virtual_pointer_manager_v1*>(
            bind(&zwlr_virtual_pointer_manager_v1_interface, kVirtualPointerVersion));
    }
}

void WaylandConnection::OnGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    auto* self = static_cast<WaylandConnection*>(data);
    const auto gone = std::find_if(self->outputs.begin(), self->outputs.end(),
                                   [name](const auto& info) { return info->globalName == name; });
    if (gone != self->outputs.end()) {
        wl_output_destroy((*gone)->output);
        self->outputs.erase(gone);
    }
}

std::unique_ptr<WaylandConnection> WaylandConnection::Open() {
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return nullptr;
    }
    static constexpr wl_registry_listener kRegistryListener{&OnGlobal, &OnGlobalRemove};
    std::unique_ptr<WaylandConnection> connection(new WaylandConnection(display));
    connection->registry = wl_display_get_registry(display);
    wl_registry_add_listener(connection->registry, &kRegistryListener, connection.get());
    // One round for the globals, one for the outputs' descriptions that the bindings asked for.
    if (!connection->Roundtrip(kStartupWait) || !connection->Roundtrip(kStartupWait)) {
        return nullptr;
    }
    return connection;
}

WaylandConnection::~WaylandConnection() {
    for (const auto& info : outputs) {
        wl_output_destroy(info->output);
    }
    if (virtualPointer != nullptr) {
        zwlr_virtual_pointer_manager_v1_destroy(virtualPointer);
    }
    if (screencopy != nullptr) {
        zwlr_screencopy_manager_v1_destroy(screencopy);
    }
    if (seat != nullptr) {
        wl_seat_destroy(seat);
    }
    if (shm != nullptr) {
        wl_shm_destroy(shm);
    }
    if (registry != nullptr) {
        wl_registry_destroy(registry);
    }
    wl_display_disconnect(display);
}

const OutputInfo* WaylandConnection::MainOutput() const {
    const OutputInfo* first = nullptr;
    for (const auto& info : outputs) {
        if (!info->described || info->bufferSize.x <= 0 || info->bufferSize.y <= 0) {
            continue;
        }
        if (info->position == Point{0, 0}) {
            return info.get();
        }
        if (first == nullptr) {
            first = info.get();
        }
    }
    return first;
}

bool WaylandConnection::Broken() const {
    return wl_display_get_error(display) != 0;
}

bool WaylandConnection::DispatchUntil(const bool& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (wl_display_dispatch_pending(display) < 0) {
            return false;
        }
        if (done) {
            return true;
        }
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) {
                return false;
            }
        }
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            wl_display_cancel_read(display);
            return false;
        }
        pollfd descriptor{wl_display_get_fd(display), POLLIN, 0};
        const int ready = poll(&descriptor, 1, static_cast<int>(left.count()));
        if (ready <= 0) {
            wl_display_cancel_read(display);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        if (wl_display_read_events(display) < 0) {
            return false;
        }
    }
}

bool WaylandConnection::Roundtrip(std::chrono::milliseconds timeout) {
    bool done = false;
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &kSyncListener, &done);
    const bool answered = DispatchUntil(done, timeout);
    wl_callback_destroy(callback);
    return answered;
}

}  // namespace platform::linux_wayland
