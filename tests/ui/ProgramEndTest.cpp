#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/TempDir.h"

// The built program, copied into a folder of its own (its working files live beside it) and run on Qt's
// offscreen platform, ends on the signals of a logout, Ctrl-C and kill as if its panel were closed.

namespace {

constexpr auto kPatience = std::chrono::seconds(10);
constexpr auto kPollInterval = std::chrono::milliseconds(20);

class RunningProgram {
  public:
    explicit RunningProgram(const std::string& executable) : pid(fork()) {
        if (pid == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~RunningProgram() {
        if (pid > 0 && !exited) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    // The exit status once the program has ended within kPatience; -1 if it has not.
    int WaitForExit() {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(kPollInterval);
        }
        return -1;
    }
    const pid_t pid;

  private:
    bool exited = false;
};

bool WaitForFile(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!TempDir::Exists(path)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

TEST(ProgramEnd, EndSignalsSaveTheSettingsAndRemoveTheSnapshot) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        TempDir folder;
        const std::string executable = folder.File("qvserver");
        std::filesystem::copy_file(QVSERVER_PATH, executable);
        std::filesystem::create_directory(folder.File("data"));
        TempDir::WriteFile(folder.File("data/wait.jpg"), "wait picture");
        TempDir::WriteFile(folder.File("current.ini"), "[WWW]\nPort=8123\n");

        RunningProgram program(executable);
        ASSERT_GT(program.pid, 0);
        // The panel puts the start-up picture in place when it opens; the handlers are in place by then.
        ASSERT_TRUE(WaitForFile(folder.File("screen.jpg")));
        kill(program.pid, signalNumber);
        EXPECT_EQ(program.WaitForExit(), 0);
        EXPECT_FALSE(TempDir::Exists(folder.File("screen.jpg")));
        const std::string saved = TempDir::ReadFile(folder.File("current.ini"));
        EXPECT_NE(saved.find("Port=8123\n"), std::string::npos) << saved;
        EXPECT_NE(saved.find("Run=no\n"), std::string::npos) << saved;
    }
}

}  // namespace
