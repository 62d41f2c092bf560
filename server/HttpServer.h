#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/Event.h"
#include "server/TcpSocket.h"

inline constexpr int kConnectionSlots = 50;

enum class StartResult { AlreadyRunning = -1, Failed = 0, Started = 1 };

// The live connections and the hand-off between the accept thread and the worker it has just started.
struct ConnectionTable {
    // Guards slots against the workers that release them and Stop, which wakes their sockets.
    std::mutex slotsLock;
    std::array<TcpSocket*, kConnectionSlots> slots{};  // guarded by slotsLock; a slot owns its connection
    // Written by the accept thread before it starts a worker, read by that worker before it sets
    // handoffEvent; the accept thread waits for the event before it writes the field again.
    int handoffIndex = -1;
    std::atomic<int> running{0};  // 1 from a successful Start until the accept loop ends
    platform::AutoResetEvent handoffEvent;
};

// The generic engine: a listening socket, an accept thread while started, 50 connection slots and one
// detached worker thread per connection, each serving one GET request and closing. Applications plug in
// through the three hooks, which run on worker threads (up to 50 at once) and, for the log of a 503, on
// the accept thread.
//
// Start, Stop and Shutdown are called from one controlling thread. A subclass that overrides the hooks
// calls Shutdown in its destructor, so that no thread runs a hook of a half-destroyed object.
class HttpServer {
public:
    HttpServer();
    virtual ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int StartWinsock(std::uint8_t major, std::uint8_t minor);
    int CleanupWinsock();

    StartResult Start(int port);
    // Closes the listening socket and wakes every live connection; their workers finish at once. Returns
    // without waiting for the threads (at most about 100 ms for the accept thread to end); always 1.
    int Stop();
    // Stop, then wait until the accept thread and every worker have ended, at most timeout. True when all
    // have ended.
    bool StopAndWait(std::chrono::milliseconds timeout);
    // Stop and wait without a bound; for destructors.
    void Shutdown();
    bool IsRunning() const { return connections.running.load() != 0; }

    // The one writer of response heads: status line, Server, WWW-Authenticate (realm not null),
    // Connection: close, Content-Length (length not 0), Content-Type (type not null), blank line.
    int WriteResponseHead(TcpSocket& connection, int status, int length, const char* statusText,
                          const char* contentType, const char* realm);

    const char* ServerName() const { return serverName; }

protected:
    // Non-zero: the path may be served only to a client presenting matching Basic credentials; realm (or
    // null) and credentials ("user:password") then point to texts that stay unchanged until the request
    // is finished. Base: 0.
    virtual int HookAuthenticate(const char* path, const char** realm, const char** credentials);
    // Writes the whole response and logs it through HookLogAccess; must not close the connection.
    // Base: the 404 answer.
    virtual int HookHandleRequest(const char* path, TcpSocket& connection);
    // Called once per response, before its first byte is sent. Base: nothing.
    virtual int HookLogAccess(TcpSocket& connection, int status, int length, const char* requestText);

    int SendBadRequest(TcpSocket& connection);
    int SendServiceUnavailable(TcpSocket& connection);

private:
    void AcceptLoop();
    int AllocateSlot(TcpSocket* connection);
    int ReleaseSlot(TcpSocket* connection);
    void ServeConnection();
    void ServeRequest(TcpSocket& connection);
    struct RequestHead;
    std::unique_ptr<RequestHead> ReadRequestHead(TcpSocket& connection);
    int HandleGet(TcpSocket& connection, const RequestHead& head);
    int AuthorizeAndDispatch(TcpSocket& connection, const RequestHead& head, const char* path,
                             const char* realm, const char* credentials);
    int CheckAuthorization(TcpSocket& connection, const char* realm, const char* encodedCredentials,
                           const RequestHead& head, const char* path);

    void ThreadStarted();
    void ThreadEnded();

    TcpSocket listenSocket;
    ConnectionTable connections;
    char serverName[128];

    // Counts the accept thread and the workers, so that StopAndWait can see them all end.
    std::mutex threadsLock;
    std::condition_variable threadsChanged;
    int liveThreads = 0;  // guarded by threadsLock
};
