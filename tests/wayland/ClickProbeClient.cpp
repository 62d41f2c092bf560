// A Wayland window for the tests: it asks for the app_id given as its argument, shows blue with a green
// 20 x 20 square in its top-left corner, and prints one line per pointer button press to its standard
// output, "press X Y" in window pixels. It prints "shown WIDTHxHEIGHT" each time it has drawn itself,
// "pointer ready" or "pointer gone" when the seat gains or loses its pointer, "enter X Y" when the pointer
// comes over the window, and runs until it is killed or the compositor goes away. With "fullscreen" as its
// second argument it asks to cover the output, for compositors that place windows as they like.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "wayland-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

constexpr int kMarkerSide = 20;
constexpr std::uint32_t kBlue = 0xFF0000FF;  // XRGB8888
constexpr std::uint32_t kGreen = 0xFF00FF00;
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;

struct Probe {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    xdg_wm_base* shell = nullptr;
    wl_pointer* pointer = nullptr;
    wl_surface* surface = nullptr;
    wl_buffer* buffer = nullptr;
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    double pointerX = 0;
    double pointerY = 0;
};

void Draw(Probe& probe) {
    const int stride = probe.width * 4;
    const std::size_t bytes = static_cast<std::size_t>(stride) * probe.height;
    const int fd = memfd_create("click-probe", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        return;
    }
    auto* pixels =
        static_cast<std::uint32_t*>(mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    for (int y = 0; y < probe.height; ++y) {
        for (int x = 0; x < probe.width; ++x) {
            pixels[y * probe.width + x] = x < kMarkerSide && y < kMarkerSide ? kGreen : kBlue;
        }
    }
    munmap(pixels, bytes);
    wl_shm_pool* pool = wl_shm_create_pool(probe.shm, fd, static_cast<std::int32_t>(bytes));
    if (probe.buffer != nullptr) {
        wl_buffer_destroy(probe.buffer);
    }
    probe.buffer =
        wl_shm_pool_create_buffer(pool, 0, probe.width, probe.height, stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_surface_attach(probe.surface, probe.buffer, 0, 0);
    wl_surface_damage(probe.surface, 0, 0, probe.width, probe.height);
    wl_surface_commit(probe.surface);
    std::printf("shown %dx%d\n", probe.width, probe.height);
    std::fflush(stdout);
}

void OnPing(void*, xdg_wm_base* shell, std::uint32_t serial) {
    xdg_wm_base_pong(shell, serial);
}
constexpr xdg_wm_base_listener kShellListener{OnPing};

void OnSurfaceConfigure(void* data, xdg_surface* surface, std::uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    Draw(*static_cast<Probe*>(data));
}
constexpr xdg_surface_listener kSurfaceListener{OnSurfaceConfigure};

void OnToplevelConfigure(void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array*) {
    auto* probe = static_cast<Probe*>(data);
    if (width > 0 && height > 0) {
        probe->width = width;
        probe->height = height;
    }
}
void OnToplevelClose(void*, xdg_toplevel*) {}
constexpr xdg_toplevel_listener kToplevelListener{OnToplevelConfigure, OnToplevelClose};

void OnEnter(void* data, wl_pointer*, std::uint32_t, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
    auto* probe = static_cast<Probe*>(data);
    probe->pointerX = wl_fixed_to_double(x);
    probe->pointerY = wl_fixed_to_double(y);
    std::printf("enter %d %d\n", static_cast<int>(probe->pointerX), static_cast<int>(probe->pointerY));
    std::fflush(stdout);
}
void OnLeave(void*, wl_pointer*, std::uint32_t, wl_surface*) {}
void OnMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
    auto* probe = static_cast<Probe*>(data);
    probe->pointerX = wl_fixed_to_double(x);
    probe->pointerY = wl_fixed_to_double(y);
}
void OnButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) {
    const auto* probe = static_cast<Probe*>(data);
    if (state == WL_POINTER_BUTTON_STATE_PRESSED) {
        std::printf("press %d %d\n", static_cast<int>(probe->pointerX), static_cast<int>(probe->pointerY));
        std::fflush(stdout);
    }
}
void OnAxis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
constexpr wl_pointer_listener kPointerListener{OnEnter, OnLeave, OnMotion, OnButton, OnAxis};

// A seat whose only pointer is a virtual one loses the pointer when that goes away; the old wl_pointer then
// stays silent for ever, so a new one is taken when a pointer comes back.
void OnCapabilities(void* data, wl_seat* seat, std::uint32_t capabilities) {
    auto* probe = static_cast<Probe*>(data);
    const bool hasPointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    if (!hasPointer && probe->pointer != nullptr) {
        wl_pointer_destroy(probe->pointer);
        probe->pointer = nullptr;
        std::printf("pointer gone\n");
    } else if (hasPointer && probe->pointer == nullptr) {
        probe->pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(probe->pointer, &kPointerListener, probe);
        std::printf("pointer ready\n");
    }
    std::fflush(stdout);
}
constexpr wl_seat_listener kSeatListener{OnCapabilities, nullptr};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
    auto* probe = static_cast<Probe*>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        probe->compositor =
            static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        probe->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && probe->seat == nullptr) {
        probe->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        wl_seat_add_listener(probe->seat, &kSeatListener, probe);
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        probe->shell = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(probe->shell, &kShellListener, probe);
    }
}
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
constexpr wl_registry_listener kRegistryListener{OnGlobal, OnGlobalRemove};

}  // namespace

int main(int argc, char** argv) {
    const char* appId = argc > 1 ? argv[1] : "qv-click-probe";
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "click-probe: no compositor\n");
        return 1;
    }
    Probe probe;
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistryListener, &probe);
    wl_display_roundtrip(display);
    if (probe.compositor == nullptr || probe.shm == nullptr || probe.shell == nullptr) {
        std::fprintf(stderr, "click-probe: the compositor lacks a global it needs\n");
        return 1;
    }
    probe.surface = wl_compositor_create_surface(probe.compositor);
    xdg_surface* surface = xdg_wm_base_get_xdg_surface(probe.shell, probe.surface);
    xdg_surface_add_listener(surface, &kSurfaceListener, &probe);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(surface);
    xdg_toplevel_add_listener(toplevel, &kToplevelListener, &probe);
    xdg_toplevel_set_app_id(toplevel, appId);
    if (argc > 2 && std::strcmp(argv[2], "fullscreen") == 0) {
        xdg_toplevel_set_fullscreen(toplevel, nullptr);
    }
    wl_surface_commit(probe.surface);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
