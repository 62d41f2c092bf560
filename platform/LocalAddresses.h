#pragma once

// The IPv4 addresses of this machine's network interfaces that are up, loopback included, as dotted
// text in the system's order. A server that listens on every address is reachable at each of them.
// Any thread; empty when the system cannot say.

#include <string>
#include <vector>

namespace platform {

std::vector<std::string> LocalIpv4Addresses();

}  // namespace platform
