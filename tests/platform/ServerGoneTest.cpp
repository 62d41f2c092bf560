#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/StatusSink.h"
#include "imaging/CaptureJob.h"
#include "tests/support/TempDir.h"

using imaging::CaptureJob;
using imaging::CaptureResult;

namespace {

constexpr int kExitWaitMilliseconds = 10000;

// A private Xvfb that this test may end at will, unlike the shared one of the X11 tests.
class OwnServer {
  public:
    OwnServer(const TempDir& folder, const std::string& name) : prefix(folder.File(name)) {
        const char* source = std::getenv("QV_SOURCE_DIR");
        script = std::string(source != nullptr ? source : ".") + "/scripts/xvfb.sh";
        started = std::system((script + " start " + prefix + " 320x240").c_str()) == 0;
        std::ifstream displayFile(prefix + ".display");
        std::ifstream pidFile(prefix + ".pid");
        started = started && static_cast<bool>(displayFile >> display) && static_cast<bool>(pidFile >> pid);
    }
    ~OwnServer() { std::system((script + " stop " + prefix).c_str()); }

    // Ends the server and returns once it is gone, its connections closed; false when it outlived the wait.
    bool Kill() {
        const int exitNotice = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        if (exitNotice < 0 || kill(pid, SIGTERM) != 0) {
            return false;
        }
        pollfd waited{exitNotice, POLLIN, 0};
        const bool gone = poll(&waited, 1, kExitWaitMilliseconds) == 1;
        close(exitNotice);
        if (gone) {
            // The number may soon belong to another process; stop must not signal it.
            std::filesystem::remove(prefix + ".pid");
        }
        return gone;
    }

    std::string prefix;
    std::string script;
    std::string display;
    pid_t pid = 0;
    bool started = false;
};

// A display name that no X server answers while this object lives. X clients on Linux try the display's
// abstract socket first and the socket file second: this holds the abstract name without listening, at a
// number whose socket file does not exist, far above those that servers pick for themselves. A display
// number a server gave up cannot serve for this, because the next server started anywhere (the shared
// test display of a parallel run) may take it.
class DeadDisplay {
  public:
    DeadDisplay() {
        constexpr int kFirstNumber = 40000;
        for (int number = kFirstNumber; number < kFirstNumber + 100 && name.empty(); ++number) {
            const std::string socketPath = "/tmp/.X11-unix/X" + std::to_string(number);
            const int candidate = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path + 1, socketPath.data(), socketPath.size());
            const auto length =
                static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + socketPath.size());
            if (candidate >= 0 && bind(candidate, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                !std::filesystem::exists(socketPath)) {
                descriptor = candidate;
                name = ":" + std::to_string(number);
            } else if (candidate >= 0) {
                close(candidate);
            }
        }
    }
    ~DeadDisplay() {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
    DeadDisplay(const DeadDisplay&) = delete;
    DeadDisplay& operator=(const DeadDisplay&) = delete;

    std::string name;

  private:
    int descriptor = -1;
};

TEST(CaptureWithoutServer, ServerThatGoesAwayEndsTheCaptureNotTheProcess) {
    TempDir folder;
    OwnServer server(folder, "xvfb");
    ASSERT_TRUE(server.started);
    setenv("DISPLAY", server.display.c_str(), 1);

    NullStatusSink status;
    CaptureJob job(status);
    imaging::CaptureSettings settings;
    settings.targetDesktop = 1;
    settings.priority = 2;
    const std::string path = folder.File("screen.jpg");
    ASSERT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::Captured);
    const std::string picture = TempDir::ReadFile(path);

    // From here on the job reconnects to a display that nobody serves.
    const DeadDisplay nobody;
    ASSERT_FALSE(nobody.name.empty());
    setenv("DISPLAY", nobody.name.c_str(), 1);
    ASSERT_TRUE(server.Kill());
    EXPECT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::NothingToCapture);
    // With no server to reconnect to, the next capture fails the same way.
    EXPECT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::NothingToCapture);
    EXPECT_EQ(TempDir::ReadFile(path), picture);

    // A server on the display again: the job connects anew.
    OwnServer another(folder, "xvfb-again");
    ASSERT_TRUE(another.started);
    setenv("DISPLAY", another.display.c_str(), 1);
    EXPECT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::Captured);
}

}  // namespace
