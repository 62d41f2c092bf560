#include "platform/Network.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "platform/Files.h"
#include "platform/windows/WideText.h"

// Winsock. Unlike on Linux, shutdown() does not wake a thread blocked in accept() or recv() on Windows,
// and closesocket() from another thread would break the rule that only the owner closes. So blocking
// waits go through WSAPoll in short slices and end once ShutdownSocket has marked the socket.
namespace platform::net {
namespace {

// How long a blocked wait may go on unnoticed after ShutdownSocket; it bounds only the wake-up of a
// socket that is being shut down, never the delivery of data.
constexpr int kWakeSliceMilliseconds = 50;
// Pause before accepting again after the system ran out of sockets or memory.
constexpr int kAcceptRetryPauseMilliseconds = 10;
// Most input one wait of a send discards before it tries to send again.
constexpr std::size_t kMaxDiscardPerWait = 64 * 1024;
constexpr int kMaxSendPieces = 8;

// How much of a file one send takes.
constexpr std::size_t kFileSendBlockBytes = 64 * 1024;

SOCKET Native(SocketHandle socket) {
    return static_cast<SOCKET>(socket);
}

std::mutex shutDownLock;
std::set<SocketHandle> shutDownSockets;        // guarded by shutDownLock
std::set<SocketHandle> receivingEndedSockets;  // guarded by shutDownLock

bool IsShutDown(SocketHandle socket) {
    std::lock_guard guard(shutDownLock);
    return shutDownSockets.count(socket) != 0;
}

bool IsReceivingEnded(SocketHandle socket) {
    std::lock_guard guard(shutDownLock);
    return receivingEndedSockets.count(socket) != 0;
}

std::int64_t NowMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The socket's stall limit, kept in its send time-out option; the sends themselves never block.
int StallLimitMilliseconds(SocketHandle socket) {
    DWORD limit = 0;
    int length = sizeof limit;
    if (getsockopt(Native(socket), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&limit), &length) != 0 ||
        limit == 0) {
        return kSendStallMilliseconds;
    }
    return static_cast<int>(std::min<DWORD>(limit, INT_MAX));
}

void SetNonBlocking(SocketHandle socket) {
    u_long nonBlocking = 1;
    ioctlsocket(Native(socket), FIONBIO, &nonBlocking);
}

// Reads and drops what has arrived, at most limit bytes, without waiting. The count dropped; ended is set
// once the peer has closed its sending direction (or the connection failed).
std::size_t DiscardInput(SocketHandle socket, std::size_t limit, bool& ended) {
    SetNonBlocking(socket);
    char discarded[4096];
    std::size_t total = 0;
    while (total < limit) {
        const int received = recv(Native(socket), discarded, sizeof discarded, 0);
        if (received > 0) {
            total += static_cast<std::size_t>(received);
        } else {
            ended = received == 0 || WSAGetLastError() != WSAEWOULDBLOCK;
            break;
        }
    }
    return total;
}

enum class Readiness { Ready, TimedOut, ShutDown, Failed };

// Waits until the socket has input (or a connection to accept, or a close or error to report), at most
// timeoutMilliseconds (negative: no limit), or until it is shut down.
Readiness WaitReadable(SocketHandle socket, int timeoutMilliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMilliseconds, 0));
    for (;;) {
        if (IsShutDown(socket)) {
            return Readiness::ShutDown;
        }
        if (IsReceivingEnded(socket)) {
            return Readiness::Ready;
        }
        int slice = kWakeSliceMilliseconds;
        if (timeoutMilliseconds >= 0) {
            const auto remaining =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (remaining <= 0) {
                return Readiness::TimedOut;
            }
            slice = static_cast<int>(std::min<long long>(slice, remaining));
        }
        WSAPOLLFD waited{Native(socket), POLLRDNORM, 0};
        const int ready = WSAPoll(&waited, 1, slice);
        if (ready > 0) {
            return Readiness::Ready;
        }
        if (ready < 0) {
            return Readiness::Failed;
        }
    }
}

// Failures after which accept should simply be called again: the connection that failed is gone, the
// listening socket is fine. Wine reports a connection reset before it was accepted as "not connected".
bool IsPassingAcceptFailure(int error) {
    switch (error) {
        case WSAENOTCONN:
        case WSAENETRESET:
        case WSAETIMEDOUT:
        case WSAECONNRESET:
        case WSAECONNABORTED:
        case WSAEINTR:
        case WSAENETDOWN:
        case WSAEWOULDBLOCK:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool StartNetworking(std::uint16_t requestedVersion, std::uint16_t* grantedVersion) {
    WSADATA data{};
    if (WSAStartup(requestedVersion, &data) != 0) {
        return false;
    }
    *grantedVersion = data.wVersion;
    return true;
}

void StopNetworking() {
    WSACleanup();
}

SocketHandle OpenTcpSocket() {
    const SOCKET created = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (created == INVALID_SOCKET) {
        return kInvalidSocket;
    }
    // Programs this one starts do not inherit its sockets.
    SetHandleInformation(reinterpret_cast<HANDLE>(created), HANDLE_FLAG_INHERIT, 0);
    return static_cast<SocketHandle>(created);
}

bool BindSocket(SocketHandle socket, const Ipv4Endpoint& endpoint) {
    // On Windows SO_REUSEADDR would let another program bind the same port and steal its connections;
    // the exclusive option makes sure nobody else can, and lingering old connections do not block a
    // listener here, as they do on Linux without SO_REUSEADDR.
    const BOOL exclusive = TRUE;
    setsockopt(Native(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    address.sin_addr.s_addr = endpoint.address;
    return bind(Native(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool ListenOnSocket(SocketHandle socket, int backlog) {
    const BOOL noDelay = TRUE;
    setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    SetSendStallLimit(socket, kSendStallMilliseconds);
    return listen(Native(socket), backlog) == 0;
}

void SetSendStallLimit(SocketHandle socket, int milliseconds) {
    const DWORD limit = static_cast<DWORD>(milliseconds);
    setsockopt(Native(socket), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
}

SocketHandle AcceptConnection(SocketHandle listener, Ipv4Endpoint* peer, int timeoutMilliseconds) {
    for (;;) {
        const Readiness readiness = WaitReadable(listener, timeoutMilliseconds);
        if (readiness == Readiness::TimedOut) {
            return kNoConnectionYet;
        }
        if (readiness != Readiness::Ready) {
            return kInvalidSocket;
        }
        sockaddr_in address{};
        int addressLength = sizeof address;
        const SOCKET accepted =
            accept(Native(listener), reinterpret_cast<sockaddr*>(&address), &addressLength);
        if (accepted != INVALID_SOCKET) {
            SetHandleInformation(reinterpret_cast<HANDLE>(accepted), HANDLE_FLAG_INHERIT, 0);
            // Accepted sockets inherit the options of the listening socket on Windows, the stall limit
            // and no-delay included; set them again so nothing depends on that.
            const BOOL noDelay = TRUE;
            setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                       sizeof noDelay);
            SetSendStallLimit(static_cast<SocketHandle>(accepted), kSendStallMilliseconds);
            if (peer != nullptr) {
                peer->address = address.sin_addr.s_addr;
                peer->port = ntohs(address.sin_port);
            }
            return static_cast<SocketHandle>(accepted);
        }
        const int error = WSAGetLastError();
        if (error == WSAEMFILE || error == WSAENOBUFS) {
            Sleep(kAcceptRetryPauseMilliseconds);
        } else if (!IsPassingAcceptFailure(error)) {
            return kInvalidSocket;
        }
    }
}

// Winsock has no way to hold bytes back for the next send; moreFollows changes nothing.
std::ptrdiff_t SendSome(SocketHandle socket, const ConstBuffer* pieces, int count, SendProgress* progress,
                        bool /*moreFollows*/) {
    WSABUF buffers[kMaxSendPieces];
    DWORD used = 0;
    for (int i = 0; i < count && used < kMaxSendPieces; ++i) {
        if (pieces[i].length != 0) {
            buffers[used].buf = static_cast<CHAR*>(const_cast<void*>(pieces[i].data));
            buffers[used].len = static_cast<ULONG>(std::min<std::size_t>(pieces[i].length, 1u << 30));
            ++used;
        }
    }
    if (used == 0 || IsShutDown(socket)) {
        return -1;
    }
    SendProgress callProgress;
    SendProgress& state = progress != nullptr ? *progress : callProgress;
    // Sends never block, so that input can be discarded while the peer's window is shut.
    SetNonBlocking(socket);
    bool inputEnded = false;
    for (;;) {
        DWORD sent = 0;
        if (WSASend(Native(socket), buffers, used, &sent, 0, nullptr, nullptr) == 0 && sent > 0) {
            // Winsock cannot say how much of what was sent the peer has acknowledged (there is no
            // outgoing-queue query). Room in a send buffer that was full, though, is made only by the
            // peer's acknowledgements: a send that goes through after one had to wait is progress, and
            // the limit starts again at the next wait.
            state.stallDeadline = 0;
            state.queued += sent;
            return static_cast<std::ptrdiff_t>(sent);
        }
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            return -1;
        }
        // No room: the peer has not taken what is queued.
        const std::int64_t now = NowMilliseconds();
        if (state.stallDeadline == 0) {
            state.stallDeadline = now + StallLimitMilliseconds(socket);
        }
        if (now >= state.stallDeadline) {
            // A client that never reads cannot hold its connection for ever: every later send fails at once.
            shutdown(Native(socket), SD_BOTH);
            std::lock_guard guard(shutDownLock);
            shutDownSockets.insert(socket);
            return -1;
        }
        if (IsShutDown(socket)) {
            return -1;
        }
        const auto slice =
            static_cast<int>(std::min<std::int64_t>(state.stallDeadline - now, kWakeSliceMilliseconds));
        WSAPOLLFD waited{Native(socket), static_cast<SHORT>(POLLWRNORM | (inputEnded ? 0 : POLLRDNORM)), 0};
        const int ready = WSAPoll(&waited, 1, slice);
        if (ready < 0) {
            return -1;
        }
        if (ready > 0 && (waited.revents & POLLRDNORM) != 0) {
            CountDiscarded(state, DiscardInput(socket, kMaxDiscardPerWait, inputEnded));
        }
    }
}

namespace {

std::ptrdiff_t Receive(SocketHandle socket, void* buffer, std::size_t length, int flags,
                       int timeoutMilliseconds) {
    const std::int64_t deadline = NowMilliseconds() + std::max(timeoutMilliseconds, 0);
    for (;;) {
        if (IsReceivingEnded(socket)) {
            return 0;
        }
        const int remaining = timeoutMilliseconds < 0
                                  ? -1
                                  : static_cast<int>(std::max<std::int64_t>(deadline - NowMilliseconds(), 0));
        switch (WaitReadable(socket, remaining)) {
            case Readiness::Ready:
                break;
            case Readiness::TimedOut:
                return kTimedOut;
            case Readiness::ShutDown:
            case Readiness::Failed:
                return -1;
        }
        if (IsReceivingEnded(socket)) {
            return 0;
        }
        const int got = recv(Native(socket), static_cast<char*>(buffer),
                             static_cast<int>(std::min<std::size_t>(length, INT_MAX)), flags);
        if (got >= 0) {
            return got;
        }
        // A socket a send made non-blocking may report readiness that another look has taken away.
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            return -1;
        }
    }
}

}  // namespace

// The file's bytes are in memory already (see InputFile::Open): they go out block by block.
bool SendFileRest(SocketHandle socket, files::InputFile& file, std::uint64_t length, SendProgress* progress) {
    char block[kFileSendBlockBytes];
    while (length > 0) {
        const std::size_t count =
            file.Read(block, static_cast<std::size_t>(std::min<std::uint64_t>(length, sizeof block)));
        if (count == 0) {
            return false;
        }
        length -= count;
        for (std::size_t done = 0; done < count;) {
            const ConstBuffer rest{block + done, count - done};
            const std::ptrdiff_t sent = SendSome(socket, &rest, 1, progress);
            if (sent <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(sent);
        }
    }
    return true;
}

std::ptrdiff_t ReceiveSome(SocketHandle socket, void* buffer, std::size_t length) {
    return Receive(socket, buffer, length, 0, -1);
}

std::ptrdiff_t PeekSome(SocketHandle socket, void* buffer, std::size_t length) {
    return Receive(socket, buffer, length, MSG_PEEK, -1);
}

std::ptrdiff_t PeekSomeWithin(SocketHandle socket, void* buffer, std::size_t length,
                              int timeoutMilliseconds) {
    return Receive(socket, buffer, length, MSG_PEEK, std::max(timeoutMilliseconds, 0));
}

void ShutdownSocket(SocketHandle socket) {
    if (socket == kInvalidSocket) {
        return;
    }
    {
        std::lock_guard guard(shutDownLock);
        shutDownSockets.insert(socket);
    }
    shutdown(Native(socket), SD_BOTH);
}

int FindPeerClosed(const SocketHandle* sockets, int count) {
    constexpr int kMaxWatched = 64;
    WSAPOLLFD watched[kMaxWatched];
    const int used = std::min(count, kMaxWatched);
    for (int i = 0; i < used; ++i) {
        watched[i] = WSAPOLLFD{Native(sockets[i]), POLLRDNORM, 0};
    }
    if (used <= 0 || WSAPoll(watched, static_cast<ULONG>(used), 0) <= 0) {
        return -1;
    }
    for (int i = 0; i < used; ++i) {
        if ((watched[i].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            return i;
        }
        // Winsock has no separate report of a peer's end of stream behind unread input: readable with
        // nothing to read is the end; readable with a request waiting is not.
        if ((watched[i].revents & POLLRDNORM) != 0) {
            char next = 0;
            SetNonBlocking(sockets[i]);
            const int got = recv(Native(sockets[i]), &next, 1, MSG_PEEK);
            if (got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) {
                return i;
            }
        }
    }
    return -1;
}

void ShutdownSending(SocketHandle socket) {
    if (socket != kInvalidSocket) {
        shutdown(Native(socket), SD_SEND);
    }
}

bool DiscardUntilPeerClosed(SocketHandle socket) {
    bool ended = false;
    DiscardInput(socket, kMaxDrainBytes, ended);
    return ended;
}

void ShutdownReceiving(SocketHandle socket) {
    if (socket == kInvalidSocket) {
        return;
    }
    // Not shutdown(SD_RECEIVE): on Windows input arriving after it resets the connection, and the answer
    // still to be sent would be lost. The socket is marked instead; its receives see the end of the input.
    std::lock_guard guard(shutDownLock);
    receivingEndedSockets.insert(socket);
}

namespace {

// Forgets the marks of a socket about to be closed: the handle's number may be handed out again at once.
void ForgetMarks(SocketHandle socket) {
    std::lock_guard guard(shutDownLock);
    shutDownSockets.erase(socket);
    receivingEndedSockets.erase(socket);
}

}  // namespace

void CloseSocket(SocketHandle socket) {
    if (socket == kInvalidSocket) {
        return;
    }
    // Unread input would make the close a reset that can destroy the answer still on its way.
    bool ended = false;
    DiscardInput(socket, kMaxDrainBytes, ended);
    shutdown(Native(socket), SD_BOTH);
    ForgetMarks(socket);
    closesocket(Native(socket));
}

void CloseSocketAfterAnswer(SocketHandle socket, bool peerWasSending, std::size_t peekedInput) {
    if (socket == kInvalidSocket) {
        return;
    }
    bool ended = false;
    const std::size_t drained = DiscardInput(socket, kMaxDrainBytes, ended);
    if (!ended && (peerWasSending || drained > peekedInput)) {
        // The peer is still sending: the answer leaves with our end of the stream, and the input is read
        // until the peer closes, so that the close cannot turn into a reset.
        shutdown(Native(socket), SD_SEND);
        const std::int64_t deadline = NowMilliseconds() + kLingerMilliseconds;
        while (!ended) {
            const std::int64_t remaining = deadline - NowMilliseconds();
            if (remaining <= 0) {
                break;
            }
            WSAPOLLFD waited{Native(socket), POLLRDNORM, 0};
            const int ready = WSAPoll(&waited, 1, static_cast<int>(remaining));
            if (ready < 0) {
                break;
            }
            if (ready > 0) {
                DiscardInput(socket, kMaxDiscardPerWait, ended);
            }
        }
    }
    shutdown(Native(socket), SD_BOTH);
    ForgetMarks(socket);
    closesocket(Native(socket));
}

char* FormatIpv4(std::uint32_t address, char* buffer) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);
    std::snprintf(buffer, 16, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return buffer;
}

bool ReverseLookup(std::uint32_t address, char* buffer, std::size_t capacity) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = address;
    // The wide call: a name from the hosts file or the local network may hold characters of any language,
    // and the program's texts are UTF-8.
    wchar_t wide[NI_MAXHOST];
    if (GetNameInfoW(reinterpret_cast<const sockaddr*>(&peer), sizeof peer, wide, NI_MAXHOST, nullptr, 0,
                     NI_NAMEREQD) != 0) {
        return false;
    }
    const std::string name = windows::WideToUtf8(wide);
    if (name.empty() || name.size() >= capacity) {
        return false;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return true;
}

}  // namespace platform::net
