#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/JpegDecode.h"
#include "tests/support/ServiceFixture.h"
#include "tests/support/TestWindow.h"

namespace {

struct CaptureCase {
    int scaleDown;
    int divisor;
};

class ScreenCaptureThroughService : public testing::TestWithParam<CaptureCase> {};

TEST_P(ScreenCaptureThroughService, AnswersWithAJpegOfTheScreen) {
    const auto window = TestWindow::Create(100, 100, 200, 200, TestWindow::Colour{255, 0, 0}, "");
    ASSERT_NE(window, nullptr);
    int screenWidth = 0;
    int screenHeight = 0;
    ASSERT_TRUE(TestWindow::ScreenSize(screenWidth, screenHeight));

    ServiceHarness<CaptureService> harness;
    harness.service.EditSettings([&](Settings& settings) { settings.targetDesktop = 1; });
    harness.service.EditSettings([&](Settings& settings) { settings.scaleDown = GetParam().scaleDown; });
    ASSERT_TRUE(harness.Start());
    const HttpAnswer answer = Get(harness.port, "/screen");

    ASSERT_EQ(answer.status, 200);
    EXPECT_EQ(answer.Field("Content-Type"), "image/jpeg");
    EXPECT_EQ(answer.Field("Content-Length"), std::to_string(answer.body.size()));
    DecodedJpeg picture;
    ASSERT_TRUE(DecodeJpeg(answer.body, picture));
    const int divisor = GetParam().divisor;
    EXPECT_EQ(picture.width, screenWidth / divisor);
    EXPECT_EQ(picture.height, screenHeight / divisor);
    const std::uint8_t* inside = picture.At(200 / divisor, 200 / divisor);
    EXPECT_GT(inside[0], 200);
    EXPECT_LT(inside[1], 60);
    EXPECT_LT(inside[2], 60);
    EXPECT_EQ(TempDir::ReadFile(harness.folder.File("screen.jpg")), answer.body);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ScreenCaptureThroughService,
                         testing::Values(CaptureCase{0, 1}, CaptureCase{1, 2}));

}  // namespace
