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

std::unique_ptr<TcpSocket> ConnectionTable::ReleaseSlot(const TcpSocket* connection) {
    for (auto& slot : slots) {
        if (slot.get() == connection && connection != nullptr) {
            return std::move(slot);
        }
    }
    return nullptr;
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
        CloseListenerAndIdle();
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
    CloseListenerAndIdle();
    ThreadEnded();
}

// The listening socket is closed and the server idle again; parked workers stop waiting for a connection.
void HttpServer::CloseListenerAndIdle() {
    {
        std::lock_guard guard(connections.slotsLock);
        listenSocket.Close();
    }
    std::lock_guard guard(threadsLock);
    connections.running.store(0);
    parkingOpen = false;
    workerWanted.notify_all();
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
            try {
                SendServiceUnavailable(*connection);
            } catch (...) {
                // A log hook that throws loses this answer, not the accept loop.
            }
            connection->Close();
            continue;
        }
        connections.handoffIndex = index;
        const HandOffResult handedOff = HandOff();
        if (handedOff == HandOffResult::ToNewWorker) {
            connections.handoffEvent.Wait();
        } else if (handedOff == HandOffResult::Failed) {
            std::unique_lock guard(connections.slotsLock);
            const std::unique_ptr<TcpSocket> unserved = connections.ReleaseSlot(accepted);
            guard.unlock();
            unserved->Close();
        }
    }
}

// Gets a worker to take the connection at handoffIndex. A parked worker is given the index at once, under
// threadsLock, so the hand-off is complete on return. A new worker takes the index itself and sets
// handoffEvent once it has it; until then handoffIndex must not change. Failed: no thread could be started.
HttpServer::HandOffResult HttpServer::HandOff() {
    {
        std::unique_lock guard(threadsLock);
        if (parkedWorkers > 0) {
            --parkedWorkers;
            handedIndices[handedCount++] = connections.handoffIndex;
            // Woken after the unlock, the worker finds the lock free instead of blocking on it at once.
            guard.unlock();
            workerWanted.notify_one();
            return HandOffResult::ToParkedWorker;
        }
        ++liveThreads;
    }
    if (platform::StartDetachedThread([this] { RunWorkerThread(); })) {
        return HandOffResult::ToNewWorker;
    }
    ThreadEnded();
    return HandOffResult::Failed;
}

void HttpServer::RunWorkerThread() {
    int index = connections.handoffIndex;
    connections.handoffEvent.Set();
    do {
        ServeConnection(index);
    } while (ParkWorker(index));
    ThreadEnded();
}

// Serves the one request of the connection in the slot, closes the connection and frees the slot.
void HttpServer::ServeConnection(int index) {
    TcpSocket* connection = nullptr;
    {
        std::lock_guard guard(connections.slotsLock);
        connection = connections.slots[index].get();
    }
    try {
        ServeRequest(*connection);
    } catch (...) {
        // A hook that throws loses its answer; the connection is still closed and its slot freed below.
    }
    // Whatever is still pending leaves while the connection is in its slot, where Stop can wake a send that
    // blocks on a slow reader. Once out of the table it is this worker's alone to close.
    connection->SendAll(nullptr, 0);
    std::unique_lock guard(connections.slotsLock);
    const std::unique_ptr<TcpSocket> finished = connections.ReleaseSlot(connection);
    guard.unlock();
    finished->Close();
}

// Waits a while for the next hand-off: true when this worker was handed the connection at index, false
// when it should end (the wait ran out, the accept loop has ended, or enough workers are parked already).
bool HttpServer::ParkWorker(int& index) {
    std::unique_lock guard(threadsLock);
    if (!parkingOpen || parkedWorkers + handedCount >= kConnectionSlots) {
        return false;
    }
    ++parkedWorkers;
    workerWanted.wait_for(guard, kWorkerParkTime, [this] { return handedCount > 0 || !parkingOpen; });
    // Every handed index was counted out of parkedWorkers by the accept thread, so there are always enough
    // parked workers to take them all, even after the accept loop has ended.
    if (handedCount > 0) {
        index = handedIndices[--handedCount];
        return true;
    }
    --parkedWorkers;
    return false;
}
