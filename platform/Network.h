#pragma once

// Blocking IPv4 TCP sockets. Every call may be made from any thread; one socket is used by one thread at
// a time, except that ShutdownSocket may be called from another thread to wake a thread blocked in
// AcceptConnection, ReceiveSome, PeekSome, PeekSomeWithin, SendSome or SendFileRest on it. Only the thread
// that owns a socket closes it: a closed number is reused at once by the next socket. Failures are reported
// as results, never as signals: writing to a peer that has gone returns -1 and does not raise SIGPIPE.

#include <cstddef>
#include <cstdint>

namespace platform::files {
class InputFile;
}

namespace platform::net {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

struct Ipv4Endpoint {
    std::uint32_t address = 0;  // network byte order
    std::uint16_t port = 0;     // host byte order
};

// Process-wide start-up and clean-up of the networking stack. grantedVersion receives the version word
// granted (major in the low byte); the start-up succeeds only when it equals the requested one.
bool StartNetworking(std::uint16_t requestedVersion, std::uint16_t* grantedVersion);
void StopNetworking();

// A new TCP socket, or kInvalidSocket.
SocketHandle OpenTcpSocket();
// Binds to the endpoint, so that a port whose old connections linger can be bound again while a port
// another socket listens on is still refused.
bool BindSocket(SocketHandle socket, const Ipv4Endpoint& endpoint);
// Listens with the given backlog. Connections accepted from it send without delay (no Nagle) and give up
// a send that makes no progress for kSendStallMilliseconds (see SendSome).
bool ListenOnSocket(SocketHandle socket, int backlog);
inline constexpr int kSendStallMilliseconds = 30 * 1000;
// Changes how long a send on this socket may make no progress before it fails.
void SetSendStallLimit(SocketHandle socket, int milliseconds);
// Waits for the next connection, at most timeoutMilliseconds when that is not negative. Transient failures
// (a client that reset before it was accepted, an interrupted call, a passing lack of descriptors) are
// retried; returns kInvalidSocket once the listening socket has been shut down or has failed for good, and
// kNoConnectionYet when the time ran out. New connections send without delay (no Nagle).
inline constexpr SocketHandle kNoConnectionYet = -2;
SocketHandle AcceptConnection(SocketHandle listener, Ipv4Endpoint* peer, int timeoutMilliseconds = -1);

// Bytes sent (at least 1), or -1 when the connection failed. Sends the pieces in order as one write where
// possible. While a send waits for room, input that arrives is read and discarded, so that a peer that
// keeps sending while it receives is not stuck behind a full buffer of its own. A connection whose peer
// takes no bytes for the socket's stall limit fails and is shut down, so that every later send fails at
// once. The stall limit is counted across calls in progress (one per connection, starting zeroed): a
// send that moved bytes only into the local buffer does not restart it, only bytes the peer acknowledged
// do. Without progress the limit holds for this call alone.
struct ConstBuffer {
    const void* data;
    std::size_t length;
};
struct SendProgress {
    std::int64_t stallDeadline = 0;  // steady milliseconds; 0 while no send has had to wait
    std::size_t queued = 0;          // unacknowledged bytes expected when the peer acknowledged nothing
    std::size_t discarded = 0;       // input read and dropped while waiting, beyond what was peeked
    std::size_t peeked = 0;          // input at the front, looked at already and still queued
};
// Counts input a wait dropped: what had been peeked first, the rest as discarded.
inline void CountDiscarded(SendProgress& progress, std::size_t dropped) {
    const std::size_t known = dropped < progress.peeked ? dropped : progress.peeked;
    progress.peeked -= known;
    progress.discarded += dropped - known;
}
// With moreFollows, the bytes may wait for the next send briefly, so that both leave in the same packets.
std::ptrdiff_t SendSome(SocketHandle socket, const ConstBuffer* pieces, int count,
                        SendProgress* progress = nullptr, bool moreFollows = false);
// Sends the next length bytes of the file from where its reading stands (the body an answer announced),
// waiting for room as SendSome does (the same discarding, stall limit and progress). Never more, even when
// the file has grown since. False when the connection failed or stalled, or the file ended sooner; the
// file's reading position is then somewhere in between.
bool SendFileRest(SocketHandle socket, files::InputFile& file, std::uint64_t length,
                  SendProgress* progress = nullptr);
// Bytes received (at least 1), 0 when the peer has closed, -1 when the connection failed.
std::ptrdiff_t ReceiveSome(SocketHandle socket, void* buffer, std::size_t length);
// As ReceiveSome, but leaves the bytes queued: the next receive returns them again.
std::ptrdiff_t PeekSome(SocketHandle socket, void* buffer, std::size_t length);
// As PeekSome, but waits at most timeoutMilliseconds for the first byte; kTimedOut when none came in time.
inline constexpr std::ptrdiff_t kTimedOut = -2;
std::ptrdiff_t PeekSomeWithin(SocketHandle socket, void* buffer, std::size_t length, int timeoutMilliseconds);

// Wakes every thread blocked on the socket; it then fails. Harmless on a listening socket.
void ShutdownSocket(SocketHandle socket);
// Discards input that has arrived unread, at most kMaxDrainBytes (so that the peer gets an orderly close,
// not a reset that could destroy the answer in flight), shuts the socket down and closes it. Never waits.
void CloseSocket(SocketHandle socket);
// After an answer: as CloseSocket, but when the peer is still sending (input arrived behind what was read
// and the peekedInput bytes looked at already, or was discarded while the answer went out), first ends
// the sending direction and keeps discarding until the peer closes, at most kLingerMilliseconds. A close
// on unread input would reset the connection and the peer would lose the part of the answer it has not
// read yet.
void CloseSocketAfterAnswer(SocketHandle socket, bool peerWasSending, std::size_t peekedInput = 0);
inline constexpr std::size_t kMaxDrainBytes = 64 * 1024;
inline constexpr int kLingerMilliseconds = 2000;
// Of count sockets, the index of one whose peer has closed its sending direction (or whose connection
// failed), looked at without waiting; -1 when there is none.
int FindPeerClosed(const SocketHandle* sockets, int count);
// Ends the sending direction only: the peer reads the end of the stream after what was sent.
void ShutdownSending(SocketHandle socket);
// Discards what has arrived, without waiting: true once the peer has closed its end (or the connection
// failed), so that a close now is an orderly one.
bool DiscardUntilPeerClosed(SocketHandle socket);
// Ends the receiving direction only: a thread blocked receiving on it wakes and sees the end of the input,
// while the socket can still send an answer.
void ShutdownReceiving(SocketHandle socket);

// Dotted decimal form of an address, into a buffer of at least 16 bytes.
char* FormatIpv4(std::uint32_t address, char* buffer);
// Blocking reverse look-up of an address. False when nothing was found or when the name has capacity or
// more characters; the buffer is then untouched. Safe to call from many threads at once.
bool ReverseLookup(std::uint32_t address, char* buffer, std::size_t capacity);

}  // namespace platform::net
