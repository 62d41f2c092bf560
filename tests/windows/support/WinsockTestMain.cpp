// The entry point of the Windows test programs: Winsock is started for the whole run, since the test
// clients use sockets of their own beside the ones the code under test opens.
#include <winsock2.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return 2;
    }
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    WSACleanup();
    return result;
}
