#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "server/ConnectionTable.h"

namespace {

TEST(ConnectionTable, ReusesTheLowestFreeSlotFirst) {
    ConnectionTable table;
    std::lock_guard guard(table.slotsLock);
    TcpSocket* held[5] = {};
    for (int expected = 0; expected < 5; ++expected) {
        auto connection = std::make_unique<TcpSocket>();
        held[expected] = connection.get();
        EXPECT_EQ(table.AllocateSlot(connection), expected);
        EXPECT_EQ(connection, nullptr) << "the slot owns the connection now";
    }
    EXPECT_EQ(table.ReleaseSlot(held[3]).get(), held[3]) << "the connection goes back to the caller";
    EXPECT_EQ(table.slots[3], nullptr);
    EXPECT_NE(table.ReleaseSlot(held[1]), nullptr);
    auto next = std::make_unique<TcpSocket>();
    EXPECT_EQ(table.AllocateSlot(next), 1);
    auto after = std::make_unique<TcpSocket>();
    EXPECT_EQ(table.AllocateSlot(after), 3);
    auto last = std::make_unique<TcpSocket>();
    EXPECT_EQ(table.AllocateSlot(last), 5);
}

TEST(ConnectionTable, FullTableLeavesTheConnectionWithTheCaller) {
    ConnectionTable table;
    std::lock_guard guard(table.slotsLock);
    for (int index = 0; index < kConnectionSlots; ++index) {
        auto connection = std::make_unique<TcpSocket>();
        ASSERT_EQ(table.AllocateSlot(connection), index);
    }
    auto refused = std::make_unique<TcpSocket>();
    TcpSocket* const refusedAddress = refused.get();
    EXPECT_EQ(table.AllocateSlot(refused), -1);
    EXPECT_EQ(refused.get(), refusedAddress);
    for (const auto& slot : table.slots) {
        EXPECT_NE(slot.get(), refusedAddress);
    }
}

TEST(ConnectionTable, ReleasingAnUnknownConnectionTakesNothing) {
    ConnectionTable table;
    std::lock_guard guard(table.slotsLock);
    auto connection = std::make_unique<TcpSocket>();
    ASSERT_EQ(table.AllocateSlot(connection), 0);
    TcpSocket stranger;
    EXPECT_EQ(table.ReleaseSlot(&stranger), nullptr);
    EXPECT_EQ(table.ReleaseSlot(nullptr), nullptr);
    EXPECT_NE(table.slots[0], nullptr);
}

TEST(ConnectionTable, TokensNameOneConnectionAndEachIsClaimedOnce) {
    ConnectionTable table;
    std::lock_guard guard(table.slotsLock);
    const auto now = ConnectionTable::Clock::now();
    TcpSocket* held[4] = {};
    for (int index = 0; index < 4; ++index) {
        auto connection = std::make_unique<TcpSocket>();
        held[index] = connection.get();
        // Waiting longest: slot 2, then 0, 3 and 1.
        constexpr int kWaitedSeconds[4] = {5, 1, 9, 3};
        const auto since = now - std::chrono::seconds(kWaitedSeconds[index]);
        ASSERT_EQ(table.AllocateSlot(connection, since), index);
    }
    EXPECT_EQ(table.occupied, 4);
    const std::uint64_t first = table.tokens[0];
    EXPECT_EQ(table.OldestUnclaimed(), 2);
    EXPECT_EQ(table.ClaimByToken(table.tokens[2]), 2);
    EXPECT_EQ(table.ClaimByToken(table.tokens[2]), -1) << "claimed once only";
    EXPECT_EQ(table.OldestUnclaimed(), 0) << "a claimed connection is its worker's to time";
    table.phases[0] = ConnectionTable::Phase::GivenUp;
    EXPECT_EQ(table.OldestUnclaimed(), 3) << "a given-up connection is not given up again";

    // A slot reused for another connection does not answer to the token of the one before.
    ASSERT_NE(table.ReleaseSlot(held[0]), nullptr);
    auto next = std::make_unique<TcpSocket>();
    ASSERT_EQ(table.AllocateSlot(next), 0);
    EXPECT_NE(table.tokens[0], first);
    EXPECT_EQ(table.ClaimByToken(first), -1);
    EXPECT_EQ(table.ClaimByToken(table.tokens[0]), 0);
    EXPECT_EQ(table.ClaimByToken(ConnectionTable::kTokenSlotFactor - 1), -1) << "names no slot";

    EXPECT_EQ(table.ClaimAny(), 1);
    EXPECT_EQ(table.ClaimAny(), 3);
    EXPECT_EQ(table.ClaimAny(), -1);

    // A successor moves in already claimed, by the worker that served the slot; the count stays.
    auto successor = std::make_unique<TcpSocket>();
    TcpSocket* const successorAddress = successor.get();
    table.successors[3] = std::move(successor);
    ASSERT_NE(table.ReleaseSlot(held[3]), nullptr);
    EXPECT_EQ(table.slots[3].get(), successorAddress);
    EXPECT_TRUE(table.claimed[3]);
    EXPECT_EQ(table.occupied, 4);
    ASSERT_NE(table.ReleaseSlot(successorAddress), nullptr);
    EXPECT_EQ(table.occupied, 3);
}

}  // namespace
