#include "platform/Network.h"

#include "platform/Files.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <linux/sockios.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

namespace platform::net {
namespace {

// The classic socket interface's versions run from 1.0 to 2.2; a request above the highest is granted the
// highest, and a request below the lowest fails.
constexpr std::uint16_t kHighestVersion = 0x0202;

// Pause before accepting again after the process or the system ran out of descriptors or memory, so that
// the accept loop does not spin while the shortage lasts.
constexpr int kAcceptRetryPauseMilliseconds = 10;

// How long the accept loop keeps looking for the next client, giving way to every thread that is ready,
// before it sleeps until one arrives (see AcceptConnection).
constexpr std::chrono::microseconds kAcceptLookLength{50};

// Most input one wait of a send discards before it tries to send again.
constexpr std::size_t kMaxDiscardPerWait = 64 * 1024;

// Most pieces one gathered send takes.
constexpr int kMaxSendPieces = 8;

// Most bytes of a file one call hands to the connection.
constexpr std::size_t kFileSendBytes = 1 << 20;

int Descriptor(SocketHandle socket) {
    return static_cast<int>(socket);
}

void PauseMilliseconds(int milliseconds) {
    timespec pause{0, static_cast<long>(milliseconds) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// Failures after which accept should simply be called again: the connection that failed is gone, the
// listening socket is fine.
bool IsPassingAcceptFailure(int error) {
    switch (error) {
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
        case EPERM:
            return true;
        default:
            return false;
    }
}

bool IsResourceShortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

std::int64_t NowMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The socket's stall limit, kept in its send time-out option; the sends themselves never block.
int StallLimitMilliseconds(int descriptor) {
    timeval limit{};
    socklen_t length = sizeof limit;
    if (getsockopt(descriptor, SOL_SOCKET, SO_SNDTIMEO, &limit, &length) != 0) {
        return kSendStallMilliseconds;
    }
    const auto milliseconds = static_cast<std::int64_t>(limit.tv_sec) * 1000 + limit.tv_usec / 1000;
    return milliseconds > 0 ? static_cast<int>(milliseconds) : kSendStallMilliseconds;
}

// Bytes sent on the connection that the peer has not acknowledged yet.
std::size_t UnacknowledgedBytes(int descriptor) {
    int queued = 0;
    return ioctl(descriptor, SIOCOUTQ, &queued) == 0 && queued > 0 ? static_cast<std::size_t>(queued) : 0;
}

// Reads and drops what has arrived, at most limit bytes, without waiting. The count dropped; ended is set
// once the peer has closed its sending direction (or the connection failed). With untilShort it stops at
// the first read that empties the queue, without asking again whether the peer has closed.
std::size_t DiscardInput(int descriptor, std::size_t limit, bool& ended, bool untilShort = false) {
    char discarded[4096];
    std::size_t total = 0;
    while (total < limit) {
        const ssize_t received = recv(descriptor, discarded, sizeof discarded, MSG_DONTWAIT);
        if (received > 0) {
            total += static_cast<std::size_t>(received);
            if (untilShort && static_cast<std::size_t>(received) < sizeof discarded) {
                break;
            }
        } else if (received < 0 && errno == EINTR) {
            continue;
        } else {
            ended = received == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
    }
    return total;
}

// Receives with the given flags, waiting for input as a blocking socket would (accepted sockets do not
// block underneath, see AcceptConnection), at most timeoutMilliseconds when that is not negative: then
// kTimedOut when nothing came in time. Usually the bytes are there already, so it tries first and waits
// only when nothing has arrived.
std::ptrdiff_t ReceiveWaiting(int descriptor, void* buffer, std::size_t length, int flags,
                              int timeoutMilliseconds = -1) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    for (;;) {
        const ssize_t received = recv(descriptor, buffer, length, flags | MSG_DONTWAIT);
        if (received >= 0) {
            return received;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return -1;
        }
        int wait = -1;
        if (timeoutMilliseconds >= 0) {
            const auto remaining =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (remaining <= 0) {
                return kTimedOut;
            }
            wait = static_cast<int>(remaining);
        }
        pollfd waited{descriptor, POLLIN, 0};
        if (poll(&waited, 1, wait) < 0 && errno != EINTR) {
            return -1;
        }
    }
}

}  // namespace

bool StartNetworking(std::uint16_t requestedVersion, std::uint16_t* grantedVersion) {
    const unsigned major = requestedVersion & 0xFFu;
    const unsigned minor = requestedVersion >> 8;
    if (major == 0) {
        return false;
    }
    const bool aboveHighest = major > (kHighestVersion & 0xFFu) ||
                              (major == (kHighestVersion & 0xFFu) && minor > (kHighestVersion >> 8));
    *grantedVersion = aboveHighest ? kHighestVersion : requestedVersion;
    return true;
}

void StopNetworking() {}

SocketHandle OpenTcpSocket() {
    const int descriptor = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return descriptor < 0 ? kInvalidSocket : descriptor;
}

bool BindSocket(SocketHandle socket, const Ipv4Endpoint& endpoint) {
    const int reuse = 1;
    setsockopt(Descriptor(socket), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    address.sin_addr.s_addr = endpoint.address;
    return bind(Descriptor(socket), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool ListenOnSocket(SocketHandle socket, int backlog) {
    // Accepted connections inherit the option from the listening socket, which saves a call per connection.
    const int noDelay = 1;
    setsockopt(Descriptor(socket), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    SetSendStallLimit(socket, kSendStallMilliseconds);
    // The listening socket does not block, so that AcceptConnection takes the connections already queued
    // without going to sleep between them.
    const int flags = fcntl(Descriptor(socket), F_GETFL);
    if (flags < 0 || fcntl(Descriptor(socket), F_SETFL, flags | O_NONBLOCK) != 0) {
        return false;
    }
    return listen(Descriptor(socket), backlog) == 0;
}

void SetSendStallLimit(SocketHandle socket, int milliseconds) {
    timeval limit{};
    limit.tv_sec = milliseconds / 1000;
    limit.tv_usec = static_cast<suseconds_t>(milliseconds % 1000) * 1000;
    setsockopt(Descriptor(socket), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

SocketHandle AcceptConnection(SocketHandle listener, Ipv4Endpoint* peer, int timeoutMilliseconds) {
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMilliseconds);
    const auto lookUntil = start + kAcceptLookLength;
    for (;;) {
        sockaddr_in address{};
        socklen_t addressLength = sizeof address;
        // The connection does not block underneath: its calls here wait in poll where a blocking socket
        // would, and sendfile needs no switching back and forth for each file.
        const int descriptor = accept4(Descriptor(listener), reinterpret_cast<sockaddr*>(&address),
                                       &addressLength, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (descriptor >= 0) {
            if (peer != nullptr) {
                peer->address = address.sin_addr.s_addr;
                peer->port = ntohs(address.sin_port);
            }
            return descriptor;
        }
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK) {
            const auto now = std::chrono::steady_clock::now();
            if (now < lookUntil) {
                // Nothing queued: let the threads that are ready run first and look again, for a little
                // while. A client whose handshake completes while this thread sleeps pays for waking it: on
                // the same machine the handshake runs in the client's own call. Under load the next client
                // comes within that while and is taken without the sleep; on an idle machine the looking
                // ends soon after the last client.
                sched_yield();
                continue;
            }
            // Still nothing: sleep until a client arrives or the socket is shut down (then accept fails).
            int wait = -1;
            if (timeoutMilliseconds >= 0) {
                const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
                if (remaining.count() <= 0) {
                    return kNoConnectionYet;
                }
                wait = static_cast<int>(remaining.count());
            }
            pollfd waited{Descriptor(listener), POLLIN, 0};
            if (poll(&waited, 1, wait) < 0 && errno != EINTR) {
                return kInvalidSocket;
            }
        } else if (IsResourceShortage(error)) {
            PauseMilliseconds(kAcceptRetryPauseMilliseconds);
        } else if (!IsPassingAcceptFailure(error)) {
            return kInvalidSocket;
        }
    }
}

namespace {

// After a send found no room: waits for room, discarding input meanwhile, until the peer has taken nothing
// for the stall limit. False when the connection has failed or stalled (it is then shut down).
bool WaitForRoom(int descriptor, SendProgress& state, bool& inputEnded) {
    for (;;) {
        // Only the peer's acknowledgements count as progress.
        const std::int64_t now = NowMilliseconds();
        const std::size_t queued = UnacknowledgedBytes(descriptor);
        if (state.stallDeadline == 0 || queued < state.queued) {
            state.stallDeadline = now + StallLimitMilliseconds(descriptor);
        }
        state.queued = queued;
        if (now >= state.stallDeadline) {
            // A client that never reads cannot hold its connection for ever: every later send fails at once.
            shutdown(descriptor, SHUT_RDWR);
            return false;
        }
        pollfd waited{descriptor, static_cast<short>(POLLOUT | (inputEnded ? 0 : POLLIN)), 0};
        const int ready = poll(&waited, 1, static_cast<int>(state.stallDeadline - now));
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0 && (waited.revents & POLLIN) != 0) {
            CountDiscarded(state, DiscardInput(descriptor, kMaxDiscardPerWait, inputEnded));
        }
        if (ready > 0 && (waited.revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            return true;
        }
    }
}

}  // namespace

std::ptrdiff_t SendSome(SocketHandle socket, const ConstBuffer* pieces, int count, SendProgress* progress,
                        bool moreFollows) {
    iovec vectors[kMaxSendPieces];
    int used = 0;
    for (int i = 0; i < count && used < kMaxSendPieces; ++i) {
        if (pieces[i].length != 0) {
            vectors[used].iov_base = const_cast<void*>(pieces[i].data);
            vectors[used].iov_len = pieces[i].length;
            ++used;
        }
    }
    if (used == 0) {
        return -1;
    }
    SendProgress callProgress;
    SendProgress& state = progress != nullptr ? *progress : callProgress;
    const int descriptor = Descriptor(socket);
    msghdr message{};
    message.msg_iov = vectors;
    message.msg_iovlen = static_cast<std::size_t>(used);
    bool inputEnded = false;
    for (;;) {
        const ssize_t sent =
            sendmsg(descriptor, &message, MSG_NOSIGNAL | MSG_DONTWAIT | (moreFollows ? MSG_MORE : 0));
        if (sent > 0) {
            state.queued += static_cast<std::size_t>(sent);
            return sent;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            return -1;
        }
        if (!WaitForRoom(descriptor, state, inputEnded)) {
            return -1;
        }
    }
}

// The kernel copies from the file's pages into the connection: the bytes never pass through this process.
// sendfile has no flags: it does not wait because the socket does not block underneath, and against
// SIGPIPE the signal is blocked in each thread that sends a file, so that a peer that has gone leaves it
// pending there, unseen, and the call fails with EPIPE as a send does.
bool SendFileRest(SocketHandle socket, files::InputFile& file, std::uint64_t length, SendProgress* progress) {
    thread_local const bool brokenPipesQuiet = [] {
        sigset_t brokenPipe;
        sigemptyset(&brokenPipe);
        sigaddset(&brokenPipe, SIGPIPE);
        return pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr) == 0;
    }();
    if (!brokenPipesQuiet) {
        return false;
    }
    const int source = static_cast<int>(file.SystemHandle());
    SendProgress callProgress;
    SendProgress& state = progress != nullptr ? *progress : callProgress;
    const int descriptor = Descriptor(socket);
    bool inputEnded = false;
    while (length > 0) {
        const ssize_t sent =
            sendfile(descriptor, source, nullptr, std::min<std::uint64_t>(length, kFileSendBytes));
        if (sent > 0) {
            state.queued += static_cast<std::size_t>(sent);
            length -= static_cast<std::uint64_t>(sent);
            continue;
        }
        if (sent == 0) {
            return false;
        }
        if (errno == EINTR) {
            continue;
        }
        if ((errno != EAGAIN && errno != EWOULDBLOCK) || !WaitForRoom(descriptor, state, inputEnded)) {
            return false;
        }
    }
    return true;
}

std::ptrdiff_t ReceiveSome(SocketHandle socket, void* buffer, std::size_t length) {
    return ReceiveWaiting(Descriptor(socket), buffer, length, 0);
}

std::ptrdiff_t PeekSome(SocketHandle socket, void* buffer, std::size_t length) {
    return ReceiveWaiting(Descriptor(socket), buffer, length, MSG_PEEK);
}

std::ptrdiff_t PeekSomeWithin(SocketHandle socket, void* buffer, std::size_t length,
                              int timeoutMilliseconds) {
    return ReceiveWaiting(Descriptor(socket), buffer, length, MSG_PEEK, std::max(timeoutMilliseconds, 0));
}

void ShutdownSocket(SocketHandle socket) {
    if (socket != kInvalidSocket) {
        shutdown(Descriptor(socket), SHUT_RDWR);
    }
}

int FindPeerClosed(const SocketHandle* sockets, int count) {
    constexpr int kMaxWatched = 64;
    pollfd watched[kMaxWatched];
    const int used = count < kMaxWatched ? count : kMaxWatched;
    for (int i = 0; i < used; ++i) {
        watched[i] = pollfd{Descriptor(sockets[i]), POLLRDHUP, 0};
    }
    if (poll(watched, static_cast<nfds_t>(used), 0) <= 0) {
        return -1;
    }
    for (int i = 0; i < used; ++i) {
        if ((watched[i].revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) {
            return i;
        }
    }
    return -1;
}

void ShutdownSending(SocketHandle socket) {
    if (socket != kInvalidSocket) {
        shutdown(Descriptor(socket), SHUT_WR);
    }
}

bool DiscardUntilPeerClosed(SocketHandle socket) {
    bool ended = false;
    DiscardInput(Descriptor(socket), kMaxDrainBytes, ended);
    return ended;
}

void ShutdownReceiving(SocketHandle socket) {
    if (socket != kInvalidSocket) {
        shutdown(Descriptor(socket), SHUT_RD);
    }
}

void CloseSocket(SocketHandle socket) {
    if (socket == kInvalidSocket) {
        return;
    }
    // Closing with unread input makes the kernel answer with a reset, which can destroy the answer still
    // on its way to the peer; reading what has arrived first lets the close be an orderly one.
    bool ended = false;
    DiscardInput(Descriptor(socket), kMaxDrainBytes, ended, true);
    shutdown(Descriptor(socket), SHUT_RDWR);
    close(Descriptor(socket));
}

void CloseSocketAfterAnswer(SocketHandle socket, bool peerWasSending, std::size_t peekedInput) {
    if (socket == kInvalidSocket) {
        return;
    }
    const int descriptor = Descriptor(socket);
    bool ended = false;
    const std::size_t drained = DiscardInput(descriptor, kMaxDrainBytes, ended, true);
    if (!ended && (peerWasSending || drained > peekedInput)) {
        // The peer is still sending: the answer leaves with our end of the stream, and the input is read
        // until the peer closes, so that the close cannot turn into a reset.
        shutdown(descriptor, SHUT_WR);
        const std::int64_t deadline = NowMilliseconds() + kLingerMilliseconds;
        while (!ended) {
            const std::int64_t remaining = deadline - NowMilliseconds();
            if (remaining <= 0) {
                break;
            }
            pollfd waited{descriptor, POLLIN, 0};
            const int ready = poll(&waited, 1, static_cast<int>(remaining));
            if (ready < 0 && errno != EINTR) {
                break;
            }
            if (ready > 0) {
                DiscardInput(descriptor, kMaxDiscardPerWait, ended);
            }
        }
        shutdown(descriptor, SHUT_RDWR);
    }
    // The only descriptor of the socket: closing it ends the connection in order (no separate shutdown).
    close(descriptor);
}

char* FormatIpv4(std::uint32_t address, char* buffer) {
    in_addr parts{};
    parts.s_addr = address;
    if (inet_ntop(AF_INET, &parts, buffer, INET_ADDRSTRLEN) == nullptr) {
        buffer[0] = '\0';
    }
    return buffer;
}

bool ReverseLookup(std::uint32_t address, char* buffer, std::size_t capacity) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = address;
    char name[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&peer), sizeof peer, name, sizeof name, nullptr, 0,
                    NI_NAMEREQD) != 0) {
        return false;
    }
    const std::size_t length = std::strlen(name);
    if (length >= capacity) {
        return false;
    }
    std::memcpy(buffer, name, length + 1);
    return true;
}

}  // namespace platform::net
