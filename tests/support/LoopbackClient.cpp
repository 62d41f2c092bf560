#include "tests/support/LoopbackClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int RemainingMilliseconds(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits at most timeout for the events on the socket, through interruptions by signals.
bool WaitUntilReady(int descriptor, short events, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        pollfd waited{descriptor, events, 0};
        const int ready = poll(&waited, 1, RemainingMilliseconds(deadline));
        if (ready >= 0 || errno != EINTR) {
            return ready > 0;
        }
    }
}

}  // namespace

LoopbackClient::LoopbackClient(int port) {
    descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (descriptor < 0) {
        return;
    }
    const sockaddr_in address = LoopbackAddress(port);
    if (connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return;
    }
    // A signal may interrupt the connect (fuzzers and sanitizers run timers); the connection then goes on
    // being made, and its outcome is read once the socket turns writable.
    if (errno != EINTR || !WaitUntilReady(descriptor, POLLOUT, kDefaultWait) || PendingError() != 0) {
        Close();
    }
}

LoopbackClient::~LoopbackClient() {
    Close();
}

bool LoopbackClient::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = send(descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void LoopbackClient::CloseSending() {
    shutdown(descriptor, SHUT_WR);
}

void LoopbackClient::Close() {
    if (descriptor >= 0) {
        close(descriptor);
        descriptor = -1;
    }
}

void LoopbackClient::Reset() {
    if (descriptor >= 0) {
        const linger abort{1, 0};
        setsockopt(descriptor, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        Close();
    }
}

LoopbackClient::Answer LoopbackClient::ReceiveUntilClosed(std::chrono::milliseconds timeout) {
    Answer answer;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    for (;;) {
        if (!WaitUntilReady(descriptor, POLLIN, std::chrono::milliseconds(RemainingMilliseconds(deadline)))) {
            answer.end = End::TimedOut;
            return answer;
        }
        const ssize_t received = recv(descriptor, buffer, sizeof buffer, 0);
        if (received > 0) {
            answer.bytes.append(buffer, static_cast<std::size_t>(received));
        } else if (received == 0) {
            answer.end = End::Closed;
            return answer;
        } else if (errno != EINTR) {
            answer.end = End::Reset;
            return answer;
        }
    }
}

int LoopbackClient::PendingError() const {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return errno;
    }
    return error;
}

bool LoopbackClient::WaitForClosedOrData(std::chrono::milliseconds timeout) {
    return WaitUntilReady(descriptor, POLLIN, timeout);
}

bool LoopbackClient::CanConnect(int port) {
    return LoopbackClient(port).Connected();
}
