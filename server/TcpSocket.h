#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "platform/Network.h"
#include "server/WinsockSession.h"

// A blocking IPv4 TCP socket with its address: the server's listening socket, and every accepted
// connection. Destruction does not close the socket; closing is always an explicit Close by the socket's
// owner. Shutdown may be called from another thread to make a blocked call on it fail.
//
// Response bytes written with SendText are gathered and leave with the next SendAll or Close, so that a
// head and the start of its body travel in one segment; the bytes on the wire are the same.
class TcpSocket : public WinsockSession {
  public:
    TcpSocket() = default;

    // Opens a socket listening on all interfaces at the port's low 16 bits. 1 listening, 0 failed (nothing
    // stays open).
    int Listen(int port);
    // On the listening socket: waits for a client and fills connection. 1 accepted, 0 the listening socket
    // was shut down or failed.
    int Accept(TcpSocket& connection);
    // As Accept, but waits at most timeout: -1 when it ran out with nothing accepted.
    int Accept(TcpSocket& connection, std::chrono::milliseconds timeout);
    // Sends what is pending, shuts the socket down and closes it; handle becomes invalid. Always 1.
    int Close();
    // After the answer: as Close, but a peer that is still sending gets the whole answer before the close
    // (see platform::net::CloseSocketAfterAnswer). May wait for the peer, at most a few seconds.
    int CloseAfterAnswer();
    // Wakes a thread blocked on this socket without closing it.
    void Shutdown();
    // Sends what is pending and ends the sending direction; the socket stays open.
    void EndSending();
    // Discards what has arrived without waiting: true once the peer has closed its end.
    bool DiscardUntilPeerClosed();
    // Wakes a thread blocked receiving on this socket, which then sees the end of the input; the socket
    // can still send.
    void ShutdownReceiving();

    // Sends what is pending, then the bytes: 1 all sent (a length of 0 or less adds nothing), 0 a send
    // failed.
    int SendAll(const void* bytes, int length);
    // Sends what is pending, then the next length bytes of the file from where its reading stands: 1 all
    // sent, 0 a send failed or the file ended sooner.
    int SendFile(platform::files::InputFile& file, std::uint64_t length);
    // Sends the text without its terminator; always 1.
    int SendText(const char* text);
    // Fills the buffer unless the peer closes or the connection fails first: 1 when at least one byte
    // arrived (count receives how many), else 0 and count is untouched.
    int ReceiveSome(void* buffer, unsigned length, std::uint32_t* count);
    // Counts the first length bytes of the input, which PeekSome has shown, as received. They stay queued
    // until the next receive or peek takes them away, or the close drops them with the rest: a request
    // whose input is never read again costs no call to take them.
    void TakePeekedInput(std::size_t length);
    // Copies what has arrived, up to length bytes, without consuming it, waiting at most timeout for the
    // first byte: 1 when at least one byte is there (count receives how many), else 0 (the peer closed,
    // the connection failed or the time ran out) and count is untouched.
    int PeekSome(void* buffer, unsigned length, std::uint32_t* count, std::chrono::milliseconds timeout);

    // Dotted decimal peer address into a buffer of at least 16 bytes; returns the buffer.
    char* PeerAddressText(char* buffer) const;
    // Reverse look-up of the peer: the buffer, or null when nothing was found or the name has capacity or
    // more characters (the buffer is then untouched).
    char* PeerHostName(char* buffer, std::size_t capacity) const;

    platform::net::Ipv4Endpoint address;
    platform::net::SocketHandle handle = platform::net::kInvalidSocket;

  private:
    // Sends the pending bytes and then length bytes from bytes, gathered into as few sends as possible;
    // with moreFollows the last of them may wait for the next send to share its packets. The pending bytes
    // are dropped either way.
    bool SendGathered(const void* bytes, std::size_t length, bool moreFollows = false);
    // Takes the input counted as received by TakePeekedInput out of the queue. False when it failed.
    bool DropPeekedInput();

    // The connection's sends so far, for their stall limit, and the peeked input still queued.
    platform::net::SendProgress sendProgress;
    static constexpr std::size_t kPendingCapacity = 1024;
    char pending[kPendingCapacity];
    std::size_t pendingLength = 0;
};
