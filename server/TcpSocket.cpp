#include "server/TcpSocket.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace net = platform::net;

namespace {

// Connections that have arrived but are not accepted yet. The accept thread takes one connection at a
// time; when a burst of clients overflows this queue, the kernel drops their handshakes and each client
// waits a second or more before it tries again, even for a 503. A thousand clients at once must fit (the
// system's own limit, somaxconn, may cut it down).
constexpr int kListenBacklog = 2048;

// The low 16 bits of a port value.
constexpr unsigned kPortMask = 0xFFFFu;

}  // namespace

int TcpSocket::Listen(int port) {
    handle = net::OpenTcpSocket();
    if (handle == net::kInvalidSocket) {
        return 0;
    }
    address = net::Ipv4Endpoint{0, static_cast<std::uint16_t>(static_cast<unsigned>(port) & kPortMask)};
    if (!net::BindSocket(handle, address) || !net::ListenOnSocket(handle, kListenBacklog)) {
        net::CloseSocket(handle);
        handle = net::kInvalidSocket;
        return 0;
    }
    return 1;
}

int TcpSocket::Accept(TcpSocket& connection) {
    return Accept(connection, std::chrono::milliseconds(-1));
}

int TcpSocket::Accept(TcpSocket& connection, std::chrono::milliseconds timeout) {
    connection.sendProgress = {};
    const net::SocketHandle accepted =
        net::AcceptConnection(handle, &connection.address, static_cast<int>(timeout.count()));
    if (accepted == net::kNoConnectionYet) {
        return -1;
    }
    connection.handle = accepted;
    return accepted == net::kInvalidSocket ? 0 : 1;
}

int TcpSocket::Close() {
    if (pendingLength != 0) {
        SendGathered(nullptr, 0);
    }
    net::CloseSocket(handle);
    // A closed descriptor number is handed to the next socket at once; forgetting it here keeps a second
    // Close or Shutdown from reaching someone else's socket.
    handle = net::kInvalidSocket;
    return 1;
}

int TcpSocket::CloseAfterAnswer() {
    if (pendingLength != 0) {
        SendGathered(nullptr, 0);
    }
    net::CloseSocketAfterAnswer(handle, sendProgress.discarded != 0, sendProgress.peeked);
    handle = net::kInvalidSocket;
    return 1;
}

void TcpSocket::Shutdown() {
    net::ShutdownSocket(handle);
}

void TcpSocket::EndSending() {
    if (pendingLength != 0) {
        SendGathered(nullptr, 0);
    }
    net::ShutdownSending(handle);
}

bool TcpSocket::DiscardUntilPeerClosed() {
    return net::DiscardUntilPeerClosed(handle);
}

void TcpSocket::ShutdownReceiving() {
    net::ShutdownReceiving(handle);
}

int TcpSocket::SendAll(const void* bytes, int length) {
    if (length <= 0) {
        return pendingLength == 0 || SendGathered(nullptr, 0) ? 1 : 0;
    }
    return SendGathered(bytes, static_cast<std::size_t>(length)) ? 1 : 0;
}

int TcpSocket::SendText(const char* text) {
    const std::size_t length = std::strlen(text);
    if (pendingLength + length <= kPendingCapacity) {
        std::memcpy(pending + pendingLength, text, length);
        pendingLength += length;
    } else {
        SendGathered(text, length);
    }
    return 1;
}

int TcpSocket::SendFile(platform::files::InputFile& file, std::uint64_t length) {
    if (pendingLength != 0 && !SendGathered(nullptr, 0, true)) {
        return 0;
    }
    return net::SendFileRest(handle, file, length, &sendProgress) ? 1 : 0;
}

bool TcpSocket::SendGathered(const void* bytes, std::size_t length, bool moreFollows) {
    net::ConstBuffer pieces[2] = {{pending, pendingLength}, {bytes, length}};
    int first = 0;
    bool sent = true;
    while (first < 2) {
        if (pieces[first].length == 0) {
            ++first;
            continue;
        }
        std::ptrdiff_t count = net::SendSome(handle, pieces + first, 2 - first, &sendProgress, moreFollows);
        if (count <= 0) {
            sent = false;
            break;
        }
        for (; first < 2 && count > 0; ++first) {
            const auto taken = std::min(pieces[first].length, static_cast<std::size_t>(count));
            pieces[first].data = static_cast<const char*>(pieces[first].data) + taken;
            pieces[first].length -= taken;
            count -= static_cast<std::ptrdiff_t>(taken);
            if (pieces[first].length != 0) {
                break;
            }
        }
    }
    pendingLength = 0;
    return sent;
}

int TcpSocket::ReceiveSome(void* buffer, unsigned length, std::uint32_t* count) {
    if (!DropPeekedInput()) {
        return 0;
    }
    std::size_t total = 0;
    while (total < length) {
        const std::ptrdiff_t received =
            net::ReceiveSome(handle, static_cast<char*>(buffer) + total, length - total);
        if (received <= 0) {
            break;
        }
        total += static_cast<std::size_t>(received);
    }
    if (total == 0) {
        return 0;
    }
    if (count != nullptr) {
        *count = static_cast<std::uint32_t>(total);
    }
    return 1;
}

int TcpSocket::PeekSome(void* buffer, unsigned length, std::uint32_t* count,
                        std::chrono::milliseconds timeout) {
    if (length == 0 || timeout.count() <= 0 || !DropPeekedInput()) {
        return 0;
    }
    const auto milliseconds = static_cast<int>(
        std::min<std::chrono::milliseconds::rep>(timeout.count(), std::numeric_limits<int>::max()));
    const std::ptrdiff_t arrived = net::PeekSomeWithin(handle, buffer, length, milliseconds);
    if (arrived <= 0) {
        return 0;
    }
    if (count != nullptr) {
        *count = static_cast<std::uint32_t>(arrived);
    }
    return 1;
}

void TcpSocket::TakePeekedInput(std::size_t length) {
    sendProgress.peeked += length;
}

bool TcpSocket::DropPeekedInput() {
    char dropped[kPendingCapacity];
    while (sendProgress.peeked != 0) {
        const std::ptrdiff_t received =
            net::ReceiveSome(handle, dropped, std::min(sendProgress.peeked, sizeof dropped));
        if (received <= 0) {
            return false;
        }
        sendProgress.peeked -= static_cast<std::size_t>(received);
    }
    return true;
}

char* TcpSocket::PeerAddressText(char* buffer) const {
    return net::FormatIpv4(address.address, buffer);
}

char* TcpSocket::PeerHostName(char* buffer, std::size_t capacity) const {
    return net::ReverseLookup(address.address, buffer, capacity) ? buffer : nullptr;
}
