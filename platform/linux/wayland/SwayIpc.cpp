#include "platform/linux/wayland/SwayIpc.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace platform::linux_wayland {
namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t kHeaderBytes = sizeof kMagic + 2 * sizeof(std::uint32_t);
constexpr std::uint32_t kGetTree = 4;
// A layout tree larger than this is not believed.
constexpr std::uint32_t kMaxAnswerBytes = 16u << 20;
constexpr int kWaitSeconds = 1;

class Descriptor {
  public:
    explicit Descriptor(int opened) : fd(opened) {}
    ~Descriptor() {
        if (fd >= 0) {
            close(fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd; }

  private:
    int fd;
};

bool SendAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t sent = send(fd, data, length, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool ReceiveAll(int fd, char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t received = recv(fd, data, length, 0);
        if (received <= 0) {
            return false;
        }
        data += received;
        length -= static_cast<std::size_t>(received);
    }
    return true;
}

}  // namespace

std::optional<std::string> AskSwayForTree() {
    const char* path = std::getenv("SWAYSOCK");
    sockaddr_un address{};
    if (path == nullptr || path[0] == '\0' || std::strlen(path) >= sizeof address.sun_path) {
        return std::nullopt;
    }
    const Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.Get() < 0) {
        return std::nullopt;
    }
    const timeval wait{kWaitSeconds, 0};
    setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path);
    if (connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return std::nullopt;
    }

    // Header: the magic text, then the payload length and the message type in the machine's byte order.
    char header[kHeaderBytes];
    std::memcpy(header, kMagic, sizeof kMagic);
    const std::uint32_t emptyPayload = 0;
    std::memcpy(header + sizeof kMagic, &emptyPayload, sizeof emptyPayload);
    std::memcpy(header + sizeof kMagic + sizeof emptyPayload, &kGetTree, sizeof kGetTree);
    if (!SendAll(socket.Get(), header, sizeof header) || !ReceiveAll(socket.Get(), header, sizeof header) ||
        std::memcmp(header, kMagic, sizeof kMagic) != 0) {
        return std::nullopt;
    }
    std::uint32_t length = 0;
    std::uint32_t type = 0;
    std::memcpy(&length, header + sizeof kMagic, sizeof length);
    std::memcpy(&type, header + sizeof kMagic + sizeof length, sizeof type);
    if (type != kGetTree || length > kMaxAnswerBytes) {
        return std::nullopt;
    }
    std::string answer(length, '\0');
    if (!ReceiveAll(socket.Get(), answer.data(), answer.size())) {
        return std::nullopt;
    }
    return answer;
}

}  // namespace platform::linux_wayland
