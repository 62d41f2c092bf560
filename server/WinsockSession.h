#pragma once

#include <cstdint>

// Pairs one start-up of the networking stack with its clean-up. Only the server's listening socket ever
// starts it; connection objects carry an unstarted session, so creating and destroying them never touches
// the start-up count.
class WinsockSession {
  public:
    WinsockSession() = default;
    ~WinsockSession() { Cleanup(); }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

    // 1 when the stack was started with exactly the requested version (major in the low byte of
    // requestedVersion), else 0. A started session is cleaned up first.
    int Startup(std::uint8_t major, std::uint8_t minor);
    // Undoes a successful start-up once; always 1.
    int Cleanup();

    int started = 0;
    std::uint16_t requestedVersion = 0;
    std::uint16_t grantedVersion = 0;
};
