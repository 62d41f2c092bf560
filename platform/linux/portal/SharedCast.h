#pragma once

// The one portal session of this process, which the desktop and the pointer share so that the user is asked
// once. Internal to the portal backend.

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/Geometry.h"
#include "platform/linux/portal/PortalSession.h"

namespace platform::linux_portal {

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

// The live shared session, or a new one started with the restore token kept in the state folder (and the
// token the portal returns kept for next time). Null, with the reason in problem, when none can be started.
// A second caller waits while the user answers the first one's question, and gets the same session.
std::shared_ptr<SharedCast> ShareCast(std::string& problem);

}  // namespace platform::linux_portal
