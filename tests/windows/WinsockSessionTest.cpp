// Runs without the test entry point that starts Winsock: the session alone decides whether sockets work.
#include <winsock2.h>

#include <gtest/gtest.h>

#include "server/WinsockSession.h"

namespace {

// Whether the process may use sockets at this moment.
bool SocketsWork() {
    const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (probe == INVALID_SOCKET) {
        EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
        return false;
    }
    closesocket(probe);
    return true;
}

}  // namespace

TEST(WinsockSession, StartsAndCleansUpTheStackOnce) {
    ASSERT_FALSE(SocketsWork());
    {
        WinsockSession session;
        ASSERT_EQ(session.Startup(1, 1), 1);
        EXPECT_EQ(session.grantedVersion, 0x0101);
        EXPECT_TRUE(SocketsWork());
        EXPECT_EQ(session.Cleanup(), 1);
        EXPECT_FALSE(SocketsWork());
        EXPECT_EQ(session.Cleanup(), 1) << "a second clean-up is harmless";
        ASSERT_EQ(session.Startup(2, 2), 1);
        EXPECT_TRUE(SocketsWork());
    }
    EXPECT_FALSE(SocketsWork()) << "the destructor cleaned up";
}

TEST(WinsockSession, AVersionOtherThanTheOneAskedForLeavesNothingStarted) {
    WinsockSession session;
    // Winsock grants 2.2 for a request above it; the session refuses that and undoes the start-up.
    EXPECT_EQ(session.Startup(3, 0), 0);
    EXPECT_EQ(session.started, 0);
    EXPECT_EQ(session.grantedVersion, 0x0202);
    EXPECT_FALSE(SocketsWork());
}
