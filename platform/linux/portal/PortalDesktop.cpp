#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/Drawing.h"
#include "platform/Input.h"
#include "platform/Screen.h"
#include "platform/linux/pipewire/PipeWireFrames.h"
#include "platform/linux/portal/PortalBackend.h"
#include "platform/linux/portal/PortalSession.h"
#include "platform/linux/portal/RestoreToken.h"

namespace platform::linux_portal {
namespace {

using linux_wayland::Frame;
using linux_wayland::PictureView;

constexpr int kBytesPerPixel = 3;
// How long a capture waits for the stream's first frame, and for a frame at all.
constexpr std::chrono::milliseconds kFrameWait{2000};

// The portal session the desktop and the pointer share, and the size of the pictures its stream gives
// (which the pointer needs to turn picture pixels into the stream's logical coordinates).
class SharedCast {
  public:
    explicit SharedCast(std::unique_ptr<PortalSession> started) : session(std::move(started)) {}

    PortalSession& Session() { return *session; }

    void NotePictureSize(Point size) {
        std::lock_guard guard(lock);
        pictureSize = size;
    }
    std::optional<Point> PictureSize() {
        std::lock_guard guard(lock);
        return pictureSize;
    }

  private:
    std::unique_ptr<PortalSession> session;
    std::mutex lock;
    std::optional<Point> pictureSize;  // guarded by lock
};

std::mutex sharedLock;
std::weak_ptr<SharedCast> sharedCast;  // guarded by sharedLock

// The live shared session, or a new one. Holds the lock while the user answers, so that a second caller
// waits for the same answer instead of asking again.
std::shared_ptr<SharedCast> ShareCast(std::string& problem) {
    std::lock_guard guard(sharedLock);
    if (std::shared_ptr<SharedCast> live = sharedCast.lock()) {
        return live;
    }
    const std::string tokenPath = RestoreTokenPath();
    PortalRequest request;
    request.restoreToken = LoadRestoreToken(tokenPath);
    std::unique_ptr<PortalSession> started = PortalSession::Start(request, problem);
    if (!started) {
        return nullptr;
    }
    if (!started->RestoreToken().empty()) {
        SaveRestoreToken(tokenPath, started->RestoreToken());
    }
    auto cast = std::make_shared<SharedCast>(std::move(started));
    sharedCast = cast;
    return cast;
}

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

// Positions are pixels of the published picture, turned into the stream's logical coordinates.
class PortalPointer final : public PointerInput {
  public:
    explicit PortalPointer(std::shared_ptr<SharedCast> shared) : cast(std::move(shared)) {}

    void MoveTo(Point screenPoint) override {
        const StreamPoint point =
            StreamPosition(screenPoint, cast->Session().Stream().size, cast->PictureSize());
        cast->Session().MovePointer(point.x, point.y);
    }
    void PressLeft(Point) override { cast->Session().PressLeft(true); }
    void ReleaseLeft(Point) override { cast->Session().PressLeft(false); }

  private:
    std::shared_ptr<SharedCast> cast;
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

std::unique_ptr<PointerInput> OpenPortalPointer() {
    std::string problem;
    std::shared_ptr<SharedCast> cast = ShareCast(problem);
    if (!cast) {
        return nullptr;
    }
    if (!cast->Session().HasPointer()) {
        static std::once_flag told;
        std::call_once(told, [&] { std::fprintf(stderr, "%s\n", cast->Session().PointerProblem().c_str()); });
    }
    return std::make_unique<PortalPointer>(std::move(cast));
}

std::string PortalCaptureProblem() {
    const BusConnection bus = OpenBus({});
    if (!bus) {
        return "Wayland session without a D-Bus session bus for the ScreenCast portal";
    }
    if (AskPortalOffer(bus.get()).screenCastVersion == 0) {
        return "Wayland session without screencopy or ScreenCast portal";
    }
    return {};
}

}  // namespace platform::linux_portal
