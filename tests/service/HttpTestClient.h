#pragma once

#include <cstdint>
#include <map>
#include <string>

// Plain blocking loopback clients for end-to-end tests.

// A TCP port on 127.0.0.1 that nobody listened on a moment ago.
std::uint16_t FindFreePort();

struct HttpAnswer {
    std::string raw;     // everything the server sent until it closed
    int status = 0;      // from the status line; 0 when there was none
    std::string head;    // status line and fields, up to and including the blank line
    std::map<std::string, std::string> fields;
    std::string body;

    // The field's value, or empty when the head has no such field.
    std::string Field(const std::string& name) const {
        const auto found = fields.find(name);
        return found != fields.end() ? found->second : std::string();
    }
};

// Sends the bytes as they stand, reads until the server closes, and splits the answer.
HttpAnswer Exchange(std::uint16_t port, const std::string& request);
inline HttpAnswer Get(std::uint16_t port, const std::string& path) {
    return Exchange(port, "GET " + path + " HTTP/1.0\r\n\r\n");
}

// A connected socket that sends nothing; closed on destruction. Holds a connection slot of the server.
class IdleConnection {
public:
    explicit IdleConnection(std::uint16_t port);
    ~IdleConnection();
    IdleConnection(const IdleConnection&) = delete;
    IdleConnection& operator=(const IdleConnection&) = delete;
    bool Connected() const { return fd >= 0; }
    // Everything received until the server closes.
    std::string ReadAll();

private:
    int fd = -1;
};

// Holds a listening socket on 127.0.0.1 at a free port.
class PortHolder {
public:
    PortHolder();
    ~PortHolder();
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;
    std::uint16_t Port() const { return port; }

private:
    int fd = -1;
    std::uint16_t port = 0;
};
