#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackPort.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace {

// qvserver-headless copied into a fresh folder with its start-up picture, run as a child process.
class HeadlessHost {
public:
    HeadlessHost() {
        const char* binDir = std::getenv("QV_BIN_DIR");
        const std::filesystem::path bin = binDir != nullptr ? binDir : "bin";
        std::filesystem::create_directories(folder.File("data"));
        std::filesystem::copy_file(bin / "qvserver-headless", folder.File("qvserver-headless"));
        std::filesystem::copy_file(bin / "data/wait.jpg", folder.File("data/wait.jpg"));
    }
    ~HeadlessHost() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    void WriteSettings(const std::string& text) { TempDir::WriteFile(folder.File("current.ini"), text); }

    // Starts the host without a display, its standard error going to a file.
    bool Spawn() {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string errorPath = folder.File("stderr.txt");
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        std::vector<char*> environment;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            if (std::string(*variable).rfind("DISPLAY=", 0) != 0) {
                environment.push_back(*variable);
            }
        }
        environment.push_back(nullptr);
        const std::string program = folder.File("qvserver-headless");
        char* arguments[] = {const_cast<char*>(program.c_str()), nullptr};
        const int result = posix_spawn(&pid, program.c_str(), &actions, nullptr, arguments, environment.data());
        posix_spawn_file_actions_destroy(&actions);
        return result == 0;
    }

    // The exit status, or -1 when the host did not end in time or ended by a signal.
    int WaitForExit(std::chrono::seconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    bool WaitUntilServing(std::uint16_t port) {
        for (int attempt = 0; attempt < 500; ++attempt) {
            if (Get(port, "/").status == 200) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    TempDir folder;
    pid_t pid = -1;
};

class HeadlessHostSignal : public testing::TestWithParam<int> {};

TEST_P(HeadlessHostSignal, ServesFromCurrentIniAndEndsCleanly) {
    HeadlessHost host;
    const std::uint16_t port = FreePort();
    const std::string settings = "[WWW]\r\nPort=" + std::to_string(port) +
                                 "\r\n[QV]\r\nResolveHostname=no\r\nMinRemake=4000000\r\n";
    host.WriteSettings(settings);
    TempDir::WriteFile(host.folder.File("screen.jpg"), "stale picture");
    ASSERT_TRUE(host.Spawn());
    ASSERT_TRUE(host.WaitUntilServing(port));

    const HttpAnswer page = Get(port, "/");
    EXPECT_EQ(page.Field("Content-Length"), "180");
    EXPECT_EQ(page.body.size(), 180u);
    const std::string startupPicture = TempDir::ReadFile(host.folder.File("data/wait.jpg"));
    EXPECT_EQ(TempDir::ReadFile(host.folder.File("screen.jpg")), startupPicture);
    EXPECT_EQ(Get(port, "/screen").body, startupPicture);

    ASSERT_EQ(kill(host.pid, GetParam()), 0);
    EXPECT_EQ(host.WaitForExit(std::chrono::seconds(10)), 0);
    EXPECT_EQ(TempDir::ReadFile(host.folder.File("current.ini")), settings);
    EXPECT_NE(TempDir::ReadFile(host.folder.File("log.txt")).find(" /screen 200 "), std::string::npos);
    EXPECT_EQ(TempDir::ReadFile(host.folder.File("stderr.txt")), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, HeadlessHostSignal, testing::Values(SIGTERM, SIGINT));

TEST(HeadlessHostStart, RefusesAPortInUseWithOneLine) {
    HeadlessHost host;
    PortHolder taken;
    host.WriteSettings("[WWW]\nPort=" + std::to_string(taken.Port()) + "\n");
    ASSERT_TRUE(host.Spawn());
    const int status = host.WaitForExit(std::chrono::seconds(10));
    EXPECT_GT(status, 0);
    const std::string error = TempDir::ReadFile(host.folder.File("stderr.txt"));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), error.size() - 1) << error;
}

}  // namespace
