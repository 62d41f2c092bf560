#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "server/TcpSocket.h"

inline constexpr int kConnectionSlots = 50;

// The live connections, one per slot, each served by a worker thread of its own once its first bytes
// have arrived.
//
// Who may touch a connection: the accept thread puts it into a free slot; from then on the slot owns it.
// A worker claims it (under slotsLock), serves it, takes it out again once the answer is out, and then
// closes it. Stop only shuts down the sockets it finds in the table (under slotsLock), so it never
// reaches a connection that is gone or a reused descriptor number.
struct ConnectionTable {
    using Clock = std::chrono::steady_clock;

    // What the connection in a slot is doing.
    enum class Phase {
        AwaitingHead,  // accepted, its request head not complete yet
        Serving,       // its head has arrived; the answer is being made or sent
        GivenUp,       // its head took too long while a newcomer needed the slot: its input was ended
    };

    // Guards everything below but running, and the descriptors of the connections and the listening
    // socket against being closed while Stop shuts them down.
    std::mutex slotsLock;
    std::array<std::unique_ptr<TcpSocket>, kConnectionSlots> slots;  // guarded by slotsLock
    // Written under slotsLock, except the one change a worker makes from AwaitingHead to Serving.
    std::array<std::atomic<Phase>, kConnectionSlots> phases{};
    std::array<Clock::time_point, kConnectionSlots> acceptedAt{};  // guarded by slotsLock
    // A connection accepted for a slot whose connection was given up; it takes the slot as soon as the
    // given-up one leaves it, served by the same worker (guarded by slotsLock).
    std::array<std::unique_ptr<TcpSocket>, kConnectionSlots> successors;
    // Whether a worker serves the slot's connection (guarded by slotsLock). One that nobody serves yet
    // waits for its first bytes under its token, which names its slot and tells it from every connection
    // the slot held before.
    std::array<bool, kConnectionSlots> claimed{};
    std::array<std::uint64_t, kConnectionSlots>
        tokens{};  // the connection's number times the factor, plus its slot
    static constexpr std::uint64_t kTokenSlotFactor = 64;
    std::uint64_t placed = 0;  // connections put into free slots so far (guarded by slotsLock)
    int occupied = 0;          // slots holding a connection (guarded by slotsLock)
    // Set by Stop, cleared by Start (guarded by slotsLock): a connection accepted after Stop has shut the
    // live ones down is closed unserved rather than left to wait for a request.
    bool stopping = false;
    std::atomic<int> running{0};  // 1 from a successful Start until the accept loop ends

    // Caller holds slotsLock. Moves the connection into the free slot with the lowest index, unclaimed,
    // awaiting its head since now under a new token, and returns that index; -1 when every slot is taken,
    // and the connection stays with the caller.
    int AllocateSlot(std::unique_ptr<TcpSocket>& connection, Clock::time_point now = Clock::now());
    // Caller holds slotsLock. Takes the connection out of its slot and hands it back to the caller, who
    // closes it; a successor waiting for the slot moves in, claimed by the worker that served the slot.
    // Null when the connection is not in the table.
    std::unique_ptr<TcpSocket> ReleaseSlot(const TcpSocket* connection);
    // Caller holds slotsLock. Claims the unclaimed connection the token was given to and returns its slot;
    // -1 when that connection has been claimed or has left.
    int ClaimByToken(std::uint64_t token);
    // Caller holds slotsLock. Claims any unclaimed connection and returns its slot; -1 when there is none.
    int ClaimAny();
    // Caller holds slotsLock. The unclaimed slot that has awaited its head longest; -1 when there is none.
    int OldestUnclaimed() const;
    // Caller holds slotsLock. The slot whose connection has waited longest for its head, if that is at
    // least patience and no successor waits for it yet; -1 otherwise.
    int LongestAwaitingHead(Clock::time_point now, Clock::duration patience) const;
    // Caller holds slotsLock. A slot whose client has closed its end already (its answer is out, or it gave
    // up): its worker is about to free it. -1 when there is none, or each such slot has a successor.
    int PeerClosed() const;
    // Caller holds slotsLock. The slot holding the connection, or -1.
    int IndexOf(const TcpSocket* connection) const;
};
