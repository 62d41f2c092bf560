// A load client that times each connection from its connect call to the server's close, so that a client
// whose handshake waits in a full queue, or whose 503 comes late, shows in the figures (wrk starts its
// clock only once the connection is up). Keeps CONNECTIONS connections in flight on 127.0.0.1, each
// sending one GET with "Connection: close" as soon as it is up and reading until the server closes, for
// SECONDS; then prints one line of figures:
//
//     load_client PORT PATH CONNECTIONS SECONDS
//     requests 51234 rate 10246.8 ok 12345 refused 38889 other 0 failed 0 p50_ms 1.2 p99_ms 8.1
//         max_ms 40.2 refused_max_ms 35.0 ok_p99_ms 9.3
//
// "refused" counts 503 answers, "other" any other status but 200 and 404 (both count as "ok": the engine's
// own bench host answers 404), "failed" connections that were reset, timed out or ended without a status
// line. The percentiles cover every finished connection but the failed ones.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A connection that takes longer than this is given up and counted as failed.
constexpr auto kConnectionTimeout = std::chrono::seconds(10);
constexpr int kMaxEvents = 256;
constexpr std::size_t kStatusLineBytes = 12;  // "HTTP/1.1 503"

struct Connection {
    int descriptor = -1;
    Clock::time_point started;
    std::size_t requestSent = 0;
    char statusLine[kStatusLineBytes] = {};
    std::size_t statusBytes = 0;
};

struct Figures {
    std::vector<double> all;      // milliseconds, every answered connection
    std::vector<double> ok;       // 200 and 404 answers
    std::vector<double> refused;  // 503 answers
    long other = 0;
    long failed = 0;
};

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
    return values[index];
}

double Largest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

class Load {
  public:
    Load(int port, std::string path, int connections)
        : request("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"),
          slots(static_cast<std::size_t>(connections)),
          events(epoll_create1(EPOLL_CLOEXEC)) {
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~Load() { close(events); }

    Figures Run(Clock::duration length) {
        const auto end = Clock::now() + length;
        for (std::size_t index = 0; index < slots.size(); ++index) {
            Open(index);
        }
        epoll_event ready[kMaxEvents];
        while (Clock::now() < end) {
            const int count = epoll_wait(events, ready, kMaxEvents, 100);
            for (int i = 0; i < count; ++i) {
                Advance(ready[i].data.u64, ready[i].events);
            }
            GiveUpLate();
        }
        // Connections still open when the time is up are neither answered nor failed.
        for (Connection& connection : slots) {
            close(connection.descriptor);
        }
        return std::move(figures);
    }

  private:
    void Open(std::size_t index) {
        Connection& connection = slots[index];
        connection = Connection{};
        connection.started = Clock::now();
        connection.descriptor = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (connection.descriptor < 0) {
            std::perror("socket");
            std::exit(1);
        }
        // A connect that fails at once leaves the socket in error, which the wait reports like a later
        // failure.
        connect(connection.descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        // The request goes out as soon as the connection is up, as a browser's does. On loopback the
        // handshake is done by the time connect returns, although it reports it as still in progress; waiting
        // for the next turn of the loop instead would add the time of a whole turn, milliseconds with a
        // thousand connections, and hold a server's connection idle for it. The rest, if any, goes when the
        // socket can take it.
        Send(connection);
        epoll_event interest{};
        interest.events = (connection.requestSent < request.size() ? EPOLLOUT : 0u) | EPOLLIN | EPOLLRDHUP;
        interest.data.u64 = index;
        epoll_ctl(events, EPOLL_CTL_ADD, connection.descriptor, &interest);
    }

    void Advance(std::size_t index, std::uint32_t happened) {
        Connection& connection = slots[index];
        if ((happened & EPOLLOUT) != 0 && connection.requestSent < request.size()) {
            Send(connection);
            if (connection.requestSent == request.size()) {
                epoll_event interest{};
                interest.events = EPOLLIN | EPOLLRDHUP;
                interest.data.u64 = index;
                epoll_ctl(events, EPOLL_CTL_MOD, connection.descriptor, &interest);
            }
        }
        if ((happened & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) == 0) {
            return;
        }
        char buffer[65536];
        for (;;) {
            const ssize_t received = recv(connection.descriptor, buffer, sizeof buffer, 0);
            if (received > 0) {
                const std::size_t taken =
                    std::min(kStatusLineBytes - connection.statusBytes, static_cast<std::size_t>(received));
                std::memcpy(connection.statusLine + connection.statusBytes, buffer, taken);
                connection.statusBytes += taken;
                continue;
            }
            if (received == 0) {
                Finish(index, true);
            } else if (errno != EAGAIN) {
                Finish(index, false);
            }
            return;
        }
    }

    // Sends what the socket takes of the rest of the request; a connection that is not up yet takes
    // nothing. One that fails is done sending: a refusal may close before the request is out, and the
    // answer can still be read, or the failure shows when it is.
    void Send(Connection& connection) const {
        const ssize_t sent = send(connection.descriptor, request.data() + connection.requestSent,
                                  request.size() - connection.requestSent, MSG_NOSIGNAL);
        if (sent < 0 && errno != EAGAIN) {
            connection.requestSent = request.size();
        } else if (sent > 0) {
            connection.requestSent += static_cast<std::size_t>(sent);
        }
    }

    void GiveUpLate() {
        const auto now = Clock::now();
        for (std::size_t index = 0; index < slots.size(); ++index) {
            if (now - slots[index].started > kConnectionTimeout) {
                Finish(index, false);
            }
        }
    }

    // Records the connection's outcome and opens the next one in its place.
    void Finish(std::size_t index, bool closedInOrder) {
        Connection& connection = slots[index];
        const double took = Milliseconds(Clock::now() - connection.started);
        close(connection.descriptor);
        const std::string status(connection.statusLine, connection.statusBytes);
        if (!closedInOrder || status.size() < kStatusLineBytes || !status.starts_with("HTTP/1.1 ")) {
            ++figures.failed;
        } else {
            figures.all.push_back(took);
            const std::string code = status.substr(9, 3);
            if (code == "200" || code == "404") {
                figures.ok.push_back(took);
            } else if (code == "503") {
                figures.refused.push_back(took);
            } else {
                ++figures.other;
            }
        }
        Open(index);
    }

    std::string request;
    sockaddr_in address{};
    std::vector<Connection> slots;
    int events;
    Figures figures;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s PORT PATH CONNECTIONS SECONDS\n", argv[0]);
        return 2;
    }
    const int connections = std::atoi(argv[3]);
    const double seconds = std::atof(argv[4]);
    Load load(std::atoi(argv[1]), argv[2], connections);
    const auto length = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    const Figures figures = load.Run(length);
    const auto requests = static_cast<long>(figures.all.size()) + figures.failed;
    std::printf(
        "requests %ld rate %.1f ok %zu refused %zu other %ld failed %ld p50_ms %.3f p99_ms %.3f max_ms %.3f "
        "refused_max_ms %.3f ok_p99_ms %.3f\n",
        requests, static_cast<double>(figures.all.size()) / seconds, figures.ok.size(),
        figures.refused.size(), figures.other, figures.failed, Percentile(figures.all, 0.5),
        Percentile(figures.all, 0.99), Largest(figures.all), Largest(figures.refused),
        Percentile(figures.ok, 0.99));
    return 0;
}
