#include "server/WinsockSession.h"

#include "platform/Network.h"

int WinsockSession::Startup(std::uint8_t major, std::uint8_t minor) {
    if (started != 0) {
        Cleanup();
    }
    requestedVersion = static_cast<std::uint16_t>(major | (minor << 8));
    grantedVersion = 0;
    if (!platform::net::StartNetworking(requestedVersion, &grantedVersion)) {
        return 0;
    }
    if (grantedVersion != requestedVersion) {
        // The stack did start, with another version than asked for: undo it, so that no start-up is
        // left behind without an owner to clean it up.
        platform::net::StopNetworking();
        return 0;
    }
    started = 1;
    return 1;
}

int WinsockSession::Cleanup() {
    if (started != 0) {
        platform::net::StopNetworking();
        started = 0;
    }
    return 1;
}
