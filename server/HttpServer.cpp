#include "server/HttpServer.h"

#include <cstring>

#include "platform/Thread.h"

namespace {

constexpr char kServerName[] = "ORV-HTTPD/0.1";

// How long Stop waits for the accept loop to end after shutting the listening socket down.
constexpr std::chrono::milliseconds kAcceptLoopEndWait{100};

// How long an idle worker waits for a connection before it ends, when there are more workers than
// connections. Starting a thread costs more than serving a connection, and threads that come and go leave
// their heap memory behind, so a worker stays while the server is in use at all.
constexpr int kWorkerParkMilliseconds = 60000;

// How long the accept thread waits for a slot to free up while the table is full (see AwaitFreeSlot).
constexpr std::chrono::microseconds kFreeSlotWait{100};

// The longest the accept thread sleeps when nothing is due; a negative wait has no limit.
constexpr std::chrono::milliseconds kNoLimit{-1};

std::chrono::milliseconds Sooner(std::chrono::milliseconds first, std::chrono::milliseconds second) {
    if (first < std::chrono::milliseconds::zero()) {
        return second;
    }
    if (second < std::chrono::milliseconds::zero()) {
        return first;
    }
    return std::min(first, second);
}

// How long from now until the time, rounded up, never negative.
std::chrono::milliseconds Until(std::chrono::steady_clock::time_point due,
                                std::chrono::steady_clock::time_point now) {
    return std::max(std::chrono::ceil<std::chrono::milliseconds>(due - now),
                    std::chrono::milliseconds::zero());
}

}  // namespace

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
    if (!waitingInput) {
        waitingInput = platform::net::InputWatch::Open();
        if (!waitingInput) {
            return StartResult::Failed;
        }
    }
    if (listenSocket.Listen(port) == 0) {
        return StartResult::Failed;
    }
    {
        std::lock_guard guard(connections.slotsLock);
        connections.stopping = false;
        parkingOpen = true;
    }
    nextHeadDue = {};
    waitingInput->SetInterrupted(false);
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
    slotFreed.notify_one();
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

// The listening socket is closed and the server idle again; idle workers are woken to serve what is left
// and end.
void HttpServer::CloseListenerAndIdle() {
    {
        std::lock_guard guard(connections.slotsLock);
        listenSocket.Close();
        parkingOpen = false;
    }
    if (waitingInput) {
        waitingInput->SetInterrupted(true);
    }
    std::lock_guard guard(threadsLock);
    connections.running.store(0);
    threadsChanged.notify_all();
}

// Accepts one connection at a time and puts it into a slot, where it waits for a worker; the accept
// thread never waits for a worker. Between connections it gives up heads that are overdue and closes
// refused connections that are done. The loop ends when the listening socket was shut down or failed for
// good; passing failures of single connections are retried below it.
void HttpServer::AcceptLoop() {
    while (connections.running.load() != 0) {
        const auto wait = Sooner(GiveUpLateHeads(), CloseRefused(false));
        AwaitFreeSlot();
        std::unique_ptr<TcpSocket> connection(new (std::nothrow) TcpSocket);
        if (!connection) {
            return;
        }
        const int accepted = listenSocket.Accept(*connection, wait);
        if (accepted == 0 || (accepted == 1 && !Place(std::move(connection)))) {
            return;
        }
    }
}

// Puts a new connection into a free slot, behind a connection that is done or given up, or refuses it.
// False when the server is stopping: the connection is closed and the loop must end.
bool HttpServer::Place(std::unique_ptr<TcpSocket> connection) {
    TcpSocket* const placed = connection.get();
    int index = -1;
    bool stopping = false;
    bool inSlot = false;
    bool needsWorker = false;
    std::uint64_t token = 0;
    {
        std::lock_guard guard(connections.slotsLock);
        stopping = connections.stopping;
        if (!stopping) {
            index = TakeSlot(connection);
        }
        tableFull = connections.occupied == kConnectionSlots;
        if (index >= 0 && connections.slots[index].get() == placed) {
            inSlot = true;
            token = connections.tokens[index];
            needsWorker = workerCount < connections.occupied;
            workerCount += needsWorker ? 1 : 0;
        }
    }
    if (stopping) {
        connection->Close();
        return false;
    }
    if (index < 0) {
        Refuse(std::move(connection));
    } else if (inSlot) {
        // Nobody can claim the connection before it is watched: its token is not out yet, and the workers
        // take unwatched connections only after the loop has ended.
        if ((needsWorker && !StartWorker()) || !waitingInput->Watch(placed->handle, token)) {
            DropUnclaimed(index);
        }
    }
    // A successor is served by the worker of its slot when the connection before it leaves.
    return true;
}

// While the table is full, waits a little for a slot to free up before the next connection is accepted.
// Under overload the accept thread never runs out of work: refused clients come straight back. Refusing
// them as fast as it can, it would take most of a core, the connections in the slots would wait behind it
// for their workers, and the slots would free up so slowly that nearly every client is refused. Waiting
// gives the workers that time, and the slot a worker frees goes to the next client in the queue at once.
// The clients wait in the kernel's queue meanwhile, never in ours.
void HttpServer::AwaitFreeSlot() {
    if (!tableFull) {
        return;
    }
    std::unique_lock guard(connections.slotsLock);
    awaitingSlot = true;
    slotFreed.wait_for(guard, kFreeSlotWait,
                       [this] { return connections.occupied < kConnectionSlots || connections.stopping; });
    awaitingSlot = false;
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
// the first that is still open and in time; all of them when all is set. Whether a client has closed is
// looked at no more often than kRefusedLookInterval. How long until the oldest one's time is up, or
// kNoLimit when none is left.
std::chrono::milliseconds HttpServer::CloseRefused(bool all) {
    if (refusedCount == 0) {
        return kNoLimit;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!all && now < nextRefusedLook && now < refused[refusedFirst].closeBy) {
        return Until(refused[refusedFirst].closeBy, now);
    }
    nextRefusedLook = now + kRefusedLookInterval;
    while (refusedCount != 0) {
        RefusedConnection& oldest = refused[refusedFirst];
        if (!all && !oldest.connection->DiscardUntilPeerClosed() && now < oldest.closeBy) {
            return Until(oldest.closeBy, now);
        }
        oldest.connection->Close();
        oldest.connection.reset();
        refusedFirst = (refusedFirst + 1) % kMaxRefusedOpen;
        --refusedCount;
    }
    return kNoLimit;
}

// Gives up the connections that no worker serves yet and whose head is overdue: each then shows the end
// of its input, is reported to a worker and answered like a head that timed out. How long until the next
// one may be due. The table is looked at only once that time has come, not for every connection.
std::chrono::milliseconds HttpServer::GiveUpLateHeads() {
    const auto now = Clock::now();
    if (now < nextHeadDue) {
        return Until(nextHeadDue, now);
    }
    std::lock_guard guard(connections.slotsLock);
    for (;;) {
        const int index = connections.OldestUnclaimed();
        if (index < 0) {
            // A connection put into its slot from now on is due no earlier than this.
            nextHeadDue = now + headTimeout;
            return kNoLimit;
        }
        const auto due = connections.acceptedAt[index] + headTimeout;
        if (due > now) {
            nextHeadDue = due;
            return Until(due, now);
        }
        // Unclaimed, so no worker can mark its head arrived meanwhile.
        connections.phases[index].store(ConnectionTable::Phase::GivenUp);
        connections.slots[index]->ShutdownReceiving();
    }
}

// Caller holds connections.slotsLock. Puts the connection into a free slot or, when there is none, behind
// a connection whose client has closed, or else behind the one that has waited longest for its head,
// which is given up: its worker sees the end of its input, answers 400 and leaves the slot to the
// newcomer. The slot index, or -1 when the connection must be refused and stays with the caller.
int HttpServer::TakeSlot(std::unique_ptr<TcpSocket>& connection) {
    const auto now = Clock::now();
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

// Takes a connection that was just put into its slot out again and closes it unserved, when it cannot be
// given a worker or watched. Nobody has claimed it yet (see Place).
void HttpServer::DropUnclaimed(int index) {
    std::unique_ptr<TcpSocket> unserved;
    {
        std::lock_guard guard(connections.slotsLock);
        unserved = connections.ReleaseSlot(connections.slots[index].get());
    }
    if (unserved) {
        unserved->Close();
    }
}

// Starts a worker, counted in workerCount already; when no thread can be started, takes that count back.
bool HttpServer::StartWorker() {
    {
        std::lock_guard guard(threadsLock);
        ++liveThreads;
    }
    if (platform::StartDetachedThread([this] { RunWorkerThread(); })) {
        return true;
    }
    ThreadEnded();
    std::lock_guard guard(connections.slotsLock);
    --workerCount;
    return false;
}

void HttpServer::RunWorkerThread() {
    for (Assignment next = NextConnection(); next.connection != nullptr; next = NextConnection()) {
        while (next.connection != nullptr) {
            next = ServeConnection(next);
        }
    }
    ThreadEnded();
}

// Caller holds connections.slotsLock. The claimed connection in the slot, with the time its head is due.
HttpServer::Assignment HttpServer::AssignmentOf(int index) const {
    return {index, connections.slots[index].get(), connections.acceptedAt[index] + headTimeout};
}

// Waits for a connection that has something to read, or is overdue, and claims it; none when the worker
// should end (it waited long enough while workers outnumber connections, or the accept loop has ended and
// nothing is left to serve). Once the loop has ended the watch is interrupted, so the wait returns at
// once.
HttpServer::Assignment HttpServer::NextConnection() {
    for (;;) {
        std::uint64_t token = 0;
        const auto outcome = waitingInput->Wait(&token, kWorkerParkMilliseconds);
        std::lock_guard guard(connections.slotsLock);
        int index =
            outcome == platform::net::InputWatch::Outcome::Ready ? connections.ClaimByToken(token) : -1;
        if (index < 0 && !parkingOpen) {
            index = connections.ClaimAny();
            if (index < 0) {
                --workerCount;
                return {};
            }
        }
        if (index >= 0) {
            return AssignmentOf(index);
        }
        if (outcome == platform::net::InputWatch::Outcome::TimedOut && workerCount > connections.occupied) {
            --workerCount;
            return {};
        }
    }
}

// Serves the one request of the assigned connection, frees its slot and closes the connection. The
// successor that has moved into the slot, which this worker serves next, or none.
HttpServer::Assignment HttpServer::ServeConnection(const Assignment& assignment) {
    TcpSocket& connection = *assignment.connection;
    try {
        ServeRequest(assignment.index, connection, assignment.headDeadline);
    } catch (...) {
        // A hook that throws loses its answer; the connection is still closed and its slot freed below.
    }
    // Whatever is still pending leaves while the connection is in its slot, where Stop can wake a send that
    // blocks on a slow reader. Once the answer is out the slot is free for the next client at once, and the
    // connection is this worker's alone to close.
    connection.SendAll(nullptr, 0);
    std::unique_lock guard(connections.slotsLock);
    const std::unique_ptr<TcpSocket> finished = connections.ReleaseSlot(&connection);
    const Assignment successor =
        connections.slots[assignment.index] ? AssignmentOf(assignment.index) : Assignment{};
    const bool wakeAccept = awaitingSlot && successor.connection == nullptr;
    guard.unlock();
    if (wakeAccept) {
        slotFreed.notify_one();
    }
    finished->CloseAfterAnswer();
    return successor;
}

// The request head of the slot's connection has arrived whole: it can no longer be given up for a
// newcomer. No lock: the accept thread gives a claimed connection up only by the same exchange from
// AwaitingHead.
void HttpServer::HeadArrived(int index) {
    auto awaiting = ConnectionTable::Phase::AwaitingHead;
    connections.phases[index].compare_exchange_strong(awaiting, ConnectionTable::Phase::Serving);
}
