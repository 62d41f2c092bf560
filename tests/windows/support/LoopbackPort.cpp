#include "tests/support/LoopbackPort.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>

// The Winsock version of the test ports. WaitUntilAccepted is not offered: Windows does not tell the
// length of a listener's accept queue, and no Windows test needs it.
namespace {

// Binds a fresh socket to the address at port 0 and returns the port the system chose (0 on failure); the
// socket stays open in handle.
std::uint16_t BindAnyPort(std::uint32_t host, SOCKET& handle) {
    handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (handle == INVALID_SOCKET) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(host);
    int length = sizeof address;
    if (bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

}  // namespace

int FreePort() {
    SOCKET probe = INVALID_SOCKET;
    const std::uint16_t port = BindAnyPort(INADDR_ANY, probe);
    if (probe != INVALID_SOCKET) {
        closesocket(probe);
    }
    return port;
}

// Socket handles are small numbers on Windows, so the holder keeps its in the header's int.
PortHolder::PortHolder() {
    SOCKET handle = INVALID_SOCKET;
    const std::uint16_t bound = BindAnyPort(INADDR_LOOPBACK, handle);
    descriptor = handle == INVALID_SOCKET ? -1 : static_cast<int>(handle);
    if (bound == 0 || listen(handle, 1) != 0) {
        if (handle != INVALID_SOCKET) {
            closesocket(handle);
        }
        throw std::runtime_error("no free loopback port to hold");
    }
    port = bound;
}

PortHolder::~PortHolder() {
    closesocket(static_cast<SOCKET>(descriptor));
}
