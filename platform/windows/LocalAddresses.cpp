#include "platform/LocalAddresses.h"

#include <winsock2.h>
#include <ws2tcpip.h>

// After the socket headers, which it needs.
#include <iphlpapi.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace platform {

namespace {
// The size Microsoft advises for the first call; the list seldom needs more.
constexpr ULONG kFirstListBytes = 15 * 1024;
constexpr int kListAttempts = 3;
}  // namespace

std::vector<std::string> LocalIpv4Addresses() {
    std::vector<std::string> addresses;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = kFirstListBytes;
    std::vector<unsigned char> list;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the call that measures it and the one that fills it.
    for (int attempt = 0; attempt < kListAttempts && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        list.resize(size);
        result = GetAdaptersAddresses(AF_INET, flags, nullptr,
                                      reinterpret_cast<IP_ADAPTER_ADDRESSES*>(list.data()), &size);
    }
    if (result != NO_ERROR) {
        return addresses;
    }
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(list.data()); adapter != nullptr;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp) {
            continue;
        }
        for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) {
                continue;
            }
            char text[INET_ADDRSTRLEN];
            const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address);
            const auto* bytes = reinterpret_cast<const unsigned char*>(&ipv4->sin_addr);
            std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
            if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) {
                addresses.emplace_back(text);
            }
        }
    }
    return addresses;
}

}  // namespace platform
