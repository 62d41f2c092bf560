// Capture and clicks through the real service on Wine's desktop, the private Xvfb. The CTest command
// (screen-test.sh) paints the X root window with QV_ROOT_COLOUR first, and afterwards checks on the X
// side that the click test left the pointer where the click asked.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "imaging/CaptureJob.h"
#include "platform/Screen.h"
#include "platform/ScreenBackend.h"
#include "service/CaptureService.h"
#include "tests/support/JpegDecode.h"
#include "tests/support/ServiceFixture.h"

namespace {

// JPEG's rounding on a flat colour stays well inside this.
constexpr int kColourTolerance = 12;

struct Colour {
    int red = 0;
    int green = 0;
    int blue = 0;
};

Colour RootColour() {
    const char* text = std::getenv("QV_ROOT_COLOUR");  // "RRGGBB"
    const unsigned long value = text != nullptr ? std::strtoul(text, nullptr, 16) : 0;
    return Colour{static_cast<int>(value >> 16 & 0xff), static_cast<int>(value >> 8 & 0xff),
                  static_cast<int>(value & 0xff)};
}

bool Near(const std::uint8_t* sample, Colour colour) {
    return std::abs(sample[0] - colour.red) <= kColourTolerance &&
           std::abs(sample[1] - colour.green) <= kColourTolerance &&
           std::abs(sample[2] - colour.blue) <= kColourTolerance;
}

struct CaptureCase {
    int scaleDown;
    int drawTime;
};

class WindowsCapture : public testing::TestWithParam<CaptureCase> {};

}  // namespace

TEST(WindowsScreen, ADesktopThatCanBeDrawnFromHasNoCaptureProblem) {
    EXPECT_EQ(platform::ScreenCaptureProblem(), "");
}

TEST_P(WindowsCapture, TheDesktopComesBackAsAJpegOfTheRootColour) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(screenWidth, 0);
    ServiceHarness<CaptureService> harness;
    harness.service.EditSettings([&](Settings& settings) {
        settings.targetDesktop = 1;
        settings.scaleDown = GetParam().scaleDown;
        settings.drawTime = GetParam().drawTime;
    });
    ASSERT_TRUE(harness.Start());
    const HttpAnswer answer = Get(harness.port, "/screen");
    ASSERT_EQ(answer.status, 200);
    EXPECT_EQ(answer.Field("Content-Type"), "image/jpeg");

    DecodedJpeg picture;
    ASSERT_TRUE(DecodeJpeg(answer.body, picture));
    const int divisor = GetParam().scaleDown != 0 ? 2 : 1;
    EXPECT_EQ(picture.width, screenWidth / divisor);
    EXPECT_EQ(picture.height, screenHeight / divisor);
    const Colour root = RootColour();
    for (const auto& [x, y] :
         {std::pair{0, 0}, std::pair{picture.width / 2, picture.height / 2},
          std::pair{picture.width - 1, picture.height - 1}, std::pair{0, picture.height - 1}}) {
        EXPECT_TRUE(Near(picture.At(x, y), root))
            << "at " << x << "," << y << ": " << int{picture.At(x, y)[0]} << " " << int{picture.At(x, y)[1]}
            << " " << int{picture.At(x, y)[2]};
    }
    // The time stamp is white text with a black outline in the top-right corner.
    int white = 0;
    int black = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = picture.width - 200; x < picture.width; ++x) {
            const std::uint8_t* sample = picture.At(x, y);
            white += sample[0] > 220 && sample[1] > 220 && sample[2] > 220 ? 1 : 0;
            black += sample[0] < 35 && sample[1] < 35 && sample[2] < 35 ? 1 : 0;
        }
    }
    if (GetParam().drawTime != 0) {
        EXPECT_GT(white, 20);
        EXPECT_GT(black, 20);
    } else {
        EXPECT_EQ(white + black, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(FullHalvedStamped, WindowsCapture,
                         testing::Values(CaptureCase{0, 0}, CaptureCase{0, 1}, CaptureCase{1, 1}));

TEST(WindowsClick, AClickRequestMovesThePointerThere) {
    ServiceHarness<CaptureService> harness;
    harness.service.EditSettings([&](Settings& settings) {
        settings.targetDesktop = 1;
        settings.enableClick = true;
    });
    ASSERT_TRUE(harness.Start());
    SetCursorPos(600, 600);
    const HttpAnswer answer = Get(harness.port, "/click?123,45");
    EXPECT_NE(answer.status, 0);
    POINT cursor{};
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, 123);
    EXPECT_EQ(cursor.y, 45);
}

// A window class named in Japanese: its name reaches the program as UTF-8, the settings' class filter
// matches it, and a name cut to a buffer ends on a whole character.
class JapaneseClassWindow {
  public:
    static constexpr const wchar_t* kClassName = L"表示ソフト";

    JapaneseClassWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kClassName;
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        if (RegisterClassW(&windowClass) != 0) {
            window = CreateWindowExW(0, kClassName, L"", WS_POPUP | WS_VISIBLE, 10, 10, 64, 48, nullptr,
                                     nullptr, instance, nullptr);
        }
    }
    ~JapaneseClassWindow() {
        if (window != nullptr) {
            DestroyWindow(window);
        }
        UnregisterClassW(kClassName, instance);
    }
    JapaneseClassWindow(const JapaneseClassWindow&) = delete;
    JapaneseClassWindow& operator=(const JapaneseClassWindow&) = delete;

    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND window = nullptr;
};

TEST(WindowsWindowClass, AJapaneseClassNameIsReadAsUtf8AndMatchedByTheFilter) {
    const JapaneseClassWindow shown;
    ASSERT_NE(shown.window, nullptr);
    SetForegroundWindow(shown.window);
    UpdateWindow(shown.window);
    const std::unique_ptr<platform::Desktop> desktop = platform::Desktop::Open();
    ASSERT_NE(desktop, nullptr);
    const auto id = static_cast<platform::WindowId>(reinterpret_cast<std::uintptr_t>(shown.window));
    ASSERT_EQ(desktop->ForegroundWindow(), id);
    char name[imaging::kWindowClassBytes];
    ASSERT_TRUE(desktop->ClassName(id, name, sizeof name));
    EXPECT_EQ(std::string(name), "表示ソフト");
    char cut[8];  // room for two characters of three bytes and the NUL, not for a third
    ASSERT_TRUE(desktop->ClassName(id, cut, sizeof cut));
    EXPECT_EQ(std::string(cut), "表示");

    RecordingStatusSink sink;
    imaging::CaptureJob job(sink);
    TempDir folder;
    const std::string path = folder.File("screen.jpg");
    imaging::CaptureSettings settings;
    settings.windowClass = "表示ソフト";
    EXPECT_EQ(job.RunCaptureJob(settings, path.c_str()), imaging::CaptureResult::Captured);
    DecodedJpeg picture;
    ASSERT_TRUE(DecodeJpeg(TempDir::ReadFile(path), picture));
    EXPECT_EQ(picture.width, 64);
    EXPECT_EQ(picture.height, 48);
    settings.windowClass = "表示";
    EXPECT_EQ(job.RunCaptureJob(settings, path.c_str()), imaging::CaptureResult::ClassMismatch);
}
