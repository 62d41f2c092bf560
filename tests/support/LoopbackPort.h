#pragma once

#include <chrono>
#include <cstdint>

// Ports for tests that serve on 127.0.0.1. The engine listens on every interface, so a port is free only
// when nothing holds it on any of them.

// A TCP port that is free on every interface at the time of the call; 0 when none could be had. Another
// process may take it before the caller does: callers try again with a new port when a start fails.
int FreePort();

// Waits until every connection made to the IPv4 listener on the port has been accepted (its accept queue,
// as the system reports it, is empty), at most timeout; false when that did not happen in time or the
// port has no listener.
bool WaitUntilAccepted(int port, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Holds a listening socket on 127.0.0.1 at a free port, so that a server asked to use that port fails.
class PortHolder {
  public:
    // Throws std::runtime_error when no port can be held.
    PortHolder();
    ~PortHolder();
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;
    std::uint16_t Port() const { return port; }

  private:
    int descriptor = -1;
    std::uint16_t port = 0;
};
