#include "tests/service/HttpTestClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int Connect(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const sockaddr_in address = Loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string ReadUntilClosed(int fd) {
    std::string received;
    char block[16384];
    for (;;) {
        const ssize_t count = recv(fd, block, sizeof block, 0);
        if (count > 0) {
            received.append(block, static_cast<std::size_t>(count));
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else {
            return received;
        }
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
        const ssize_t count = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(count);
    }
    answer.raw = ReadUntilClosed(fd);
    close(fd);
    Split(answer);
    return answer;
}

IdleConnection::IdleConnection(std::uint16_t port) : fd(Connect(port)) {}

IdleConnection::~IdleConnection() {
    if (fd >= 0) {
        close(fd);
    }
}

std::string IdleConnection::ReadAll() { return fd >= 0 ? ReadUntilClosed(fd) : std::string(); }

PortHolder::PortHolder() {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 1) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("no free loopback port");
    }
    port = ntohs(address.sin_port);
}

PortHolder::~PortHolder() {
    if (fd >= 0) {
        close(fd);
    }
}
