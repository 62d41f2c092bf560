#include "tests/service/HttpTestClient.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <stdexcept>

// The Winsock version of the service tests' HTTP client.
namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int Connect(std::uint16_t port) {
    const SOCKET created = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (created == INVALID_SOCKET) {
        return -1;
    }
    const sockaddr_in address = Loopback(port);
    if (connect(created, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        closesocket(created);
        return -1;
    }
    return static_cast<int>(created);
}

std::string ReadUntilClosed(int fd) {
    std::string received;
    char block[16384];
    for (;;) {
        const int count = recv(static_cast<SOCKET>(fd), block, sizeof block, 0);
        if (count <= 0) {
            return received;
        }
        received.append(block, static_cast<std::size_t>(count));
    }
}

void Split(HttpAnswer& answer) {
    const std::size_t headEnd = answer.raw.find("\r\n\r\n");
    if (answer.raw.compare(0, 9, "HTTP/1.1 ") != 0 || headEnd == std::string::npos) {
        return;
    }
    answer.status = std::atoi(answer.raw.c_str() + 9);
    answer.head = answer.raw.substr(0, headEnd + 4);
    answer.body = answer.raw.substr(headEnd + 4);
    std::size_t lineStart = answer.head.find("\r\n") + 2;
    while (lineStart < headEnd) {
        const std::size_t lineEnd = answer.head.find("\r\n", lineStart);
        const std::string line = answer.head.substr(lineStart, lineEnd - lineStart);
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            answer.fields[line.substr(0, colon)] = line.substr(colon + 2);
        }
        lineStart = lineEnd + 2;
    }
}

}  // namespace

std::uint16_t FindFreePort() {
    PortHolder holder;
    return holder.Port();
}

HttpAnswer Exchange(std::uint16_t port, const std::string& request) {
    HttpAnswer answer;
    const int fd = Connect(port);
    if (fd < 0) {
        return answer;
    }
    std::size_t sent = 0;
    while (sent < request.size()) {
        const int count = send(static_cast<SOCKET>(fd), request.data() + sent, static_cast<int>(request.size() - sent), 0);
        if (count <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(count);
    }
    answer.raw = ReadUntilClosed(fd);
    closesocket(static_cast<SOCKET>(fd));
    Split(answer);
    return answer;
}

IdleConnection::IdleConnection(std::uint16_t port) : fd(Connect(port)) {}

IdleConnection::~IdleConnection() {
    if (fd >= 0) {
        closesocket(static_cast<SOCKET>(fd));
    }
}

std::string IdleConnection::ReadAll() { return fd >= 0 ? ReadUntilClosed(fd) : std::string(); }

PortHolder::PortHolder() {
    const SOCKET created = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(0);
    int length = sizeof address;
    if (created == INVALID_SOCKET || bind(created, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(created, 1) != 0 || getsockname(created, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("no free loopback port");
    }
    fd = static_cast<int>(created);
    port = ntohs(address.sin_port);
}

PortHolder::~PortHolder() {
    if (fd >= 0) {
        closesocket(static_cast<SOCKET>(fd));
    }
}
