#include "server/ConnectionTable.h"

#include "platform/Network.h"

int ConnectionTable::AllocateSlot(std::unique_ptr<TcpSocket>& connection, Clock::time_point now) {
    for (int index = 0; index < kConnectionSlots; ++index) {
        if (!slots[index]) {
            slots[index] = std::move(connection);
            phases[index] = Phase::AwaitingHead;
            acceptedAt[index] = now;
            claimed[index] = false;
            tokens[index] = ++placed * kTokenSlotFactor + static_cast<std::uint64_t>(index);
            ++occupied;
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
        claimed[index] = true;
    } else {
        --occupied;
    }
    return released;
}

int ConnectionTable::ClaimByToken(std::uint64_t token) {
    const auto index = static_cast<int>(token % kTokenSlotFactor);
    if (index >= kConnectionSlots || !slots[index] || claimed[index] || tokens[index] != token) {
        return -1;
    }
    claimed[index] = true;
    return index;
}

int ConnectionTable::ClaimAny() {
    for (int index = 0; index < kConnectionSlots; ++index) {
        if (slots[index] && !claimed[index]) {
            claimed[index] = true;
            return index;
        }
    }
    return -1;
}

int ConnectionTable::OldestUnclaimed() const {
    int oldest = -1;
    for (int index = 0; index < kConnectionSlots; ++index) {
        if (slots[index] && !claimed[index] && phases[index] == Phase::AwaitingHead &&
            (oldest < 0 || acceptedAt[index] < acceptedAt[oldest])) {
            oldest = index;
        }
    }
    return oldest;
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
