#include "platform/linux/portal/SharedCast.h"

#include "platform/linux/portal/RestoreToken.h"

namespace platform::linux_portal {

namespace {
std::mutex sharedLock;
std::weak_ptr<SharedCast> sharedCast;  // guarded by sharedLock
}  // namespace

// The lock is held while the user answers, so that a second caller waits for the same answer instead of
// asking again.
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

}  // namespace platform::linux_portal
