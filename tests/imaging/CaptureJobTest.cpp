#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/StatusSink.h"
#include "imaging/CaptureJob.h"
#include "tests/support/JpegDecode.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestWindow.h"

using imaging::CaptureJob;
using imaging::CaptureResult;
using imaging::CaptureSettings;

namespace {

constexpr TestWindow::Colour kRed{255, 0, 0};
constexpr TestWindow::Colour kGreen{0, 255, 0};
constexpr TestWindow::Colour kBlue{0, 0, 255};
constexpr const char* kClass = "QvCaptureTest";

// Notes what the capture thread reports, and how it is scheduled when it does.
class RecordingSink final : public StatusSink {
  public:
    void SetStatusClient(const char*) override {}
    void SetHitCount(std::uint32_t) override {}
    void SetStatusActivity(const char* text) override {
        activity = text;
        policy = sched_getscheduler(0);
        nice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    }

    std::string activity;
    int policy = -1;
    int nice = 0;
};

CaptureSettings WindowSettings(const char* windowClass) {
    CaptureSettings settings;
    settings.targetDesktop = 0;
    settings.windowClass = windowClass;
    settings.quality = 95;
    settings.priority = 2;
    return settings;
}

void ExpectColour(const DecodedJpeg& picture, int x, int y, TestWindow::Colour colour) {
    const std::uint8_t* sample = picture.At(x, y);
    EXPECT_NEAR(sample[0], colour.red, 12) << x << "," << y;
    EXPECT_NEAR(sample[1], colour.green, 12) << x << "," << y;
    EXPECT_NEAR(sample[2], colour.blue, 12) << x << "," << y;
}

class CaptureJobTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(TestWindow::ScreenSize(screenWidth, screenHeight)) << "no display";
        path = folder.File("screen.jpg");
    }

    std::unique_ptr<TestWindow> FocusedWindow(int x, int y, int width, int height,
                                              TestWindow::Colour colour) {
        std::unique_ptr<TestWindow> window = TestWindow::Create(x, y, width, height, colour, kClass);
        if (window) {
            window->Focus();
        }
        return window;
    }

    DecodedJpeg Picture() {
        DecodedJpeg decoded;
        EXPECT_TRUE(DecodeJpeg(TempDir::ReadFile(path), decoded));
        return decoded;
    }

    int screenWidth = 0;
    int screenHeight = 0;
    TempDir folder;
    std::string path;
    RecordingSink sink;
    CaptureJob job{sink};
};

TEST_F(CaptureJobTest, CapturesTheClientAreaOfTheFocusedWindowTopRowFirst) {
    auto window = FocusedWindow(100, 80, 160, 96, kRed);
    ASSERT_TRUE(window);
    window->Fill(0, 48, 160, 48, kBlue);
    window->Fill(80, 0, 80, 48, kGreen);

    EXPECT_EQ(job.RunCaptureJob(WindowSettings(""), path.c_str()), CaptureResult::Captured);
    EXPECT_EQ(job.captureResult, CaptureResult::Captured);
    EXPECT_EQ(sink.activity, "JPEG圧縮中");
    const DecodedJpeg picture = Picture();
    ASSERT_EQ(picture.width, 160);
    ASSERT_EQ(picture.height, 96);
    ExpectColour(picture, 20, 10, kRed);
    ExpectColour(picture, 140, 10, kGreen);
    ExpectColour(picture, 80, 85, kBlue);
}

TEST_F(CaptureJobTest, ClassFilterMatchesExactly) {
    auto window = FocusedWindow(0, 0, 64, 64, kGreen);
    ASSERT_TRUE(window);
    EXPECT_EQ(job.RunCaptureJob(WindowSettings(kClass), path.c_str()), CaptureResult::Captured);
    ExpectColour(Picture(), 32, 32, kGreen);
}

TEST_F(CaptureJobTest, ClassDifferingInLetterCaseLeavesTheFileAlone) {
    auto window = FocusedWindow(0, 0, 64, 64, kGreen);
    ASSERT_TRUE(window);
    TempDir::WriteFile(path, "previous");
    EXPECT_EQ(job.RunCaptureJob(WindowSettings("qvcapturetest"), path.c_str()), CaptureResult::ClassMismatch);
    EXPECT_EQ(job.captureResult, CaptureResult::ClassMismatch);
    EXPECT_EQ(TempDir::ReadFile(path), "previous");
    // The thread has still announced itself.
    EXPECT_EQ(sink.activity, "JPEG圧縮中");
}

TEST_F(CaptureJobTest, DesktopModeIgnoresTheClassFilter) {
    auto window = FocusedWindow(0, 0, 64, 64, kGreen);
    ASSERT_TRUE(window);
    CaptureSettings settings = WindowSettings("NoSuchClass");
    settings.targetDesktop = 1;
    EXPECT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::Captured);
    const DecodedJpeg picture = Picture();
    EXPECT_EQ(picture.width, screenWidth);
    EXPECT_EQ(picture.height, screenHeight);
    ExpectColour(picture, 32, 32, kGreen);
}

TEST_F(CaptureJobTest, PartsOutsideTheScreenComeOutBlack) {
    // Half of the window hangs over the right edge of the screen, a quarter over the bottom.
    auto window = FocusedWindow(screenWidth - 64, screenHeight - 96, 128, 128, kBlue);
    ASSERT_TRUE(window);
    EXPECT_EQ(job.RunCaptureJob(WindowSettings(""), path.c_str()), CaptureResult::Captured);
    const DecodedJpeg picture = Picture();
    ASSERT_EQ(picture.width, 128);
    ASSERT_EQ(picture.height, 128);
    ExpectColour(picture, 20, 20, kBlue);
    ExpectColour(picture, 100, 20, TestWindow::Colour{});
    ExpectColour(picture, 20, 115, TestWindow::Colour{});
}

TEST_F(CaptureJobTest, NoFocusedWindowLeavesTheFileAlone) {
    TestWindow::ClearFocus();
    TempDir::WriteFile(path, "previous");
    EXPECT_EQ(job.RunCaptureJob(WindowSettings(""), path.c_str()), CaptureResult::NothingToCapture);
    EXPECT_EQ(TempDir::ReadFile(path), "previous");
}

// A window manager may still name a window active after it has been minimised (unmapped).
TEST_F(CaptureJobTest, MinimisedActiveWindowLeavesTheFileAlone) {
    auto window = FocusedWindow(0, 0, 64, 64, kGreen);
    ASSERT_TRUE(window);
    Display* display = window->Connection();
    const Atom property = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    const unsigned long value = window->Id();
    XChangeProperty(display, DefaultRootWindow(display), property, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&value), 1);
    XUnmapWindow(display, window->Id());
    XSync(display, False);
    TempDir::WriteFile(path, "previous");
    EXPECT_EQ(job.RunCaptureJob(WindowSettings(""), path.c_str()), CaptureResult::NothingToCapture);
    EXPECT_EQ(TempDir::ReadFile(path), "previous");
    XDeleteProperty(display, DefaultRootWindow(display), property);
    XSync(display, False);
}

TEST_F(CaptureJobTest, HalvingAnOddSizedWindowDropsItsLastColumnAndRow) {
    auto window = FocusedWindow(10, 10, 1025, 769, kGreen);
    ASSERT_TRUE(window);
    CaptureSettings settings = WindowSettings("");
    settings.scaleDown = 1;
    EXPECT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::Captured);
    const DecodedJpeg picture = Picture();
    EXPECT_EQ(picture.width, 512);
    EXPECT_EQ(picture.height, 384);
    ExpectColour(picture, 256, 192, kGreen);
}

TEST_F(CaptureJobTest, PictureTooSmallToHalveLeavesTheFileAlone) {
    auto window = FocusedWindow(10, 10, 200, 1, kGreen);
    ASSERT_TRUE(window);
    TempDir::WriteFile(path, "previous");
    CaptureSettings settings = WindowSettings("");
    settings.scaleDown = 1;
    EXPECT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::NothingToCapture);
    EXPECT_EQ(TempDir::ReadFile(path), "previous");
}

// The rightmost bright column in the top rows of a picture of a blue window with the time stamped on it.
int StampRightEnd(const DecodedJpeg& picture) {
    int right = -1;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const std::uint8_t* sample = picture.At(x, y);
            if (sample[0] > 160 && sample[1] > 160) {
                right = std::max(right, x);
            }
        }
    }
    return right;
}

TEST_F(CaptureJobTest, TimeStampSitsInTheCornerOfThePictureThatIsSent) {
    auto window = FocusedWindow(0, 0, 1024, 200, kBlue);
    ASSERT_TRUE(window);
    CaptureSettings settings = WindowSettings("");
    settings.drawTime = 1;
    settings.quality = 100;

    ASSERT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::Captured);
    const DecodedJpeg full = Picture();
    ASSERT_EQ(full.width, 1024);
    EXPECT_LE(StampRightEnd(full), 1024 - 4);
    EXPECT_GE(StampRightEnd(full), 1024 - 8);

    settings.scaleDown = 1;
    ASSERT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::Captured);
    const DecodedJpeg half = Picture();
    ASSERT_EQ(half.width, 512);
    EXPECT_LE(StampRightEnd(half), 512 - 4);
    EXPECT_GE(StampRightEnd(half), 512 - 8);
}

// The job keeps its bitmaps between captures of the same size: nothing of one picture may show in the next.
TEST_F(CaptureJobTest, NextCaptureOfTheSameSizeShowsNothingOfThePrevious) {
    auto window = FocusedWindow(0, 0, 400, 60, kBlue);
    ASSERT_TRUE(window);
    CaptureSettings settings = WindowSettings("");
    settings.drawTime = 1;
    settings.quality = 100;
    for (const int scaleDown : {0, 1}) {
        settings.scaleDown = scaleDown;
        settings.drawTime = 1;
        ASSERT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::Captured);
        ASSERT_GT(StampRightEnd(Picture()), 0);
        settings.drawTime = 0;
        ASSERT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::Captured);
        EXPECT_EQ(StampRightEnd(Picture()), -1) << "halved: " << scaleDown;
    }
}

TEST_F(CaptureJobTest, IdleLevelRunsTheThreadInTheIdleClass) {
    auto window = FocusedWindow(0, 0, 32, 32, kGreen);
    ASSERT_TRUE(window);
    CaptureSettings settings = WindowSettings("");
    settings.priority = 0;
    ASSERT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::Captured);
    EXPECT_EQ(sink.policy, SCHED_IDLE);
}

TEST_F(CaptureJobTest, UnknownLevelLeavesTheThreadAsCreated) {
    auto window = FocusedWindow(0, 0, 32, 32, kGreen);
    ASSERT_TRUE(window);
    CaptureSettings settings = WindowSettings("");
    settings.priority = 7;
    ASSERT_EQ(job.RunCaptureJob(settings, path.c_str()), CaptureResult::Captured);
    EXPECT_EQ(sink.policy, sched_getscheduler(0));
    EXPECT_EQ(sink.nice, getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))));
}

}  // namespace
