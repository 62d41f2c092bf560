#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/InputWatch.h"
#include "server/ConnectionTable.h"
#include "server/HttpStatus.h"
#include "server/TcpSocket.h"

struct ParsedRequest;

enum class StartResult { AlreadyRunning = -1, Failed = 0, Started = 1 };

// The generic engine: a listening socket, an accept thread while started, 50 connection slots and one
// detached worker thread per connection, each serving one GET request and closing. A connection waits in
// its slot for its first bytes and is then served by a worker of its own; workers are started as the
// slots fill and kept for the next connections while they come, and there are always at least as many
// as connections. Applications plug in through the three hooks, which run on worker threads (up to 50 at
// once) and, for the log of a 503, on the accept thread.
//
// Start, Stop and Shutdown are called from one controlling thread. A subclass that overrides the hooks
// calls Shutdown in its destructor, so that no thread runs a hook of a half-destroyed object; the
// destructor here calls it again as a last resort, so that no thread outlives the object.
class HttpServer {
  public:
    HttpServer();
    virtual ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int StartWinsock(std::uint8_t major, std::uint8_t minor);
    int CleanupWinsock();

    StartResult Start(int port);
    // Shuts the listening socket and every live connection down: the accept loop ends and each worker
    // finishes at once, closing its own connection. Waits at most 100 ms for the accept loop to end and
    // not for the workers; always 1.
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

    // How long a client has, from the start of its connection, to send its whole request head; one that
    // takes longer is answered like one that disconnected. Set while stopped.
    void SetHeadTimeout(std::chrono::milliseconds timeout) { headTimeout = timeout; }
    // When every slot is taken, a newcomer is served in the slot of the connection that has waited
    // longest for its head, once that is at least this long; the connection given up is answered like one
    // whose head timed out. Set while stopped.
    void SetHeadPatience(std::chrono::milliseconds patience) { headPatience = patience; }

  private:
    struct RequestHead;

    using Clock = ConnectionTable::Clock;

    // A connection claimed by a worker: its slot, itself and when its head is due.
    struct Assignment {
        int index = -1;
        TcpSocket* connection = nullptr;
        Clock::time_point headDeadline;
    };

    void RunAcceptThread();
    void CloseListenerAndIdle();
    void AcceptLoop();
    bool Place(std::unique_ptr<TcpSocket> connection);
    int TakeSlot(std::unique_ptr<TcpSocket>& connection);
    void DropUnclaimed(int index);
    std::chrono::milliseconds GiveUpLateHeads();
    void AwaitFreeSlot();
    void Refuse(std::unique_ptr<TcpSocket> connection);
    std::chrono::milliseconds CloseRefused(bool all);
    bool StartWorker();
    void RunWorkerThread();
    Assignment AssignmentOf(int index) const;
    Assignment NextConnection();
    Assignment ServeConnection(const Assignment& assignment);
    void ServeRequest(int index, TcpSocket& connection, Clock::time_point headDeadline);
    void HeadArrived(int index);
    std::unique_ptr<RequestHead> ReadRequestHead(TcpSocket& connection, Clock::time_point deadline);
    int HandleGet(TcpSocket& connection, const ParsedRequest& request);
    int AuthorizeAndDispatch(TcpSocket& connection, const ParsedRequest& request, const char* path,
                             const char* realm, const char* credentials);
    int CheckAuthorization(TcpSocket& connection, const char* realm, const char* encodedCredentials,
                           const ParsedRequest& request, const char* path);
    int SendShortHeadAnswer(TcpSocket& connection, HttpStatusCode status);
    void ThreadEnded();

    static constexpr std::chrono::milliseconds kDefaultHeadTimeout{30000};
    static constexpr std::chrono::milliseconds kDefaultHeadPatience{3000};

    TcpSocket listenSocket;  // its descriptor is closed by the accept thread, under connections.slotsLock
    ConnectionTable connections;
    char serverName[128];
    std::chrono::milliseconds headTimeout = kDefaultHeadTimeout;
    std::chrono::milliseconds headPatience = kDefaultHeadPatience;

    // Connections in their slots that no worker serves yet, each watched until its first bytes arrive and
    // then reported to one idle worker. Opened by the first Start and kept, since workers outlive a Stop.
    std::unique_ptr<platform::net::InputWatch> waitingInput;
    // Worker threads, serving or idle (guarded by connections.slotsLock). The accept thread starts one
    // whenever the connections would outnumber them, so that each connection finds its worker.
    int workerCount = 0;
    bool parkingOpen = false;  // guarded by connections.slotsLock: idle workers wait while the loop runs
    // Set while the accept thread waits for a slot to free up (guarded by connections.slotsLock).
    bool awaitingSlot = false;
    // Whether the last connection placed or refused found the table full (used by the accept thread only).
    // Only the accept thread fills slots, so a table that was not full then is not full now.
    bool tableFull = false;
    std::condition_variable slotFreed;
    // No connection nobody serves is due for its head before this (used by the accept thread only).
    Clock::time_point nextHeadDue;

    // Connections answered with the 503, their sending direction ended, kept open (oldest first) until the
    // client has closed or kRefusalLinger has passed: a request that arrives after a close would reset the
    // connection, and the client could lose the answer. Used by the accept thread only.
    struct RefusedConnection {
        std::unique_ptr<TcpSocket> connection;
        std::chrono::steady_clock::time_point closeBy;
    };
    static constexpr int kMaxRefusedOpen = 256;
    static constexpr std::chrono::milliseconds kRefusalLinger{1000};
    // How often the accept thread looks whether refused clients have closed, at most: while the table is
    // full it comes round for every new connection, and each look costs a read.
    static constexpr std::chrono::milliseconds kRefusedLookInterval{1};
    std::array<RefusedConnection, kMaxRefusedOpen> refused;
    int refusedFirst = 0;
    int refusedCount = 0;
    std::chrono::steady_clock::time_point nextRefusedLook;

    // Every thread of the engine, counted so that Shutdown can wait for all of them.
    std::mutex threadsLock;
    std::condition_variable threadsChanged;  // a thread ended, or the accept loop did
    int liveThreads = 0;                     // guarded by threadsLock: the accept thread and every worker
};
