#include <cstring>
#include <optional>

#include "platform/Drawing.h"
#include "platform/Screen.h"
#include "platform/linux/pipewire/PipeWireFrames.h"
#include "platform/linux/portal/PortalBackend.h"
#include "platform/linux/portal/PortalSession.h"
#include "platform/linux/portal/SharedCast.h"

namespace platform::linux_portal {
namespace {

using linux_wayland::Frame;
using linux_wayland::PictureView;

constexpr int kBytesPerPixel = 3;
// How long a capture waits for the stream's first frame, and for a frame at all.
constexpr std::chrono::milliseconds kFrameWait{2000};

void Clear(const PictureView& view) {
    for (int y = 0; y < view.height; ++y) {
        std::memset(view.bits + static_cast<std::ptrdiff_t>(y) * view.stride, 0,
                    static_cast<std::size_t>(view.width) * kBytesPerPixel);
    }
}

class PortalDesktop final : public Desktop {
  public:
    PortalDesktop(std::shared_ptr<SharedCast> shared, std::unique_ptr<linux_pipewire::PipeWireFrames> opened)
        : cast(std::move(shared)), frames(std::move(opened)) {}

    Rect DesktopRect() override {
        std::optional<Point> size;
        frames->WithNewestFrame(kFrameWait, [&](const Frame& frame) { size = UprightSize(frame); });
        if (!size) {
            size = cast->PictureSize();
        }
        if (!size) {
            size = cast->Session().Stream().size;
        }
        cast->NotePictureSize(size.value_or(Point{}));
        return size ? Rect{0, 0, size->x, size->y} : Rect{};
    }

    std::optional<WindowId> ForegroundWindow() override { return std::nullopt; }
    bool ClassName(WindowId, char* text, std::size_t capacity) override {
        if (capacity > 0) {
            text[0] = '\0';
        }
        return false;
    }
    Rect ClientRect(WindowId) override { return Rect{}; }
    Point ClientToScreen(WindowId, Point point) override { return point; }

    bool CopyPixels(const Rect& source, DrawingSurface& target) override {
        const PictureView view{target.Bits(), target.Width(), target.Height(), target.Stride()};
        return frames->WithNewestFrame(kFrameWait, [&](const Frame& frame) {
            const Point size = UprightSize(frame);
            cast->NotePictureSize(size);
            if (source.left < 0 || source.top < 0 || source.right > size.x || source.bottom > size.y) {
                Clear(view);
            }
            CopyUpright(frame, source, view, Point{0, 0});
        });
    }

  private:
    std::shared_ptr<SharedCast> cast;
    std::unique_ptr<linux_pipewire::PipeWireFrames> frames;
};

}  // namespace

std::unique_ptr<Desktop> OpenPortalDesktop() {
    std::string problem;
    std::shared_ptr<SharedCast> cast = ShareCast(problem);
    if (!cast) {
        return nullptr;
    }
    const int remote = cast->Session().OpenPipeWireRemote();
    if (remote < 0) {
        return nullptr;
    }
    std::unique_ptr<linux_pipewire::PipeWireFrames> frames =
        linux_pipewire::PipeWireFrames::Connect(remote, cast->Session().Stream().node, problem);
    if (!frames) {
        return nullptr;
    }
    return std::make_unique<PortalDesktop>(std::move(cast), std::move(frames));
}

}  // namespace platform::linux_portal
