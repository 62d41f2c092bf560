#pragma once

#include <chrono>
#include <map>
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

    // Whether a connection to the port is accepted by anyone.
    static bool CanConnect(int port);

  private:
    int descriptor = -1;
};

// One HTTP answer as received, and its parts when it starts with an HTTP/1.1 status line and has a
// complete head.
struct HttpAnswer {
    std::string raw;   // everything the server sent until it closed
    int status = 0;    // from the status line; 0 when there was none
    std::string head;  // status line and fields, up to and including the blank line
    std::map<std::string, std::string> fields;
    std::string body;

    // The field's value, or empty when the head has no such field.
    std::string Field(const std::string& name) const {
        const auto found = fields.find(name);
        return found != fields.end() ? found->second : std::string();
    }
};

constexpr std::chrono::seconds kExchangeWait{30};
// Connects, sends the bytes as they stand, reads until the server closes (at most kExchangeWait) and
// splits the answer. An empty answer when nobody accepted the connection.
HttpAnswer Exchange(int port, std::string_view request);
inline HttpAnswer Get(int port, const std::string& path) {
    return Exchange(port, "GET " + path + " HTTP/1.0\r\n\r\n");
}
// Splits raw bytes into status, head, fields and body.
HttpAnswer SplitAnswer(std::string raw);
