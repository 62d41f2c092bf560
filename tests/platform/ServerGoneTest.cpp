#include <gtest/gtest.h>

#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "common/StatusSink.h"
#include "imaging/CaptureJob.h"
#include "tests/support/TempDir.h"

using imaging::CaptureJob;
using imaging::CaptureResult;

namespace {

// A private Xvfb that this test may end at will, unlike the shared one of the X11 tests.
class OwnServer {
  public:
    explicit OwnServer(const TempDir& folder) : prefix(folder.File("xvfb")) {
        const char* source = std::getenv("QV_SOURCE_DIR");
        script = std::string(source != nullptr ? source : ".") + "/scripts/xvfb.sh";
        started = std::system((script + " start " + prefix + " 320x240").c_str()) == 0;
        std::ifstream displayFile(prefix + ".display");
        std::ifstream pidFile(prefix + ".pid");
        started = started && static_cast<bool>(displayFile >> display) && static_cast<bool>(pidFile >> pid);
    }
    ~OwnServer() { std::system((script + " stop " + prefix).c_str()); }

    void Kill() {
        // SIGTERM: the server leaves no lock file behind, so that Restart can take the same display.
        kill(pid, SIGTERM);
        // Xvfb is not a child of this process, so it cannot be waited for; once it is a zombie or gone, its
        // connections are closed.
        while (Running()) {
            usleep(10000);
        }
    }

    // Starts a new server on the same display and waits until it takes clients.
    bool Restart() {
        const std::string command = "Xvfb " + display + " -screen 0 320x240x24 -noreset -nolisten tcp >" +
                                    prefix + ".log 2>&1 & echo $! > " + prefix + ".pid";
        if (std::system(command.c_str()) != 0) {
            return false;
        }
        std::ifstream pidFile(prefix + ".pid");
        if (!(pidFile >> pid)) {
            return false;
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (Display* connection = XOpenDisplay(display.c_str())) {
                XCloseDisplay(connection);
                return true;
            }
            usleep(100000);
        }
        return false;
    }

    bool Running() const {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string pidField;
        std::string name;
        std::string state;
        return static_cast<bool>(stat >> pidField >> name >> state) && state != "Z" && state != "X";
    }

    std::string prefix;
    std::string script;
    std::string display;
    pid_t pid = 0;
    bool started = false;
};

TEST(CaptureWithoutServer, ServerThatGoesAwayEndsTheCaptureNotTheProcess) {
    TempDir folder;
    OwnServer server(folder);
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

    server.Kill();
    EXPECT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::NothingToCapture);
    // With no server to reconnect to, the next capture fails the same way.
    EXPECT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::NothingToCapture);
    EXPECT_EQ(TempDir::ReadFile(path), picture);

    // A server on the display again: the job connects anew.
    ASSERT_TRUE(server.Restart());
    EXPECT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::Captured);
}

}  // namespace
