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

    // Starts the host on the test's X display (never a Wayland one), its standard output and error going
    // to files.
    bool Spawn(const std::vector<std::string>& options = {}) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string outputPath = folder.File("stdout.txt");
        const std::string errorPath = folder.File("stderr.txt");
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> environment;
        for (char** variable = environ; *variable != nullptr; ++variable) {
            if (std::string(*variable).rfind("WAYLAND_DISPLAY=", 0) != 0) {
                environment.push_back(*variable);
            }
        }
        environment.push_back(nullptr);
        const std::string program = folder.File("qvserver-headless");
        std::vector<char*> arguments{const_cast<char*>(program.c_str())};
        for (const std::string& option : options) {
            arguments.push_back(const_cast<char*>(option.c_str()));
        }
        arguments.push_back(nullptr);
        const int result =
            posix_spawn(&pid, program.c_str(), &actions, nullptr, arguments.data(), environment.data());
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

    bool WaitUntilServing(std::uint16_t port, int status = 200) {
        for (int attempt = 0; attempt < 500; ++attempt) {
            if (Get(port, "/").status == status) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    std::string Output() const { return TempDir::ReadFile(folder.File("stdout.txt")); }
    std::string Errors() const { return TempDir::ReadFile(folder.File("stderr.txt")); }

    TempDir folder;
    pid_t pid = -1;
};

bool IsOneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == text.size() - 1;
}

class HeadlessHostSignal : public testing::TestWithParam<int> {};

TEST_P(HeadlessHostSignal, ServesFromCurrentIniAndEndsCleanly) {
    HeadlessHost host;
    const std::uint16_t port = FreePort();
    const std::string settings = "[WWW]\r\nPort=" + std::to_string(port) +
                                 "\r\n[QV]\r\nResolveHostname=no\r\nMinRemake=4000000\r\nEnableClick=no\r\n";
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
    const std::string output = host.Output();
    EXPECT_NE(output.find("serving http://127.0.0.1:" + std::to_string(port) + "/\n"), std::string::npos)
        << output;
    EXPECT_NE(output.find("settings " + host.folder.File("current.ini") + "\n"), std::string::npos) << output;
    EXPECT_NE(output.find("log " + host.folder.File("log.txt") + "\n"), std::string::npos) << output;
}

// SIGHUP comes when the terminal closes: the host ends as cleanly as on the other two.
INSTANTIATE_TEST_SUITE_P(Signals, HeadlessHostSignal, testing::Values(SIGTERM, SIGINT, SIGHUP));

TEST(HeadlessHostStart, RefusesAPortInUseWithOneLine) {
    HeadlessHost host;
    PortHolder taken;
    host.WriteSettings("[WWW]\nPort=" + std::to_string(taken.Port()) + "\nAuthenticate=yes\n");
    ASSERT_TRUE(host.Spawn());
    const int status = host.WaitForExit(std::chrono::seconds(10));
    EXPECT_EQ(status, 1);
    const std::string error = host.Errors();
    EXPECT_TRUE(IsOneLine(error)) << error;
    EXPECT_NE(error.find(std::to_string(taken.Port())), std::string::npos) << error;
}

// A value the host cannot honour stops it before it serves anything: exit 2 and one line that names the
// key, the value and what would be accepted.
TEST(HeadlessHostStart, RefusesSettingsItCannotHonour) {
    HeadlessHost host;
    host.WriteSettings("[WWW]\nPort=70000\n");
    ASSERT_TRUE(host.Spawn());
    EXPECT_EQ(host.WaitForExit(std::chrono::seconds(10)), 2);
    const std::string error = host.Errors();
    EXPECT_TRUE(IsOneLine(error)) << error;
    EXPECT_NE(error.find("[WWW] Port=70000 is not accepted: a whole number from 1 to 65535"),
              std::string::npos)
        << error;
    EXPECT_EQ(host.Output(), "");
    EXPECT_FALSE(TempDir::Exists(host.folder.File("screen.jpg")));
}

// A file saved with a byte-order mark and bare CR line ends keeps its first section: authentication stays
// on. The settings may come from any file named on the command line.
TEST(HeadlessHostStart, ReadsTheFileNamedByConfigWithAByteOrderMark) {
    HeadlessHost host;
    const std::uint16_t port = static_cast<std::uint16_t>(FreePort());
    const std::string settingsPath = host.folder.File("elsewhere.ini");
    TempDir::WriteFile(settingsPath, "\xEF\xBB\xBF[WWW]\rPort=" + std::to_string(port) +
                                         "\rAuthenticate=yes\rUser=u\rPass=p\r[QV]\rResolveHostname=no\r");
    ASSERT_TRUE(host.Spawn({"--config", settingsPath}));
    ASSERT_TRUE(host.WaitUntilServing(port, 401));
    EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\nAuthorization: Basic dTpw\r\n\r\n").status, 200);
    ASSERT_EQ(kill(host.pid, SIGTERM), 0);
    EXPECT_EQ(host.WaitForExit(std::chrono::seconds(10)), 0);
    EXPECT_EQ(host.Errors(), "");
    EXPECT_NE(host.Output().find("settings " + settingsPath + "\n"), std::string::npos);
}

// In window mode with no window focused (the bare test display has no window manager) nothing can be
// captured: the host says so once, not on every request, and still serves the start-up picture.
TEST(HeadlessHostStart, SaysOnceThatTheScreenCannotBeCaptured) {
    HeadlessHost host;
    const std::uint16_t port = static_cast<std::uint16_t>(FreePort());
    host.WriteSettings("[WWW]\nPort=" + std::to_string(port) +
                       "\nAuthenticate=yes\n[QV]\nMinRemake=0\n"
                       "ResolveHostname=no\n[TARGET]\nDesktop=no\n");
    ASSERT_TRUE(host.Spawn());
    ASSERT_TRUE(host.WaitUntilServing(port, 401));
    const std::string screenRequest = "GET /screen HTTP/1.0\r\nAuthorization: Basic Og==\r\n\r\n";
    const std::string startupPicture = TempDir::ReadFile(host.folder.File("data/wait.jpg"));
    EXPECT_EQ(Exchange(port, screenRequest).body, startupPicture);
    EXPECT_EQ(Exchange(port, screenRequest).body, startupPicture);
    ASSERT_EQ(kill(host.pid, SIGTERM), 0);
    EXPECT_EQ(host.WaitForExit(std::chrono::seconds(10)), 0);
    const std::string error = host.Errors();
    EXPECT_TRUE(IsOneLine(error)) << error;
    EXPECT_NE(error.find("cannot capture the screen"), std::string::npos) << error;
}

TEST(HeadlessHostStart, ExplainsItselfOnRequest) {
    HeadlessHost help;
    ASSERT_TRUE(help.Spawn({"--help"}));
    EXPECT_EQ(help.WaitForExit(std::chrono::seconds(10)), 0);
    const std::string text = help.Output();
    for (const char* part : {"--config FILE", "--version", "Exit status:", "  2  a setting"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part;
    }

    HeadlessHost version;
    ASSERT_TRUE(version.Spawn({"--version"}));
    EXPECT_EQ(version.WaitForExit(std::chrono::seconds(10)), 0);
    EXPECT_EQ(version.Output(), "qvserver-headless 0.2\n");

    HeadlessHost wrong;
    ASSERT_TRUE(wrong.Spawn({"--port", "80"}));
    EXPECT_EQ(wrong.WaitForExit(std::chrono::seconds(10)), 2);
    EXPECT_TRUE(IsOneLine(wrong.Errors())) << wrong.Errors();
}

}  // namespace
