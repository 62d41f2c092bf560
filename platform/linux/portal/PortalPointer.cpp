#include <cstdio>
#include <mutex>

#include "platform/Input.h"
#include "platform/linux/portal/PortalBackend.h"
#include "platform/linux/portal/SharedCast.h"

namespace platform::linux_portal {
namespace {

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
