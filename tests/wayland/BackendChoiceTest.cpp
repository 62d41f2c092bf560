#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <wayland-server-core.h>
#include <wayland-server-protocol.h>

#include "platform/Input.h"
#include "platform/Screen.h"
#include "platform/ScreenBackend.h"
#include "platform/linux/ScreenBackendChoice.h"
#include "tests/support/TempDir.h"

namespace {

using platform::linux_backend::ChooseScreenBackend;
using platform::linux_backend::ScreenBackendKind;

struct ChoiceCase {
    const char* sessionType;
    const char* waylandDisplay;
    const char* x11Display;
    ScreenBackendKind expected;
};

TEST(ScreenBackendChoice, WaylandWhenItNamesANativeSessionElseX11) {
    const ChoiceCase cases[] = {
        {"wayland", "wayland-0", ":0",
         ScreenBackendKind::Wayland},  // XWayland's DISPLAY shows only X clients
        {"", "wayland-1", "", ScreenBackendKind::Wayland},
        {"tty", "wayland-1", "", ScreenBackendKind::Wayland},
        {"x11", "wayland-1", ":0", ScreenBackendKind::X11},  // a nested compositor inside an X session
        {"x11", "", ":0", ScreenBackendKind::X11},
        {"", "", ":5", ScreenBackendKind::X11},
        {"wayland", "", ":0", ScreenBackendKind::X11},
        {"x11", "wayland-1", "", ScreenBackendKind::NoScreen},
        {"", "", "", ScreenBackendKind::NoScreen},
    };
    for (const ChoiceCase& test : cases) {
        EXPECT_EQ(ChooseScreenBackend(test.sessionType, test.waylandDisplay, test.x11Display), test.expected)
            << test.sessionType << " / " << test.waylandDisplay << " / " << test.x11Display;
    }
}

TEST(WaylandCaptureChoice, ScreencopyFirstThenGnomesScreenCastThenThePortal) {
    using platform::linux_backend::ChooseWaylandCapture;
    using platform::linux_backend::WaylandCapture;
    struct Case {
        bool compositor, screencopy, mutter, portal;
        WaylandCapture expected;
    };
    const Case cases[] = {
        {false, false, true, true, WaylandCapture::NoCompositor},  // a stale WAYLAND_DISPLAY says so first
        {true, true, true, true, WaylandCapture::Screencopy},
        {true, true, false, false, WaylandCapture::Screencopy},
        {true, false, true, true, WaylandCapture::MutterScreenCast},  // no prompt, unlike the portal
        {true, false, false, true, WaylandCapture::Portal},
        {true, false, false, false, WaylandCapture::Nothing},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(ChooseWaylandCapture(test.compositor, test.screencopy, test.mutter, test.portal),
                  test.expected)
            << test.compositor << test.screencopy << test.mutter << test.portal;
    }
}

// Points the session at a compositor socket nobody listens on, in a runtime folder of the test's own.
class MissingCompositor : public testing::Test {
  protected:
    void SetUp() override {
        setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
        setenv("WAYLAND_DISPLAY", "wayland-qv-missing", 1);
        unsetenv("XDG_SESSION_TYPE");
        setenv("DISPLAY", ":0", 1);
    }
    TempDir runtime;
};

TEST_F(MissingCompositor, IsReportedInOneClearLineAndNothingOpens) {
    EXPECT_EQ(platform::ScreenCaptureProblem(),
              "WAYLAND_DISPLAY=wayland-qv-missing names no running Wayland compositor");
    EXPECT_EQ(platform::Desktop::Open(), nullptr);
    EXPECT_EQ(platform::PointerInput::Open(), nullptr);
}

TEST_F(MissingCompositor, HeadlessHostRefusesToServeAndSaysWhy) {
    const char* binDir = std::getenv("QV_BIN_DIR");
    ASSERT_NE(binDir, nullptr);
    TempDir folder;
    std::filesystem::create_directories(folder.File("data"));
    std::filesystem::copy_file(std::filesystem::path(binDir) / "qvserver-headless",
                               folder.File("qvserver-headless"));
    std::filesystem::copy_file(std::filesystem::path(binDir) / "data/wait.jpg", folder.File("data/wait.jpg"));
    // Port 1 would need privileges: the host must end before it ever tries.
    TempDir::WriteFile(folder.File("current.ini"), "[WWW]\nPort=1\nAuthenticate=yes\n");
    const std::string command =
        "'" + folder.File("qvserver-headless") + "' 2>'" + folder.File("stderr.txt") + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(TempDir::ReadFile(folder.File("stderr.txt")),
              "qvserver-headless: WAYLAND_DISPLAY=wayland-qv-missing names no running Wayland compositor\n");
}

// A compositor that offers shared memory and nothing else, as one that lacks wlroots' protocols does.
class BareCompositor {
  public:
    BareCompositor() : display(wl_display_create()) {
        wl_display_init_shm(display);
        const char* name = wl_display_add_socket_auto(display);
        socketName = name != nullptr ? name : "";
        loop = std::thread([this] {
            wl_event_loop* events = wl_display_get_event_loop(display);
            while (!stop.load()) {
                wl_event_loop_dispatch(events, 20);
                wl_display_flush_clients(display);
            }
        });
    }
    ~BareCompositor() {
        stop.store(true);
        loop.join();
        // A client whose hang-up the loop had not yet seen would otherwise outlive the display.
        wl_display_destroy_clients(display);
        wl_display_destroy(display);
    }
    std::string socketName;

  private:
    wl_display* display;
    std::atomic<bool> stop{false};
    std::thread loop;
};

TEST_F(MissingCompositor, ACompositorWithoutScreencopyIsNamedAsSuch) {
    const BareCompositor compositor;
    ASSERT_FALSE(compositor.socketName.empty());
    setenv("WAYLAND_DISPLAY", compositor.socketName.c_str(), 1);
    EXPECT_EQ(platform::ScreenCaptureProblem(), "Wayland session without screencopy or ScreenCast portal");
    EXPECT_EQ(platform::Desktop::Open(), nullptr);
    EXPECT_EQ(platform::PointerInput::Open(), nullptr);
}

TEST(NoScreen, IsReportedWhenNeitherDisplayIsSet) {
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("DISPLAY");
    EXPECT_EQ(platform::ScreenCaptureProblem(),
              "no screen to capture: neither WAYLAND_DISPLAY nor DISPLAY is set");
    setenv("XDG_SESSION_TYPE", "x11", 1);
    setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    EXPECT_EQ(platform::ScreenCaptureProblem(),
              "no screen to capture: the session is X11 but DISPLAY is not set");
    unsetenv("XDG_SESSION_TYPE");
    unsetenv("WAYLAND_DISPLAY");
}

}  // namespace
