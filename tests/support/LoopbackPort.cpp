#include "tests/support/LoopbackPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

// Binds a fresh socket to the address at port 0 and returns the port the system chose (0 on failure); the
// socket stays open in descriptor.
std::uint16_t BindAnyPort(std::uint32_t host, int& descriptor) {
    descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (descriptor < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(host);
    socklen_t length = sizeof address;
    if (bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

}  // namespace

int FreePort() {
    int probe = -1;
    const std::uint16_t port = BindAnyPort(INADDR_ANY, probe);
    if (probe >= 0) {
        close(probe);
    }
    return port;
}

PortHolder::PortHolder() {
    const std::uint16_t bound = BindAnyPort(INADDR_LOOPBACK, descriptor);
    if (bound == 0 || listen(descriptor, 1) != 0) {
        if (descriptor >= 0) {
            close(descriptor);
        }
        throw std::runtime_error("no free loopback port to hold");
    }
    port = bound;
}

PortHolder::~PortHolder() {
    if (descriptor >= 0) {
        close(descriptor);
    }
}
