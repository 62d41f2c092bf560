#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/Drawing.h"
#include "platform/Screen.h"
#include "platform/linux/wayland/FrameCopy.h"
#include "platform/linux/wayland/SwayIpc.h"
#include "platform/linux/wayland/SwayTree.h"
#include "platform/linux/wayland/WaylandBackend.h"
#include "platform/linux/wayland/WaylandConnection.h"
#include "wayland-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

namespace platform::linux_wayland {
namespace {

constexpr int kFrameBytesPerPixel = 4;
// How long a compositor may take to describe and then fill a frame.
constexpr std::chrono::milliseconds kFrameWait{2000};
constexpr std::int32_t kNoCursor = 0;

std::optional<PixelOrder> OrderOf(std::uint32_t format) {
    switch (format) {
        case WL_SHM_FORMAT_XRGB8888:
        case WL_SHM_FORMAT_ARGB8888:
            return PixelOrder::Bgrx;
        case WL_SHM_FORMAT_XBGR8888:
        case WL_SHM_FORMAT_ABGR8888:
            return PixelOrder::Rgbx;
        default:
            return std::nullopt;
    }
}

// A shared-memory buffer the compositor copies frames into; kept while the frames keep their shape.
class ShmBuffer {
  public:
    ShmBuffer() = default;
    ~ShmBuffer() { Release(); }
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    bool Fits(std::uint32_t wantedFormat, int wantedWidth, int wantedHeight, int wantedStride) const {
        return buffer != nullptr && format == wantedFormat && width == wantedWidth &&
               height == wantedHeight && stride == wantedStride;
    }

    bool Make(wl_shm* shm, std::uint32_t newFormat, int newWidth, int newHeight, int newStride) {
        Release();
        const std::size_t bytes = static_cast<std::size_t>(newStride) * static_cast<std::size_t>(newHeight);
        const int fd = memfd_create("qvserver-screencopy", MFD_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
            close(fd);
            return false;
        }
        void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mapped == MAP_FAILED) {
            close(fd);
            return false;
        }
        wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(bytes));
        buffer = wl_shm_pool_create_buffer(pool, 0, newWidth, newHeight, newStride, newFormat);
        wl_shm_pool_destroy(pool);
        close(fd);
        memory = static_cast<std::uint8_t*>(mapped);
        size = bytes;
        format = newFormat;
        width = newWidth;
        height = newHeight;
        stride = newStride;
        return true;
    }

    void Release() {
        if (buffer != nullptr) {
            wl_buffer_destroy(buffer);
            buffer = nullptr;
        }
        if (memory != nullptr) {
            munmap(memory, size);
            memory = nullptr;
        }
    }

    wl_buffer* buffer = nullptr;
    std::uint8_t* memory = nullptr;
    std::size_t size = 0;
    std::uint32_t format = 0;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// What the compositor says about one frame while it is made.
struct FrameState {
    bool described = false;
    bool finished = false;
    bool failed = false;
    std::uint32_t format = 0;
    int width = 0;
    int height = 0;
    int stride = 0;
    bool yInverted = false;
};

void OnBuffer(void* data, zwlr_screencopy_frame_v1*, std::uint32_t format, std::uint32_t width,
              std::uint32_t height, std::uint32_t stride) {
    auto* state = static_cast<FrameState*>(data);
    state->format = format;
    state->width = static_cast<int>(width);
    state->height = static_cast<int>(height);
    state->stride = static_cast<int>(stride);
    state->described = true;
}
void OnFlags(void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
    static_cast<FrameState*>(data)->yInverted = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}
void OnReady(void* data, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {
    static_cast<FrameState*>(data)->finished = true;
}
void OnFailed(void* data, zwlr_screencopy_frame_v1*) {
    auto* state = static_cast<FrameState*>(data);
    state->failed = true;
    state->described = true;
    state->finished = true;
}
void OnDamage(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void OnDmabuf(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void OnBufferDone(void*, zwlr_screencopy_frame_v1*) {}

constexpr zwlr_screencopy_frame_v1_listener kFrameListener{OnBuffer, OnFlags,  OnReady,     OnFailed,
                                                           OnDamage, OnDmabuf, OnBufferDone};

std::int32_t Scale(std::int32_t length, std::int32_t picture, std::int32_t logical) {
    return logical > 0 ? static_cast<std::int32_t>(std::int64_t{length} * picture / logical) : length;
}

class WaylandDesktop final : public Desktop {
  public:
    explicit WaylandDesktop(std::unique_ptr<WaylandConnection> opened) : connection(std::move(opened)) {}
    ~WaylandDesktop() override {
        // The buffer belongs to the connection: it goes first.
        buffer.Release();
    }

    Rect DesktopRect() override {
        const OutputInfo* output = Output();
        if (output == nullptr) {
            return Rect{};
        }
        const Point size = UprightSize(Frame{nullptr, output->bufferSize.x, output->bufferSize.y, 0,
                                             PixelOrder::Bgrx, false, output->transform});
        return Rect{0, 0, size.x, size.y};
    }

    std::optional<WindowId> ForegroundWindow() override {
        focused.reset();
        if (const std::optional<std::string> tree = AskSwayForTree()) {
            focused = FindFocusedWindow(*tree);
        }
        if (!focused) {
            return std::nullopt;
        }
        return static_cast<WindowId>(focused->id);
    }

    bool ClassName(WindowId window, char* text, std::size_t capacity) override {
        if (capacity == 0) {
            return false;
        }
        text[0] = '\0';
        if (!Knows(window)) {
            return false;
        }
        const std::size_t length = std::min(focused->className.size(), capacity - 1);
        std::memcpy(text, focused->className.data(), length);
        text[length] = '\0';
        return !focused->className.empty();
    }

    // A window on another output than the one published is not on this desktop's screen.
    Rect ClientRect(WindowId window) override {
        const std::optional<Rect> area = AreaOf(window);
        return area ? Rect{0, 0, static_cast<std::int32_t>(area->Width()),
                           static_cast<std::int32_t>(area->Height())}
                    : Rect{};
    }

    Point ClientToScreen(WindowId window, Point point) override {
        const std::optional<Rect> area = AreaOf(window);
        return area ? Point{area->left + point.x, area->top + point.y} : point;
    }

    bool CopyPixels(const Rect& source, DrawingSurface& target) override {
        const OutputInfo* output = Output();
        if (output == nullptr || connection->Screencopy() == nullptr) {
            return false;
        }
        FrameState state;
        zwlr_screencopy_frame_v1* frame =
            zwlr_screencopy_manager_v1_capture_output(connection->Screencopy(), kNoCursor, output->output);
        zwlr_screencopy_frame_v1_add_listener(frame, &kFrameListener, &state);
        bool copied = connection->DispatchUntil(state.described, kFrameWait) && !state.failed;
        const std::optional<PixelOrder> order = OrderOf(state.format);
        copied = copied && order && state.stride >= state.width * kFrameBytesPerPixel;
        if (copied && !buffer.Fits(state.format, state.width, state.height, state.stride)) {
            copied = buffer.Make(connection->Shm(), state.format, state.width, state.height, state.stride);
        }
        if (copied) {
            zwlr_screencopy_frame_v1_copy(frame, buffer.buffer);
            copied = connection->DispatchUntil(state.finished, kFrameWait) && !state.failed;
        }
        zwlr_screencopy_frame_v1_destroy(frame);
        if (!copied) {
            return false;
        }

        const Frame picture{buffer.memory, state.width,     state.height,     state.stride,
                            *order,        state.yInverted, output->transform};
        CopyScreenArea(picture, source,
                       PictureView{target.Bits(), target.Width(), target.Height(), target.Stride()});
        return true;
    }

  private:
    // The published output; null when there is none, or the compositor went away (then the next call
    // tries a new connection).
    const OutputInfo* Output() {
        if (connection->Broken()) {
            buffer.Release();
            std::unique_ptr<WaylandConnection> reopened = WaylandConnection::Open();
            if (!reopened) {
                return nullptr;
            }
            connection = std::move(reopened);
        }
        return connection->MainOutput();
    }

    bool Knows(WindowId window) {
        if (!focused || static_cast<WindowId>(focused->id) != window) {
            ForegroundWindow();
        }
        return focused && static_cast<WindowId>(focused->id) == window;
    }

    // The window's area in picture pixels: layout coordinates relative to the output, scaled from the
    // output's logical size to its picture size.
    std::optional<Rect> AreaOf(WindowId window) {
        const OutputInfo* output = Output();
        if (output == nullptr || !Knows(window) ||
            Point{focused->output.left, focused->output.top} != output->position) {
            return std::nullopt;
        }
        const Rect desktop = DesktopRect();
        const auto logicalWidth = static_cast<std::int32_t>(focused->output.Width());
        const auto logicalHeight = static_cast<std::int32_t>(focused->output.Height());
        const Rect& content = focused->content;
        const Rect area{Scale(content.left - focused->output.left, desktop.right, logicalWidth),
                        Scale(content.top - focused->output.top, desktop.bottom, logicalHeight),
                        Scale(content.right - focused->output.left, desktop.right, logicalWidth),
                        Scale(content.bottom - focused->output.top, desktop.bottom, logicalHeight)};
        if (area.IsEmpty()) {
            return std::nullopt;
        }
        return area;
    }

    std::unique_ptr<WaylandConnection> connection;
    ShmBuffer buffer;
    std::optional<FocusedWindow> focused;  // as sway told it at the last ForegroundWindow
};

}  // namespace

std::unique_ptr<Desktop> OpenWaylandDesktop() {
    std::unique_ptr<WaylandConnection> connection = WaylandConnection::Open();
    if (!connection || connection->Screencopy() == nullptr || connection->Shm() == nullptr) {
        return nullptr;
    }
    return std::make_unique<WaylandDesktop>(std::move(connection));
}

CompositorOffer ProbeCompositor() {
    const std::unique_ptr<WaylandConnection> connection = WaylandConnection::Open();
    if (!connection) {
        return CompositorOffer::NoCompositor;
    }
    return connection->Screencopy() != nullptr && connection->Shm() != nullptr
               ? CompositorOffer::Screencopy
               : CompositorOffer::NoScreencopy;
}

std::string WaylandCaptureProblem() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const std::unique_ptr<WaylandConnection> connection = WaylandConnection::Open();
    if (!connection) {
        return std::string("WAYLAND_DISPLAY=") + (name != nullptr ? name : "") +
               " names no running Wayland compositor";
    }
    if (connection->Screencopy() == nullptr || connection->Shm() == nullptr) {
        return "Wayland session without screencopy or ScreenCast portal";
    }
    if (connection->MainOutput() == nullptr) {
        return "Wayland session without an output to capture";
    }
    return {};
}

}  // namespace platform::linux_wayland
