// Runs inside a private headless sway (see run-in-session.sh): output HEADLESS-1 at 1280 x 720 with a plain
// red background, as the session's own user. The tests run in order and share the session.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Drawing.h"
#include "platform/Screen.h"
#include "platform/ScreenBackend.h"
#include "platform/linux/wayland/SwayIpc.h"
#include "platform/linux/wayland/SwayTree.h"
#include "service/RemoteClick.h"
#include "tests/support/JpegDecode.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/TempDir.h"
#include "tests/wayland/SessionChild.h"

namespace {

constexpr int kOutputWidth = 1280;
constexpr int kOutputHeight = 720;
constexpr int kMarkerSide = 20;  // the probe's green square
using session_test::kWait;
using session_test::Picture;
using session_test::StartProbe;

// Waits until sway reports the window of appId focused.
bool WaitForFocus(const std::string& appId) {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const auto tree = platform::linux_wayland::AskSwayForTree()) {
            const auto window = platform::linux_wayland::FindFocusedWindow(*tree);
            if (window && window->className == appId) {
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

const std::vector<int> kRed{0, 0, 255};
const std::vector<int> kBlue{255, 0, 0};
const std::vector<int> kGreen{0, 255, 0};

TEST(SwaySession, CapturesTheBackgroundInOutputPixelsAndHasNoWindowYet) {
    EXPECT_EQ(platform::ScreenCaptureProblem(), "");
    const std::unique_ptr<platform::Desktop> desktop = platform::Desktop::Open();
    ASSERT_NE(desktop, nullptr);
    ASSERT_EQ(desktop->DesktopRect(), (Rect{0, 0, kOutputWidth, kOutputHeight}));
    Picture picture(kOutputWidth, kOutputHeight);
    ASSERT_TRUE(desktop->CopyPixels(Rect{0, 0, kOutputWidth, kOutputHeight}, *picture.surface));
    int notRed = 0;
    for (int y = 0; y < kOutputHeight; ++y) {
        for (int x = 0; x < kOutputWidth; ++x) {
            notRed += picture.At(x, y) != kRed ? 1 : 0;
        }
    }
    EXPECT_EQ(notRed, 0);
    // Only the empty workspace has the focus.
    EXPECT_FALSE(desktop->ForegroundWindow().has_value());
}

// The host as a user runs it: its folder, current.ini, and the screen of the session it was started in.
TEST(SwaySession, HeadlessHostServesTheScreenAndClicksWhereThePictureWasClicked) {
    TempDir folder;
    const session_test::HeadlessHost host(folder, "Desktop=yes");
    ASSERT_TRUE(host.serving);
    const int port = host.port;

    const HttpAnswer screen = Get(port, "/screen");
    ASSERT_EQ(screen.status, 200);
    DecodedJpeg picture;
    ASSERT_TRUE(DecodeJpeg(screen.body, picture));
    EXPECT_EQ(picture.width, kOutputWidth);
    EXPECT_EQ(picture.height, kOutputHeight);
    for (const auto& [x, y] : {std::pair{5, 5}, std::pair{640, 360}, std::pair{1270, 710}}) {
        const std::uint8_t* rgb = picture.At(x, y);
        EXPECT_GE(rgb[0], 240) << x << "," << y;
        EXPECT_LE(rgb[1], 15) << x << "," << y;
        EXPECT_LE(rgb[2], 15) << x << "," << y;
    }

    const auto probe = StartProbe(folder, "qv-probe-host");
    ASSERT_TRUE(WaitForFocus("qv-probe-host"));
    ASSERT_TRUE(probe->WaitForOutput("shown 1280x720"));
    EXPECT_EQ(Get(port, "/click?300,200").status, 200);
    EXPECT_TRUE(probe->WaitForOutput("press 300 200\n")) << probe->Output();
}

// Two windows side by side: the newer one, on the right half, has the focus.
TEST(SwaySession, WindowModeCapturesAndClicksTheFocusedWindow) {
    TempDir folder;
    const auto left = StartProbe(folder, "qv-probe-left");
    ASSERT_TRUE(WaitForFocus("qv-probe-left"));
    const auto right = StartProbe(folder, "qv-probe-right");
    ASSERT_TRUE(WaitForFocus("qv-probe-right"));
    ASSERT_TRUE(right->WaitForOutput("shown 640x720"));
    ASSERT_TRUE(left->WaitForOutput("shown 640x720"));

    const std::unique_ptr<platform::Desktop> desktop = platform::Desktop::Open();
    ASSERT_NE(desktop, nullptr);
    const std::optional<platform::WindowId> window = desktop->ForegroundWindow();
    ASSERT_TRUE(window.has_value());
    char className[200];
    EXPECT_TRUE(desktop->ClassName(*window, className, sizeof className));
    EXPECT_STREQ(className, "qv-probe-right");
    EXPECT_EQ(desktop->ClientRect(*window), (Rect{0, 0, 640, 720}));
    EXPECT_EQ(desktop->ClientToScreen(*window, Point{0, 0}), (Point{640, 0}));

    // Sway draws a new buffer a moment after the configure: wait until the window shows it.
    Picture picture(640, 720);
    bool drawn = false;
    for (int attempt = 0; attempt < 100 && !drawn; ++attempt) {
        ASSERT_TRUE(desktop->CopyPixels(Rect{640, 0, 1280, 720}, *picture.surface));
        drawn = picture.At(kMarkerSide, 0) == kBlue;
        if (!drawn) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ASSERT_TRUE(drawn);
    EXPECT_EQ(picture.At(0, 0), kGreen);
    EXPECT_EQ(picture.At(kMarkerSide - 1, kMarkerSide - 1), kGreen);
    EXPECT_EQ(picture.At(kMarkerSide, kMarkerSide), kBlue);
    EXPECT_EQ(picture.At(639, 719), kBlue);

    RemoteClick click;
    click.Perform("/click?10,20", false, false);
    EXPECT_TRUE(right->WaitForOutput("press 10 20\n")) << right->Output();
    click.Perform("/click?15,25", true, true);
    EXPECT_TRUE(left->WaitForOutput("press 30 50\n")) << left->Output();
}

}  // namespace

namespace {

// Runs in a second session whose output is turned a quarter and scaled by 2: a 1280 x 720 mode shown as
// a 360 x 640 layout. The picture is the upright one in the device's pixels, 720 x 1280.
TEST(TurnedScaledOutput, PictureIsUprightInDevicePixelsAndClicksLandWhereThePictureShows) {
    TempDir folder;
    const auto probe = StartProbe(folder, "qv-probe-turned");
    ASSERT_TRUE(WaitForFocus("qv-probe-turned"));
    ASSERT_TRUE(probe->WaitForOutput("shown 360x640"));

    const std::unique_ptr<platform::Desktop> desktop = platform::Desktop::Open();
    ASSERT_NE(desktop, nullptr);
    ASSERT_EQ(desktop->DesktopRect(), (Rect{0, 0, 720, 1280}));
    const std::optional<platform::WindowId> window = desktop->ForegroundWindow();
    ASSERT_TRUE(window.has_value());
    EXPECT_EQ(desktop->ClientRect(*window), (Rect{0, 0, 720, 1280}));
    EXPECT_EQ(desktop->ClientToScreen(*window, Point{0, 0}), (Point{0, 0}));

    // The probe's 20-pixel square is 40 device pixels wide, in the picture's top-left corner only.
    Picture picture(720, 1280);
    bool drawn = false;
    for (int attempt = 0; attempt < 100 && !drawn; ++attempt) {
        ASSERT_TRUE(desktop->CopyPixels(Rect{0, 0, 720, 1280}, *picture.surface));
        drawn = picture.At(2 * kMarkerSide + 5, 5) == kBlue;
        if (!drawn) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ASSERT_TRUE(drawn);
    EXPECT_EQ(picture.At(5, 5), kGreen);
    EXPECT_EQ(picture.At(2 * kMarkerSide - 3, 2 * kMarkerSide - 3), kGreen);
    EXPECT_EQ(picture.At(5, 2 * kMarkerSide + 5), kBlue);
    EXPECT_EQ(picture.At(714, 5), kBlue);
    EXPECT_EQ(picture.At(5, 1274), kBlue);
    EXPECT_EQ(picture.At(714, 1274), kBlue);

    RemoteClick click;
    click.Perform("/click?100,200", false, true);
    EXPECT_TRUE(probe->WaitForOutput("press 50 100\n")) << probe->Output();
}

}  // namespace
