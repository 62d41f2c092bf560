#include <optional>

#include "platform/Drawing.h"
#include "platform/Screen.h"
#include "platform/linux/pipewire/PipeWireFrames.h"
#include "platform/linux/pipewire/StreamDesktop.h"
#include "platform/linux/portal/PortalBackend.h"
#include "platform/linux/portal/PortalSession.h"
#include "platform/linux/portal/SharedCast.h"

namespace platform::linux_portal {
namespace {

using linux_wayland::Frame;
using linux_wayland::PictureView;

// How long a capture waits for the stream's first frame, and for a frame at all.
constexpr std::chrono::milliseconds kFrameWait{2000};

class PortalDesktop final : public linux_pipewire::StreamDesktop {
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

    bool CopyPixels(const Rect& source, DrawingSurface& target) override {
        const PictureView view{target.Bits(), target.Width(), target.Height(), target.Stride()};
        return frames->WithNewestFrame(kFrameWait, [&](const Frame& frame) {
            cast->NotePictureSize(UprightSize(frame));
            CopyScreenArea(frame, source, view);
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
