#pragma once

#include <chrono>
#include <string>
#include <string_view>

// A raw TCP client on 127.0.0.1 for wire-level tests: sends exact bytes, reads everything up to the
// server's close. Every wait is bounded.
class LoopbackClient {
public:
    static constexpr std::chrono::milliseconds kDefaultWait{10000};

    // Connects to 127.0.0.1 at the port; Connected() tells whether it worked.
    explicit LoopbackClient(int port);
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool Connected() const { return descriptor >= 0; }
    // False when the bytes could not all be sent (the server may have closed already).
    bool Send(std::string_view bytes);
    // Ends the sending direction; the server sees the end of the input.
    void CloseSending();
    // Closes the connection at once.
    void Close();
    // Closes the connection with a reset instead of an orderly close.
    void Reset();

    enum class End { Closed, Reset, TimedOut };
    struct Answer {
        std::string bytes;
        End end = End::TimedOut;
    };
    // Everything the server sends until it closes the connection, at most timeout.
    Answer ReceiveUntilClosed(std::chrono::milliseconds timeout = kDefaultWait);
    // The error the connection holds (0 for none): a reset from the server shows here even after the
    // answer and the close were read.
    int PendingError() const;
    // Waits at most timeout for the server to close or to send something: false when neither happened.
    bool WaitForClosedOrData(std::chrono::milliseconds timeout);

    // A TCP port that is free on every interface at the time of the call.
    static int FreePort();
    // Whether a connection to the port is accepted by anyone.
    static bool CanConnect(int port);
    // Connects, sends the request and returns everything up to the close.
    static std::string Exchange(int port, std::string_view request);

private:
    int descriptor = -1;
};
