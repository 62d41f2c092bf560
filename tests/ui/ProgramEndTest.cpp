#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/TempDir.h"

// The built program, copied into a folder of its own (its working files live beside it) and run on Qt's
// offscreen platform, ends on the signals of a logout, Ctrl-C and kill as if its panel were closed.

namespace {

// Whether done() holds within ten seconds.
bool Eventually(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
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

        const pid_t pid = fork();
        if (pid == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            execl(executable.c_str(), executable.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        // The panel puts the start-up picture in place when it opens; the handlers are in place by then.
        EXPECT_TRUE(Eventually([&] { return TempDir::Exists(folder.File("screen.jpg")); }));
        kill(pid, signalNumber);
        int status = -1;
        if (!Eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; })) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the program did not end";
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_FALSE(TempDir::Exists(folder.File("screen.jpg")));
        const std::string saved = TempDir::ReadFile(folder.File("current.ini"));
        EXPECT_NE(saved.find("Port=8123\n"), std::string::npos) << saved;
        EXPECT_NE(saved.find("Run=no\n"), std::string::npos) << saved;
    }
}

}  // namespace
