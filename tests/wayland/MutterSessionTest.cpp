// Runs inside a private headless mutter (see scripts/mutter-headless.sh and run-in-session.sh): one
// 1280 x 720 virtual monitor, captured through GNOME's ScreenCast service and clicked through its
// RemoteDesktop service, as the session's own user. The tests run in order and share the session.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Input.h"
#include "platform/Screen.h"
#include "platform/ScreenBackend.h"
#include "service/RemoteClick.h"
#include "tests/support/JpegDecode.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/TempDir.h"
#include "tests/wayland/SessionChild.h"

namespace {

using session_test::Picture;
using session_test::StartProbe;

constexpr int kMonitorWidth = 1280;
constexpr int kMonitorHeight = 720;
constexpr int kMarkerSide = 20;  // the probe's green square
// How long a click may take to reach a window that must not get it.
constexpr std::chrono::milliseconds kNoClickWait{1500};

const std::vector<int> kBlue{255, 0, 0};
const std::vector<int> kGreen{0, 255, 0};

// Mutter's own background, without a shell, is a dark blue gradient: blue leads in every pixel, which
// also pins the stream's byte order.
TEST(MutterSession, CapturesTheMonitorsDarkBlueBackgroundAndHasNoForegroundWindow) {
    EXPECT_EQ(platform::ScreenCaptureProblem(), "");
    const std::unique_ptr<platform::Desktop> desktop = platform::Desktop::Open();
    ASSERT_NE(desktop, nullptr);
    ASSERT_EQ(desktop->DesktopRect(), (Rect{0, 0, kMonitorWidth, kMonitorHeight}));
    Picture picture(kMonitorWidth, kMonitorHeight);
    ASSERT_TRUE(desktop->CopyPixels(Rect{0, 0, kMonitorWidth, kMonitorHeight}, *picture.surface));
    int notDarkBlue = 0;
    for (int y = 0; y < kMonitorHeight; ++y) {
        for (int x = 0; x < kMonitorWidth; ++x) {
            const std::vector<int> pixel = picture.At(x, y);
            notDarkBlue += pixel[0] > pixel[1] && pixel[1] > pixel[2] && pixel[0] < 160 ? 0 : 1;
        }
    }
    EXPECT_EQ(notDarkBlue, 0);
    const std::vector<int> centre = picture.At(kMonitorWidth / 2, kMonitorHeight / 2);
    EXPECT_GT(centre[0], picture.At(0, 0)[0]) << "the gradient is lightest in the middle";
    EXPECT_FALSE(desktop->ForegroundWindow().has_value());
    char className[16];
    EXPECT_FALSE(desktop->ClassName(1, className, sizeof className));

    // A part reaching past the monitor comes out black there.
    Picture edge(40, 40);
    ASSERT_TRUE(desktop->CopyPixels(
        Rect{kMonitorWidth - 20, kMonitorHeight - 20, kMonitorWidth + 20, kMonitorHeight + 20},
        *edge.surface));
    EXPECT_EQ(edge.At(30, 30), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(edge.At(10, 10), picture.At(kMonitorWidth - 10, kMonitorHeight - 10));
}

// A window covering the monitor shows in the host's picture, and a click on the picture reaches it there.
TEST(MutterSession, HeadlessHostServesTheScreenAndClicksWhereThePictureWasClicked) {
    TempDir folder;
    const session_test::HeadlessHost host(folder, "Desktop=yes");
    ASSERT_TRUE(host.serving);
    DecodedJpeg picture;
    const HttpAnswer first = Get(host.port, "/screen");
    ASSERT_EQ(first.status, 200);
    ASSERT_TRUE(DecodeJpeg(first.body, picture));
    EXPECT_EQ(picture.width, kMonitorWidth);
    EXPECT_EQ(picture.height, kMonitorHeight);

    const auto probe = StartProbe(folder, "qv-probe-mutter", "fullscreen");
    ASSERT_TRUE(probe->WaitForOutput("shown 1280x720")) << probe->Output();
    // The stream brings the window a frame or two later; a JPEG's colours are near, not exact.
    const auto near = [](const std::uint8_t* rgb, int red, int green, int blue) {
        return std::abs(rgb[0] - red) < 24 && std::abs(rgb[1] - green) < 24 && std::abs(rgb[2] - blue) < 24;
    };
    bool shown = false;
    for (int attempt = 0; attempt < 100 && !shown; ++attempt) {
        const HttpAnswer screen = Get(host.port, "/screen");
        // The window may first show at its first size, before it covers the monitor.
        shown = screen.status == 200 && DecodeJpeg(screen.body, picture) &&
                near(picture.At(kMarkerSide / 2, kMarkerSide / 2), 0, 255, 0) &&
                near(picture.At(kMonitorWidth - 5, kMonitorHeight - 5), 0, 0, 255);
        if (!shown) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ASSERT_TRUE(shown);
    EXPECT_TRUE(near(picture.At(kMonitorWidth / 2, kMonitorHeight / 2), 0, 0, 255));

    // The session's pointer reaches the window a moment after the session started.
    ASSERT_TRUE(probe->WaitForOutput("pointer ready")) << probe->Output();
    EXPECT_EQ(Get(host.port, "/click?300,200").status, 200);
    EXPECT_TRUE(probe->WaitForOutput("press 300 200\n")) << probe->Output();
    EXPECT_EQ(Get(host.port, "/click?1279,719").status, 200);
    EXPECT_TRUE(probe->WaitForOutput("press 1279 719\n")) << probe->Output();
}

// Mutter does not say which window is in front: window mode has nothing to capture and clicks nothing,
// even with a window on the screen.
TEST(MutterSession, WindowModeHasNothingToCaptureAndDoesNotClick) {
    TempDir folder;
    const auto probe = StartProbe(folder, "qv-probe-window", "fullscreen");
    ASSERT_TRUE(probe->WaitForOutput("shown 1280x720")) << probe->Output();
    const std::unique_ptr<platform::Desktop> desktop = platform::Desktop::Open();
    ASSERT_NE(desktop, nullptr);
    // Mutter maps the window a moment after it drew itself: wait until the picture shows it.
    Picture picture(kMonitorWidth, kMonitorHeight);
    bool shown = false;
    const auto deadline = std::chrono::steady_clock::now() + session_test::kWait;
    while (!shown && std::chrono::steady_clock::now() < deadline) {
        shown = desktop->CopyPixels(Rect{0, 0, kMonitorWidth, kMonitorHeight}, *picture.surface) &&
                picture.At(kMarkerSide / 2, kMarkerSide / 2) == kGreen &&
                picture.At(kMonitorWidth - 1, kMonitorHeight - 1) == kBlue;
        if (!shown) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ASSERT_TRUE(shown);
    EXPECT_EQ(picture.At(kMarkerSide, kMarkerSide), kBlue);
    EXPECT_FALSE(desktop->ForegroundWindow().has_value());

    ASSERT_TRUE(probe->WaitForOutput("pointer ready")) << probe->Output();
    RemoteClick click;
    click.Perform("/click?10,20", false, false);
    EXPECT_FALSE(probe->WaitForOutput("press", kNoClickWait)) << probe->Output();
    // The same click on the desktop does arrive, so the silence above was the window mode's.
    click.Perform("/click?10,20", false, true);
    EXPECT_TRUE(probe->WaitForOutput("press 10 20\n")) << probe->Output();
}

}  // namespace

namespace {

// Last, since it ends the session's PipeWire (whose PID mutter-headless.sh wrote): captures must then
// fail, not serve the last picture for ever, and the reason must be one line.
TEST(MutterSessionWithoutPipeWire, CaptureFailsAndTheProblemSaysSo) {
    const std::unique_ptr<platform::Desktop> desktop = platform::Desktop::Open();
    ASSERT_NE(desktop, nullptr);
    Picture picture(kMonitorWidth, kMonitorHeight);
    ASSERT_TRUE(desktop->CopyPixels(Rect{0, 0, kMonitorWidth, kMonitorHeight}, *picture.surface));

    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    ASSERT_NE(runtime, nullptr);
    const pid_t pipewire = std::atoi(TempDir::ReadFile(std::string(runtime) + "/pipewire.pid").c_str());
    ASSERT_GT(pipewire, 0);
    ASSERT_EQ(kill(pipewire, SIGTERM), 0);

    bool failed = false;
    const auto deadline = std::chrono::steady_clock::now() + session_test::kWait;
    while (!failed && std::chrono::steady_clock::now() < deadline) {
        failed = !desktop->CopyPixels(Rect{0, 0, kMonitorWidth, kMonitorHeight}, *picture.surface);
        if (!failed) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    EXPECT_TRUE(failed);
    const std::string problem = platform::ScreenCaptureProblem();
    EXPECT_NE(problem.find("GNOME"), std::string::npos) << problem;
    EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;
}

}  // namespace
