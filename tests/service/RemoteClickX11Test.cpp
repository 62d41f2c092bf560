#include <gtest/gtest.h>

#include <optional>

#include "common/Geometry.h"
#include "tests/support/ServiceFixture.h"
#include "tests/support/TestWindow.h"

namespace {

constexpr TestWindow::Colour kWhite{255, 255, 255};

struct ClickCase {
    const char* name;
    int targetDesktop;
    int scaleDown;
    Point windowPosition;
    Point expectedRoot;
};

class RemoteClickOnScreen : public testing::TestWithParam<ClickCase> {};

TEST_P(RemoteClickOnScreen, PressesAndReleasesTheLeftButtonAtTheScreenPoint) {
    const ClickCase& testCase = GetParam();
    const auto window =
        TestWindow::Create(testCase.windowPosition.x, testCase.windowPosition.y, 400, 300, kWhite, "");
    ASSERT_NE(window, nullptr);
    window->Focus();
    ServiceHarness<> harness;
    harness.service.EditSettings([&](Settings& settings) {
        settings.enableClick = 1;
        settings.targetDesktop = testCase.targetDesktop;
        settings.scaleDown = testCase.scaleDown;
    });
    ASSERT_TRUE(harness.Start());

    EXPECT_EQ(Get(harness.port, "/click?12,34").status, 200);

    const std::optional<XButtonEvent> press = window->NextButtonEvent(ButtonPress);
    ASSERT_TRUE(press.has_value());
    EXPECT_EQ(press->button, 1u);
    EXPECT_EQ(press->x_root, testCase.expectedRoot.x);
    EXPECT_EQ(press->y_root, testCase.expectedRoot.y);
    EXPECT_EQ(press->x, testCase.expectedRoot.x - testCase.windowPosition.x);
    EXPECT_EQ(press->y, testCase.expectedRoot.y - testCase.windowPosition.y);
    const std::optional<XButtonEvent> release = window->NextButtonEvent(ButtonRelease);
    ASSERT_TRUE(release.has_value());
    EXPECT_EQ(release->button, 1u);
    EXPECT_GE(release->time - press->time, 40u);
}

INSTANTIATE_TEST_SUITE_P(Modes, RemoteClickOnScreen,
                         testing::Values(ClickCase{"desktop", 1, 0, Point{0, 0}, Point{12, 34}},
                                         ClickCase{"desktop_halved", 1, 1, Point{0, 0}, Point{24, 68}},
                                         ClickCase{"window", 0, 0, Point{100, 200}, Point{112, 234}},
                                         ClickCase{"window_halved", 0, 1, Point{100, 200}, Point{124, 268}}),
                         [](const testing::TestParamInfo<ClickCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(RemoteClickOnScreen, ClicksNothingWithoutForegroundWindowOrWhenDisabled) {
    const auto window = TestWindow::Create(0, 0, 400, 300, kWhite, "");
    ASSERT_NE(window, nullptr);
    TestWindow::ClearFocus();
    ServiceHarness<> harness;
    harness.service.EditSettings([&](Settings& settings) {
        settings.enableClick = 1;
        settings.targetDesktop = 0;
    });
    ASSERT_TRUE(harness.Start());
    EXPECT_EQ(Get(harness.port, "/click?12,34").status, 200);
    EXPECT_EQ(Get(harness.port, "/click?12").status, 200);
    harness.service.StopAndWait(std::chrono::seconds(5));

    window->Focus();
    harness.service.EditSettings([&](Settings& settings) {
        settings.enableClick = 0;
        settings.targetDesktop = 1;
    });
    ASSERT_TRUE(harness.Start());
    EXPECT_EQ(Get(harness.port, "/click?12,34").status, 200);
    EXPECT_FALSE(window->NextButtonEvent(ButtonPress).has_value());
}

}  // namespace
