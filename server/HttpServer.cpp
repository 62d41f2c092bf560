#include "server/HttpServer.h"

#include <cstring>

#include "platform/Thread.h"

namespace {

constexpr char kServerName[] = "ORV-HTTPD/0.1";

// How long Stop waits for the accept loop to end after shutting the listening socket down.
constexpr std::chrono::milliseconds kAcceptLoopEndWait{100};

// How long a worker that has finished its connection waits for the slot's next one before it ends.
// Starting a thread costs more than serving a connection, and threads that come and go leave their heap
// memory behind, so a worker stays while its slot is in use at all.
constexpr std::chrono::milliseconds kWorkerParkTime{60000};

}  // namespace

int ConnectionTable::AllocateSlot(std::unique_ptr<TcpSocket>& connection, Clock::time_point now) {
    for (int index = 0; index < kConnectionSlots; ++index) {
        if (!slots[index]) {
            slots[index] = std::move(connection);
            phases[index] = Phase::AwaitingHead;
            acceptedAt[index] = now;
            return index;
        }
    }
    return -1;
}

std::unique_ptr<TcpSocket> ConnectionTable::ReleaseSlot(const TcpSocket* connection) {
    const int index = IndexOf(connection);
    if (index < 0) {
        return nullptr;
    }
    std::unique_ptr<TcpSocket> released = std::move(slots[index]);
    if (successors[index]) {
        slots[index] = std::move(successors[index]);
        phases[index] = Phase::AwaitingHead;
        acceptedAt[index] = Clock::now();
    }
    return released;
}

int ConnectionTable::LongestAwaitingHead(Clock::time_point now, Clock::duration patience) const {
    int longest = -1;
    for (int index = 0; index < kConnectionSlots; ++index) {
        if (slots[index] && !successors[index] && phases[index] == Phase::AwaitingHead &&
            now - acceptedAt[index] >= patience && (longest < 0 || acceptedAt[index] < acceptedAt[longest])) {
            longest = index;
        }
    }
    return longest;
}

int ConnectionTable::PeerClosed() const {
    std::array<platform::net::SocketHandle, kConnectionSlots> handles{};
    std::array<int, kConnectionSlots> indices{};
    int count = 0;
    for (int index = 0; index < kConnectionSlots; ++index) {
        if (slots[index] && !successors[index]) {
            handles[count] = slots[index]->handle;
            indices[count++] = index;
        }
    }
    const int found = platform::net::FindPeerClosed(handles.data(), count);
    return found < 0 ? -1 : indices[found];
}

int ConnectionTable::IndexOf(const TcpSocket* connection) const {
    if (connection == nullptr) {
        return -1;
    }
    for (int index = 0; index < kConnectionSlots; ++index) {
        if (slots[index].get() == connection) {
            return index;
        }
    }
    return -1;
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
        parkingOpen = true;
    }
    {
        std::lock_guard guard(threadsLock);
        connections.running.store(1);
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
        for (int index = 0; index < kConnectionSlots; ++index) {
            if (connections.slots[index]) {
                connections.slots[index]->Shutdown();
            }
            if (connections.successors[index]) {
                connections.successors[index]->Shutdown();
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
    CloseRefused(true);
    CloseListenerAndIdle();
    ThreadEnded();
}

// The listening socket is closed and the server idle again; parked workers are woken to end.
void HttpServer::CloseListenerAndIdle() {
    std::array<bool, kConnectionSlots> woken{};
    {
        std::lock_guard guard(connections.slotsLock);
        listenSocket.Close();
        parkingOpen = false;
        for (int index = 0; index < kConnectionSlots; ++index) {
            if (workers[index].state == WorkerState::Parked) {
                workers[index].state = WorkerState::Busy;
                woken[index] = true;
            }
        }
    }
    for (int index = 0; index < kConnectionSlots; ++index) {
        if (woken[index]) {
            workers[index].wake.notify_one();
        }
    }
    std::lock_guard guard(threadsLock);
    connections.running.store(0);
    threadsChanged.notify_all();
}

// Accepts one connection at a time and hands it to its slot's worker; the accept thread never waits for a
// worker. The loop ends when the listening socket was shut down or failed for good; passing failures of
// single connections are retried below it.
void HttpServer::AcceptLoop() {
    while (connections.running.load() != 0) {
        std::unique_ptr<TcpSocket> connection(new (std::nothrow) TcpSocket);
        if (!connection || listenSocket.Accept(*connection) == 0) {
            return;
        }
        int index = -1;
        bool stopping = false;
        WorkerState worker = WorkerState::Busy;
        {
            std::lock_guard guard(connections.slotsLock);
            stopping = connections.stopping;
            if (!stopping) {
                index = TakeSlot(connection);
            }
            if (index >= 0) {
                worker = workers[index].state;
                workers[index].state = WorkerState::Busy;
            }
        }
        if (stopping) {
            connection->Close();
            return;
        }
        if (index < 0) {
            Refuse(std::move(connection));
        } else if (worker == WorkerState::Parked) {
            workers[index].wake.notify_one();
        } else if (worker == WorkerState::None) {
            StartWorker(index);
        }
        CloseRefused(false);
    }
}

// Answers 503 and keeps the connection open for a while, its sending direction ended (see refused).
void HttpServer::Refuse(std::unique_ptr<TcpSocket> connection) {
    try {
        SendServiceUnavailable(*connection);
    } catch (...) {
        // A log hook that throws loses this answer, not the accept loop.
    }
    if (refusedCount == kMaxRefusedOpen) {
        RefusedConnection& oldest = refused[refusedFirst];
        oldest.connection->Close();
        oldest.connection.reset();
        refusedFirst = (refusedFirst + 1) % kMaxRefusedOpen;
        --refusedCount;
    }
    connection->EndSending();
    RefusedConnection& entry = refused[(refusedFirst + refusedCount) % kMaxRefusedOpen];
    entry.connection = std::move(connection);
    entry.closeBy = std::chrono::steady_clock::now() + kRefusalLinger;
    ++refusedCount;
}

// Closes the refused connections whose client has closed or whose time is up, oldest first, stopping at
// the first that is still open and in time; all of them when all is set.
void HttpServer::CloseRefused(bool all) {
    const auto now = std::chrono::steady_clock::now();
    while (refusedCount != 0) {
        RefusedConnection& oldest = refused[refusedFirst];
        if (!all && !oldest.connection->DiscardUntilPeerClosed() && now < oldest.closeBy) {
            return;
        }
        oldest.connection->Close();
        oldest.connection.reset();
        refusedFirst = (refusedFirst + 1) % kMaxRefusedOpen;
        --refusedCount;
    }
}

// Caller holds connections.slotsLock. Puts the connection into a free slot or, when there is none, behind
// a connection whose client has closed, or else behind the one that has waited longest for its head,
// which is given up: its worker sees the end of its
// input, answers 400 and leaves the slot to the newcomer. The slot index, or -1 when the connection must
// be refused and stays with the caller.
int HttpServer::TakeSlot(std::unique_ptr<TcpSocket>& connection) {
    const auto now = ConnectionTable::Clock::now();
    int index = connections.AllocateSlot(connection, now);
    if (index >= 0) {
        return index;
    }
    // A client that has closed its connection is done with its slot, even while its worker still holds it:
    // one that reconnects right after a complete answer must not be refused for that.
    index = connections.PeerClosed();
    if (index < 0) {
        index = connections.LongestAwaitingHead(now, headPatience);
        if (index < 0) {
            return -1;
        }
        // Its head may complete at this moment: then its worker has marked it Serving, and it keeps the slot.
        auto awaiting = ConnectionTable::Phase::AwaitingHead;
        if (!connections.phases[index].compare_exchange_strong(awaiting, ConnectionTable::Phase::GivenUp)) {
            return -1;
        }
        connections.slots[index]->ShutdownReceiving();
    }
    connections.successors[index] = std::move(connection);
    return index;
}

// Starts the worker of a slot that has none. When no thread can be started, the connections waiting for
// the slot are closed unserved.
void HttpServer::StartWorker(int index) {
    {
        std::lock_guard guard(threadsLock);
        ++liveThreads;
    }
    if (platform::StartDetachedThread([this, index] { RunWorkerThread(index); })) {
        return;
    }
    ThreadEnded();
    std::unique_ptr<TcpSocket> unserved;
    std::unique_ptr<TcpSocket> successor;
    {
        std::lock_guard guard(connections.slotsLock);
        workers[index].state = WorkerState::None;
        unserved = std::move(connections.slots[index]);
        successor = std::move(connections.successors[index]);
    }
    for (TcpSocket* connection : {unserved.get(), successor.get()}) {
        if (connection != nullptr) {
            connection->Close();
        }
    }
}

void HttpServer::RunWorkerThread(int index) {
    for (TcpSocket* connection = WaitForConnection(index); connection != nullptr;
         connection = WaitForConnection(index)) {
        ServeConnection(index, *connection);
    }
    ThreadEnded();
}

// Serves the one request of the connection in the slot, frees the slot and closes the connection.
void HttpServer::ServeConnection(int index, TcpSocket& connection) {
    try {
        ServeRequest(index, connection);
    } catch (...) {
        // A hook that throws loses its answer; the connection is still closed and its slot freed below.
    }
    // Whatever is still pending leaves while the connection is in its slot, where Stop can wake a send that
    // blocks on a slow reader. Once the answer is out the slot is free for the next client at once, and the
    // connection is this worker's alone to close.
    connection.SendAll(nullptr, 0);
    std::unique_lock guard(connections.slotsLock);
    const std::unique_ptr<TcpSocket> finished = connections.ReleaseSlot(&connection);
    guard.unlock();
    finished->CloseAfterAnswer();
}

// The request head of the slot's connection has arrived whole: it can no longer be given up for a
// newcomer. No lock: the accept thread gives a connection up only by the same exchange from AwaitingHead.
void HttpServer::HeadArrived(int index) {
    auto awaiting = ConnectionTable::Phase::AwaitingHead;
    connections.phases[index].compare_exchange_strong(awaiting, ConnectionTable::Phase::Serving);
}

// Waits for the slot's next connection, the first one included: the connection to serve, or null when the
// worker should end (the wait ran out, or the accept loop has ended).
TcpSocket* HttpServer::WaitForConnection(int index) {
    SlotWorker& worker = workers[index];
    std::unique_lock guard(connections.slotsLock);
    if (!connections.slots[index]) {
        if (!parkingOpen) {
            worker.state = WorkerState::None;
            return nullptr;
        }
        worker.state = WorkerState::Parked;
        const auto woken = [&] { return worker.state != WorkerState::Parked; };
        if (!worker.wake.wait_for(guard, kWorkerParkTime, woken)) {
            worker.state = WorkerState::None;
            return nullptr;
        }
    }
    // Put there while this worker was closing its last connection, or just before the wake; none when the
    // accept loop has ended.
    TcpSocket* connection = connections.slots[index].get();
    if (connection == nullptr) {
        worker.state = WorkerState::None;
    }
    return connection;
}
