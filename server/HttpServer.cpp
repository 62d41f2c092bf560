#include "server/HttpServer.h"

#include <cstring>

#include "platform/Thread.h"

namespace {

constexpr char kServerName[] = "ORV-HTTPD/0.1";

// How long Stop waits for the accept loop to end after shutting the listening socket down.
constexpr std::chrono::milliseconds kAcceptLoopEndWait{100};

// How long a worker that has finished its connection waits for the next one before it ends. Starting a
// thread per connection costs more than serving the connection.
constexpr std::chrono::milliseconds kWorkerParkTime{2000};

}  // namespace

int ConnectionTable::AllocateSlot(std::unique_ptr<TcpSocket>& connection) {
    for (int index = 0; index < kConnectionSlots; ++index) {
        if (!slots[index]) {
            slots[index] = std::move(connection);
            return index;
        }
    }
    return -1;
}

int ConnectionTable::ReleaseSlot(const TcpSocket* connection) {
    for (auto& slot : slots) {
        if (slot.get() == connection && connection != nullptr) {
            slot.reset();
            return 1;
        }
    }
    return 0;
}

HttpServer::HttpServer() {
    static_assert(sizeof kServerName <= sizeof serverName);
    std::memcpy(serverName, kServerName, sizeof kServerName);
}

HttpServer::~HttpServer() {
    Shutdown();
}

int HttpServer::StartWinsock(std::uint8_t major, std::uint8_t minor) {
    return listenSocket.Startup(major, minor);
}

int HttpServer::CleanupWinsock() {
    return listenSocket.Cleanup();
}

StartResult HttpServer::Start(int port) {
    if (connections.running.load() != 0) {
        return StartResult::AlreadyRunning;
    }
    if (listenSocket.Listen(port) == 0) {
        return StartResult::Failed;
    }
    {
        std::lock_guard guard(connections.slotsLock);
        connections.stopping = false;
    }
    connections.handoffEvent.Reset();
    {
        std::lock_guard guard(threadsLock);
        connections.running.store(1);
        parkingOpen = true;
        ++liveThreads;
    }
    if (!platform::StartDetachedThread([this] { RunAcceptThread(); })) {
        {
            std::lock_guard guard(connections.slotsLock);
            listenSocket.Close();
        }
        {
            std::lock_guard guard(threadsLock);
            connections.running.store(0);
            parkingOpen = false;
        }
        ThreadEnded();
        return StartResult::Failed;
    }
    return StartResult::Started;
}

int HttpServer::Stop() {
    {
        std::lock_guard guard(connections.slotsLock);
        connections.stopping = true;
        listenSocket.Shutdown();
        for (const auto& slot : connections.slots) {
            if (slot) {
                slot->Shutdown();
            }
        }
    }
    std::unique_lock guard(threadsLock);
    threadsChanged.wait_for(guard, kAcceptLoopEndWait, [this] { return connections.running.load() == 0; });
    return 1;
}

bool HttpServer::StopAndWait(std::chrono::milliseconds timeout) {
    Stop();
    std::unique_lock guard(threadsLock);
    return threadsChanged.wait_for(guard, timeout, [this] { return liveThreads == 0; });
}

void HttpServer::Shutdown() {
    Stop();
    std::unique_lock guard(threadsLock);
    threadsChanged.wait(guard, [this] { return liveThreads == 0; });
}

// The last thing a thread does with the server: once the count has dropped, Shutdown may return and the
// object may be destroyed.
void HttpServer::ThreadEnded() {
    std::lock_guard guard(threadsLock);
    --liveThreads;
    threadsChanged.notify_all();
}

void HttpServer::RunAcceptThread() {
    try {
        AcceptLoop();
    } catch (...) {
        // Whatever ended the loop, the listening socket is closed and the server is idle again.
    }
    {
        std::lock_guard guard(connections.slotsLock);
        listenSocket.Close();
    }
    std::lock_guard guard(threadsLock);
    connections.running.store(0);
    parkingOpen = false;
    workerWanted.notify_all();
    --liveThreads;
    threadsChanged.notify_all();
}

// Accepts one connection at a time and hands it to a worker. The loop ends when the listening socket was
// shut down or failed for good; passing failures of single connections are retried below it.
void HttpServer::AcceptLoop() {
    while (connections.running.load() != 0) {
        std::unique_ptr<TcpSocket> connection(new (std::nothrow) TcpSocket);
        if (!connection || listenSocket.Accept(*connection) == 0) {
            return;
        }
        TcpSocket* const accepted = connection.get();
        int index = -1;
        bool stopping = false;
        {
            std::lock_guard guard(connections.slotsLock);
            stopping = connections.stopping;
            if (!stopping) {
                index = connections.AllocateSlot(connection);
            }
        }
        if (stopping) {
            connection->Close();
            return;
        }
        if (index < 0) {
            SendServiceUnavailable(*connection);
            connection->Close();
            continue;
        }
        connections.handoffIndex = index;
        if (!HandOff()) {
            std::lock_guard guard(connections.slotsLock);
            accepted->Close();
            connections.ReleaseSlot(accepted);
            continue;
        }
        connections.handoffEvent.Wait();
    }
}

// Gets a worker to take the connection at handoffIndex: a parked one when there is one, else a new thread.
// False when no thread could be started; nobody will then set handoffEvent.
bool HttpServer::HandOff() {
    {
        std::lock_guard guard(threadsLock);
        if (parkedWorkers > 0) {
            --parkedWorkers;
            handoffPending = true;
            workerWanted.notify_one();
            return true;
        }
        ++liveThreads;
    }
    if (platform::StartDetachedThread([this] { RunWorkerThread(); })) {
        return true;
    }
    ThreadEnded();
    return false;
}

void HttpServer::RunWorkerThread() {
    do {
        ServeConnection();
    } while (ParkWorker());
    ThreadEnded();
}

// Takes the connection at handoffIndex, serves its one request, closes it and frees its slot.
void HttpServer::ServeConnection() {
    TcpSocket* connection = nullptr;
    {
        std::lock_guard guard(connections.slotsLock);
        connection = connections.slots[connections.handoffIndex].get();
    }
    connections.handoffEvent.Set();
    try {
        ServeRequest(*connection);
    } catch (...) {
        // A hook that throws loses its answer; the connection is still closed and its slot freed below.
    }
    // Whatever is still pending leaves here, outside the lock: a send may block on a slow reader, and Stop
    // must be able to take the lock to wake it.
    connection->SendAll(nullptr, 0);
    std::lock_guard guard(connections.slotsLock);
    connection->Close();
    connections.ReleaseSlot(connection);
}

// Waits a while for the next hand-off: true when this worker was handed a connection, false when it should
// end (the wait ran out, the accept loop has ended, or enough workers are parked already).
bool HttpServer::ParkWorker() {
    std::unique_lock guard(threadsLock);
    if (!parkingOpen || parkedWorkers >= kConnectionSlots) {
        return false;
    }
    ++parkedWorkers;
    workerWanted.wait_for(guard, kWorkerParkTime, [this] { return handoffPending || !parkingOpen; });
    if (handoffPending) {
        // The accept thread counted this hand-off out of parkedWorkers already.
        handoffPending = false;
        return true;
    }
    --parkedWorkers;
    return false;
}
