#include "tests/support/LoopbackPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

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

// The accept queue length of the IPv4 listener on the port, from /proc/net/tcp; -1 when there is none.
int AcceptQueueLength(int port) {
    constexpr unsigned kListenState = 0x0A;
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // the column titles
    while (std::getline(table, line)) {
        unsigned localPort = 0;
        unsigned state = 0;
        unsigned sendQueue = 0;
        unsigned acceptQueue = 0;
        if (std::sscanf(line.c_str(), " %*u: %*x:%x %*x:%*x %x %x:%x", &localPort, &state, &sendQueue,
                        &acceptQueue) == 4 &&
            localPort == static_cast<unsigned>(port) && state == kListenState) {
            return static_cast<int>(acceptQueue);
        }
    }
    return -1;
}

}  // namespace

bool WaitUntilAccepted(int port, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const int waiting = AcceptQueueLength(port);
        if (waiting == 0) {
            return true;
        }
        if (waiting < 0 || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

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
