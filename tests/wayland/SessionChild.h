#pragma once

// Helpers for the tests that run inside a private compositor session (see run-in-session.sh): a child
// program with its standard output in a file, the click probe, and a 24-bit picture to capture into.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Drawing.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackPort.h"
#include "tests/support/TempDir.h"

extern char** environ;

namespace session_test {

constexpr auto kWait = std::chrono::seconds(10);

// Runs a program with its standard output going to a file; killed when the object goes.
class Child {
  public:
    Child(const std::vector<std::string>& arguments, const std::string& outputPath) : output(outputPath) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Running() const { return pid > 0; }
    // Whether the output holds text within the wait.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds wait = kWait) const {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < deadline) {
            if (Output().find(text) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return Output().find(text) != std::string::npos;
    }
    std::string Output() const { return TempDir::ReadFile(output); }

  private:
    std::string output;
    pid_t pid = -1;
};

// The click probe (ClickProbeClient.cpp) asking for appId, with its output in the folder.
inline std::unique_ptr<Child> StartProbe(const TempDir& folder, const std::string& appId,
                                         const std::string& placement = "") {
    const char* probe = std::getenv("QV_CLICK_PROBE");
    std::vector<std::string> arguments{probe != nullptr ? probe : "qv_click_probe", appId};
    if (!placement.empty()) {
        arguments.push_back(placement);
    }
    return std::make_unique<Child>(arguments, folder.File(appId + ".out"));
}

// The headless host as a user runs it: its own folder, current.ini with the given target section, and the
// screen of the session it was started in. serving says whether it answered on port within the wait.
struct HeadlessHost {
    HeadlessHost(const TempDir& folder, const std::string& target)
        : port(static_cast<std::uint16_t>(FreePort())) {
        const char* binDir = std::getenv("QV_BIN_DIR");
        if (binDir == nullptr) {
            return;
        }
        std::filesystem::create_directories(folder.File("data"));
        std::filesystem::copy_file(std::filesystem::path(binDir) / "qvserver-headless",
                                   folder.File("qvserver-headless"));
        std::filesystem::copy_file(std::filesystem::path(binDir) / "data/wait.jpg",
                                   folder.File("data/wait.jpg"));
        TempDir::WriteFile(folder.File("current.ini"),
                           "[WWW]\nPort=" + std::to_string(port) +
                               "\n[QV]\nMinRemake=0\nEnableClick=yes\nDrawTime=no\nResolveHostname=no\n"
                               "[TARGET]\n" +
                               target + "\n");
        process = std::make_unique<Child>(std::vector<std::string>{folder.File("qvserver-headless")},
                                          folder.File("host.out"));
        const auto deadline = std::chrono::steady_clock::now() + kWait;
        while (!serving && process->Running() && std::chrono::steady_clock::now() < deadline) {
            serving = Get(port, "/").status == 200;
            if (!serving) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    std::uint16_t port;
    std::unique_ptr<Child> process;
    bool serving = false;
};

// A 24-bit picture to capture into.
struct Picture {
    Picture(int pictureWidth, int pictureHeight)
        : width(pictureWidth),
          height(pictureHeight),
          stride((pictureWidth * 3 + 3) / 4 * 4),
          bits(static_cast<std::size_t>(stride) * pictureHeight, 0x55),
          surface(platform::DrawingSurface::Create(bits.data(), width, height, stride)) {}
    // Blue, green, red of the pixel at (x, y), y counted from the top.
    std::vector<int> At(int x, int y) const {
        const std::uint8_t* pixel = bits.data() + static_cast<std::size_t>(height - 1 - y) * stride + 3 * x;
        return {pixel[0], pixel[1], pixel[2]};
    }
    int width, height, stride;
    std::vector<std::uint8_t> bits;
    std::unique_ptr<platform::DrawingSurface> surface;
};

}  // namespace session_test
