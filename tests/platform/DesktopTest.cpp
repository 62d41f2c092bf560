#include <gtest/gtest.h>

#include <X11/Xatom.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "imaging/DibImage.h"
#include "platform/Drawing.h"
#include "platform/Screen.h"
#include "tests/support/TestWindow.h"

using imaging::DibImage;
using platform::Desktop;

namespace {

constexpr const char* kClass = "QvDesktopTest";

class DesktopTest : public testing::Test {
  protected:
    void SetUp() override {
        desktop = Desktop::Open();
        ASSERT_TRUE(desktop) << "no display";
        ASSERT_TRUE(TestWindow::ScreenSize(screenWidth, screenHeight));
    }

    std::unique_ptr<Desktop> desktop;
    int screenWidth = 0;
    int screenHeight = 0;
};

const std::uint8_t* PixelAt(DibImage& image, int x, int y) {
    return image.GetRows()[y] + 3 * x;
}

TEST_F(DesktopTest, DesktopIsTheWholeScreen) {
    EXPECT_EQ(desktop->DesktopRect(), (Rect{0, 0, screenWidth, screenHeight}));
}

TEST_F(DesktopTest, ForegroundIsTheTopLevelWindowAboveTheFocus) {
    auto window = TestWindow::Create(30, 40, 50, 60, TestWindow::Colour{}, kClass);
    ASSERT_TRUE(window);
    const Window child = window->CreateChild(5, 5, 10, 10);
    XSetInputFocus(window->Connection(), child, RevertToParent, CurrentTime);
    XSync(window->Connection(), False);
    EXPECT_EQ(desktop->ForegroundWindow(), window->Id());

    TestWindow::ClearFocus();
    EXPECT_EQ(desktop->ForegroundWindow(), std::nullopt);
}

TEST_F(DesktopTest, WindowManagersActiveWindowComesFirst) {
    auto focused = TestWindow::Create(0, 0, 20, 20, TestWindow::Colour{}, kClass);
    auto active = TestWindow::Create(30, 0, 20, 20, TestWindow::Colour{}, kClass);
    ASSERT_TRUE(focused && active);
    focused->Focus();
    Display* display = active->Connection();
    const Atom property = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    const unsigned long value = active->Id();
    XChangeProperty(display, DefaultRootWindow(display), property, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&value), 1);
    XSync(display, False);
    EXPECT_EQ(desktop->ForegroundWindow(), active->Id());

    // A window manager that has no active window leaves the focus to decide.
    const unsigned long none = None;
    XChangeProperty(display, DefaultRootWindow(display), property, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&none), 1);
    XSync(display, False);
    EXPECT_EQ(desktop->ForegroundWindow(), focused->Id());
    XDeleteProperty(display, DefaultRootWindow(display), property);
    XSync(display, False);
}

TEST_F(DesktopTest, ClassNameIsTheClassPartCutToCapacity) {
    auto window = TestWindow::Create(0, 0, 20, 20, TestWindow::Colour{}, kClass);
    ASSERT_TRUE(window);
    char name[200];
    ASSERT_TRUE(desktop->ClassName(window->Id(), name, sizeof name));
    EXPECT_STREQ(name, kClass);
    char shortName[5];
    ASSERT_TRUE(desktop->ClassName(window->Id(), shortName, sizeof shortName));
    EXPECT_STREQ(shortName, "QvDe");

    auto anonymous = TestWindow::Create(0, 0, 20, 20, TestWindow::Colour{}, "");
    ASSERT_TRUE(anonymous);
    EXPECT_FALSE(desktop->ClassName(anonymous->Id(), name, sizeof name));
    EXPECT_STREQ(name, "");
}

TEST_F(DesktopTest, ClientRectangleMapsToTheScreen) {
    auto window = TestWindow::Create(30, 40, 50, 60, TestWindow::Colour{}, kClass);
    ASSERT_TRUE(window);
    EXPECT_EQ(desktop->ClientRect(window->Id()), (Rect{0, 0, 50, 60}));
    EXPECT_EQ(desktop->ClientToScreen(window->Id(), Point{0, 0}), (Point{30, 40}));
    EXPECT_EQ(desktop->ClientToScreen(window->Id(), Point{50, 60}), (Point{80, 100}));
}

TEST_F(DesktopTest, MinimisedWindowHasNoClientArea) {
    auto window = TestWindow::Create(30, 40, 50, 60, TestWindow::Colour{}, kClass);
    ASSERT_TRUE(window);
    XUnmapWindow(window->Connection(), window->Id());
    XSync(window->Connection(), False);
    EXPECT_TRUE(desktop->ClientRect(window->Id()).IsEmpty());
}

TEST_F(DesktopTest, VanishedWindowGivesEmptyAnswersInsteadOfEndingTheProcess) {
    Window gone = None;
    {
        auto window = TestWindow::Create(0, 0, 20, 20, TestWindow::Colour{}, kClass);
        ASSERT_TRUE(window);
        gone = window->Id();
    }
    char name[200] = "x";
    EXPECT_FALSE(desktop->ClassName(gone, name, sizeof name));
    EXPECT_TRUE(desktop->ClientRect(gone).IsEmpty());
    EXPECT_EQ(desktop->DesktopRect(), (Rect{0, 0, screenWidth, screenHeight}));
}

TEST_F(DesktopTest, CopiesExactColoursIntoBottomUpRows) {
    auto window = TestWindow::Create(10, 20, 33, 16, TestWindow::Colour{12, 34, 56}, kClass);
    ASSERT_TRUE(window);
    window->Fill(0, 8, 33, 8, TestWindow::Colour{200, 100, 50});
    DibImage image;
    ASSERT_EQ(image.Create(33, 16, 24), 1);
    ASSERT_TRUE(desktop->CopyPixels(Rect{10, 20, 43, 36}, *image.GetMemoryDC()));
    // The top row of the picture is the last row in memory.
    const std::uint8_t* top = image.bits + 15 * imaging::DibStride(33);
    EXPECT_EQ(top[0], 56);
    EXPECT_EQ(top[1], 34);
    EXPECT_EQ(top[2], 12);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 33; ++x) {
            const std::uint8_t* pixel = PixelAt(image, x, y);
            const std::uint8_t expected[3] = {static_cast<std::uint8_t>(y < 8 ? 56 : 50),
                                              static_cast<std::uint8_t>(y < 8 ? 34 : 100),
                                              static_cast<std::uint8_t>(y < 8 ? 12 : 200)};
            ASSERT_EQ(std::memcmp(pixel, expected, 3), 0) << x << "," << y;
        }
    }
}

TEST_F(DesktopTest, AreaBeyondTheScreenEdgesComesOutBlack) {
    auto window = TestWindow::Create(0, 0, 40, 40, TestWindow::Colour{255, 255, 255}, kClass);
    ASSERT_TRUE(window);
    DibImage image;
    ASSERT_EQ(image.Create(60, 60, 24), 1);
    std::memset(image.bits, 0x77, image.imageSize);
    // 20 pixels left of and above the screen, then the white window.
    ASSERT_TRUE(desktop->CopyPixels(Rect{-20, -20, 40, 40}, *image.GetMemoryDC()));
    EXPECT_EQ(PixelAt(image, 5, 5)[0], 0);
    EXPECT_EQ(PixelAt(image, 30, 5)[1], 0);
    EXPECT_EQ(PixelAt(image, 5, 30)[2], 0);
    EXPECT_EQ(PixelAt(image, 30, 30)[0], 255);
    EXPECT_EQ(PixelAt(image, 59, 59)[2], 255);

    // Entirely off the screen: all black.
    std::memset(image.bits, 0x77, image.imageSize);
    ASSERT_TRUE(desktop->CopyPixels(Rect{screenWidth, 0, screenWidth + 60, 60}, *image.GetMemoryDC()));
    EXPECT_EQ(PixelAt(image, 0, 0)[0], 0);
    EXPECT_EQ(PixelAt(image, 59, 59)[2], 0);
}

TEST_F(DesktopTest, DesktopsOnTwoThreadsCaptureAtTheSameTime) {
    auto window = TestWindow::Create(0, 0, 64, 64, TestWindow::Colour{0, 255, 0}, kClass);
    ASSERT_TRUE(window);
    constexpr int kRounds = 20;
    bool allGreen[2] = {true, true};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([t, &allGreen] {
            std::unique_ptr<Desktop> own = Desktop::Open();
            DibImage image;
            if (!own || image.Create(64, 64, 24) != 1) {
                allGreen[t] = false;
                return;
            }
            for (int round = 0; round < kRounds; ++round) {
                const bool copied = own->CopyPixels(Rect{0, 0, 64, 64}, *image.GetMemoryDC());
                allGreen[t] = allGreen[t] && copied && image.bits[1] == 255 && image.bits[0] == 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_TRUE(allGreen[0]);
    EXPECT_TRUE(allGreen[1]);
}

}  // namespace
