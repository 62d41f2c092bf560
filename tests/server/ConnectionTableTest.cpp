#include <gtest/gtest.h>

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

}  // namespace
