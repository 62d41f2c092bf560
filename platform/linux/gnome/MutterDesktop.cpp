#include "platform/Drawing.h"
#include "platform/Input.h"
#include "platform/Screen.h"
#include "platform/linux/gnome/GnomeBackend.h"
#include "platform/linux/gnome/MutterSession.h"
#include "platform/linux/pipewire/StreamDesktop.h"
#include "platform/linux/wayland/FrameCopy.h"

namespace platform::linux_gnome {
namespace {

using linux_wayland::Frame;
using linux_wayland::PictureView;

// How long a capture waits for the stream's first picture; later ones find the newest at once.
constexpr std::chrono::milliseconds kFrameWait{2000};

// The shared session, started again when mutter ended the last one.
class SessionHolder {
  public:
    explicit SessionHolder(std::shared_ptr<MutterSession> opened) : session(std::move(opened)) {}

    MutterSession* Live() {
        if (session == nullptr || !session->Alive()) {
            std::string problem;
            session = MutterSession::Shared(problem);
        }
        return session.get();
    }

  private:
    std::shared_ptr<MutterSession> session;
};

class MutterDesktop final : public linux_pipewire::StreamDesktop {
  public:
    explicit MutterDesktop(std::shared_ptr<MutterSession> opened) : holder(std::move(opened)) {}

    Rect DesktopRect() override {
        Rect desktop;
        MutterSession* session = holder.Live();
        if (session != nullptr) {
            session->WithNewestFrame(kFrameWait, [&desktop](const Frame& frame) {
                const Point size = linux_wayland::UprightSize(frame);
                desktop = Rect{0, 0, size.x, size.y};
            });
        }
        return desktop;
    }

    bool CopyPixels(const Rect& source, DrawingSurface& target) override {
        MutterSession* session = holder.Live();
        if (session == nullptr) {
            return false;
        }
        const PictureView view{target.Bits(), target.Width(), target.Height(), target.Stride()};
        return session->WithNewestFrame(
            kFrameWait, [&](const Frame& frame) { linux_wayland::CopyScreenArea(frame, source, view); });
    }

  private:
    SessionHolder holder;
};

// Positions are pixels of the stream's picture, which is how mutter takes absolute motion on a stream.
class MutterPointer final : public PointerInput {
  public:
    explicit MutterPointer(std::shared_ptr<MutterSession> opened) : holder(std::move(opened)) {}

    void MoveTo(Point screenPoint) override {
        if (MutterSession* session = holder.Live()) {
            session->MovePointerTo(screenPoint.x, screenPoint.y);
        }
    }
    void PressLeft(Point) override {
        if (MutterSession* session = holder.Live()) {
            session->LeftButton(true);
        }
    }
    void ReleaseLeft(Point) override {
        if (MutterSession* session = holder.Live()) {
            session->LeftButton(false);
        }
    }

  private:
    SessionHolder holder;
};

}  // namespace

std::unique_ptr<Desktop> OpenMutterDesktop() {
    std::string problem;
    std::shared_ptr<MutterSession> session = MutterSession::Shared(problem);
    if (!session) {
        return nullptr;
    }
    return std::make_unique<MutterDesktop>(std::move(session));
}

std::unique_ptr<PointerInput> OpenMutterPointer() {
    std::string problem;
    std::shared_ptr<MutterSession> session = MutterSession::Shared(problem);
    if (!session) {
        return nullptr;
    }
    return std::make_unique<MutterPointer>(std::move(session));
}

std::string MutterCaptureProblem() {
    std::string problem;
    const std::shared_ptr<MutterSession> session = MutterSession::Shared(problem);
    if (!session) {
        return problem;
    }
    if (!session->WithNewestFrame(kFrameWait, [](const Frame&) {})) {
        return "GNOME's screen cast sends no pictures";
    }
    return {};
}

}  // namespace platform::linux_gnome
