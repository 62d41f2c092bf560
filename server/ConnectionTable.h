#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

#include "platform/Event.h"
#include "server/TcpSocket.h"

inline constexpr int kConnectionSlots = 50;

// The live connections and the hand-off between the accept thread and the worker it has just started.
//
// Who may touch a connection: the accept thread puts it into a free slot; from then on the slot owns it,
// and only the worker serving it takes it out again (under slotsLock) and then closes it. Stop only shuts
// down the sockets it finds in the slots (under slotsLock), so it never reaches a connection that is gone
// or a reused descriptor number.
struct ConnectionTable {
    // Guards slots and stopping, and the descriptors of the connections and the listening socket against
    // being closed while Stop shuts them down.
    std::mutex slotsLock;
    std::array<std::unique_ptr<TcpSocket>, kConnectionSlots> slots;  // guarded by slotsLock
    // Set by Stop, cleared by Start (guarded by slotsLock): a connection accepted after Stop has shut the
    // live ones down is closed unserved rather than left to wait for a request.
    bool stopping = false;
    // Written by the accept thread before it starts a worker, read by that worker before it sets
    // handoffEvent; the accept thread waits for the event before it writes the field again. A parked
    // worker is given the index by the accept thread itself (HttpServer::HandOff).
    int handoffIndex = -1;
    std::atomic<int> running{0};  // 1 from a successful Start until the accept loop ends
    // Lives as long as the server, so it is never destroyed while the accept thread may wait on it.
    platform::AutoResetEvent handoffEvent;

    // Caller holds slotsLock. Moves the connection into the free slot with the lowest index and returns
    // that index; -1 when every slot is taken, and the connection stays with the caller.
    int AllocateSlot(std::unique_ptr<TcpSocket>& connection);
    // Caller holds slotsLock. Frees the connection's slot and hands the connection back to the caller, who
    // closes it; null when it is not in the table.
    std::unique_ptr<TcpSocket> ReleaseSlot(const TcpSocket* connection);
};
