#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/support/ServiceFixture.h"

namespace {

using namespace std::string_literals;

constexpr char kDecoy[] = "DECOY-CONTENTS-MUST-NEVER-BE-SENT";

// Names of the files the kernel reports as opened inside the watched folders ("name" or "sub/name"), through
// inotify; an open is queued by the time the opening call has returned.
class OpenWatcher {
  public:
    OpenWatcher(const std::string& root, const std::vector<std::string>& subfolders)
        : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        Watch(root, "");
        for (const std::string& subfolder : subfolders) {
            Watch(root + "/" + subfolder, subfolder + "/");
        }
    }
    ~OpenWatcher() { close(fd); }
    OpenWatcher(const OpenWatcher&) = delete;
    OpenWatcher& operator=(const OpenWatcher&) = delete;

    bool Ready() const { return fd >= 0 && watches.size() == prefixes.size() && !watches.empty(); }

    std::set<std::string> Opened() {
        std::set<std::string> names;
        alignas(inotify_event) char buffer[16384];
        ssize_t count;
        while ((count = read(fd, buffer, sizeof buffer)) > 0) {
            for (char* at = buffer; at < buffer + count;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                if (event->len > 0 && (event->mask & IN_ISDIR) == 0) {
                    for (std::size_t i = 0; i < watches.size(); ++i) {
                        if (watches[i] == event->wd) {
                            names.insert(prefixes[i] + event->name);
                        }
                    }
                }
                at += sizeof(inotify_event) + event->len;
            }
        }
        return names;
    }

  private:
    void Watch(const std::string& folder, const std::string& prefix) {
        prefixes.push_back(prefix);
        const int watch = inotify_add_watch(fd, folder.c_str(), IN_OPEN);
        if (watch >= 0) {
            watches.push_back(watch);
        }
    }

    int fd;
    std::vector<int> watches;
    std::vector<std::string> prefixes;
};

class PathConfinement : public testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(harness.folder.File("data"));
        std::filesystem::create_directories(harness.folder.File("screen"));
        TempDir::WriteFile(harness.folder.File("screen.jpg"), "\xff\xd8 snapshot \xff\xd9");
        TempDir::WriteFile(harness.folder.File("data/top.html"), "<html>template</html>");
        // Files a request must never reach, some named like the fixed routes.
        for (const char* decoy :
             {"secret.txt", "current.ini", "screen/index.html", "data/secret.html", "x", "etc/passwd"}) {
            std::filesystem::create_directories(
                std::filesystem::path(harness.folder.File(decoy)).parent_path());
            TempDir::WriteFile(harness.folder.File(decoy), kDecoy);
        }
        ASSERT_TRUE(harness.Start());
    }

    ServiceHarness<> harness;
};

TEST_F(PathConfinement, NoRequestPathOpensAFileOutsideTheFixedNames) {
    OpenWatcher watcher(harness.folder.Path(), {"data", "screen", "etc"});
    ASSERT_TRUE(watcher.Ready());
    const std::string absolute = harness.folder.File("secret.txt");
    struct PathCase {
        std::string request;
        int status;
    };
    const auto get = [](const std::string& path) { return "GET " + path + " HTTP/1.1\r\n\r\n"; };
    const std::vector<PathCase> cases = {
        {get("/../../etc/passwd"), 404},
        {get("/../x"), 404},
        {get("/screen/../x"), 404},
        {get("/screen/../secret.txt"), 404},
        {get("/screen/index.html"), 404},
        {get("/screen/.."), 404},
        {get("//screen"), 404},
        {get("/./screen"), 404},
        {get("/screen/."), 404},
        {get("/secret.txt"), 404},
        {get("/current.ini"), 404},
        {get("/log.txt"), 404},
        {get("/screen.jpg"), 404},
        {get("/data/top.html"), 404},
        {get("/data/secret.html"), 404},
        {get("/%2e%2e/secret.txt"), 404},
        {get("/%2E%2E%2Fsecret.txt"), 404},
        {get("/..%2fsecret.txt"), 404},
        {get("/screen%00"), 404},
        {get("/screen%2f"), 404},
        {get("\\..\\secret.txt"), 404},
        {get("secret.txt"), 404},
        {get("x"), 404},
        {get(absolute), 404},
        {get(absolute.substr(1)), 404},
        {get("file://" + absolute), 404},
        {get("http://127.0.0.1/screen"), 404},
        {get("~/secret.txt"), 404},
        {get("/SCREEN"), 404},
        {get("/screen;x"), 404},
        {get("/screen#x"), 404},
        {"GET /screen\0/../secret.txt HTTP/1.1\r\n\r\n"s, 400},
        {"GET /secret.txt\0 HTTP/1.1\r\n\r\n"s, 400},
        {"GET \0/secret.txt HTTP/1.1\r\n\r\n"s, 400},
    };
    // The log stays open between lines, so it is opened for the first answer only.
    const auto openedBesidesLog = [&watcher] {
        std::set<std::string> opened = watcher.Opened();
        opened.erase("log.txt");
        return opened;
    };
    // Read after each answer: the kernel merges identical events that have not been read yet.
    for (const PathCase& testCase : cases) {
        const HttpAnswer answer = Exchange(harness.port, testCase.request);
        EXPECT_EQ(answer.status, testCase.status) << testCase.request;
        EXPECT_EQ(answer.raw.find(kDecoy), std::string::npos) << testCase.request;
        EXPECT_EQ(openedBesidesLog(), std::set<std::string>{}) << testCase.request;
    }

    // The watcher does see the fixed names when they are asked for.
    EXPECT_EQ(Exchange(harness.port, get("/")).body, "<html>template</html>");
    EXPECT_EQ(openedBesidesLog(), (std::set<std::string>{"data/top.html"}));
    EXPECT_EQ(Exchange(harness.port, get("/screen")).body, "\xff\xd8 snapshot \xff\xd9");
    EXPECT_EQ(openedBesidesLog(), (std::set<std::string>{"screen.jpg"}));
}

}  // namespace
