#include "tests/support/LoopbackClient.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>

// The Winsock version of the raw loopback client. Socket handles are small numbers on Windows, so they
// are kept in the header's int.
namespace {

sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

SOCKET Native(int descriptor) {
    return static_cast<SOCKET>(descriptor);
}

int RemainingMilliseconds(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

LoopbackClient::LoopbackClient(int port) {
    const SOCKET created = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (created == INVALID_SOCKET) {
        return;
    }
    descriptor = static_cast<int>(created);
    const sockaddr_in address = LoopbackAddress(port);
    if (connect(created, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Close();
    }
}

LoopbackClient::~LoopbackClient() {
    Close();
}

bool LoopbackClient::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const int sent = send(Native(descriptor), bytes.data(), static_cast<int>(bytes.size()), 0);
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

void LoopbackClient::CloseSending() {
    shutdown(Native(descriptor), SD_SEND);
}

void LoopbackClient::Close() {
    if (descriptor >= 0) {
        closesocket(Native(descriptor));
        descriptor = -1;
    }
}

void LoopbackClient::Reset() {
    if (descriptor >= 0) {
        const linger abort{1, 0};
        setsockopt(Native(descriptor), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                   sizeof abort);
        Close();
    }
}

LoopbackClient::Answer LoopbackClient::ReceiveUntilClosed(std::chrono::milliseconds timeout) {
    Answer answer;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[4096];
    for (;;) {
        WSAPOLLFD waited{Native(descriptor), POLLRDNORM, 0};
        const int ready = WSAPoll(&waited, 1, RemainingMilliseconds(deadline));
        if (ready <= 0) {
            answer.end = End::TimedOut;
            return answer;
        }
        const int received = recv(Native(descriptor), buffer, sizeof buffer, 0);
        if (received > 0) {
            answer.bytes.append(buffer, static_cast<std::size_t>(received));
        } else if (received == 0) {
            answer.end = End::Closed;
            return answer;
        } else {
            answer.end = End::Reset;
            return answer;
        }
    }
}

int LoopbackClient::PendingError() const {
    int error = 0;
    int length = sizeof error;
    if (getsockopt(Native(descriptor), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
        return WSAGetLastError();
    }
    return error;
}

bool LoopbackClient::WaitForClosedOrData(std::chrono::milliseconds timeout) {
    WSAPOLLFD waited{Native(descriptor), POLLRDNORM, 0};
    return WSAPoll(&waited, 1, static_cast<int>(timeout.count())) > 0;
}

bool LoopbackClient::CanConnect(int port) {
    return LoopbackClient(port).Connected();
}
