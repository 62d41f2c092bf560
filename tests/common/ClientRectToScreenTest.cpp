#include <gtest/gtest.h>

#include <vector>

#include "common/ClientRectToScreen.h"

TEST(ClientRectToScreen, MapsTopLeftThenBottomRightThroughTheWindow) {
    std::vector<Point> asked;
    Rect rect{0, 0, 640, 480};
    ClientRectToScreen(rect, [&](Point client) {
        asked.push_back(client);
        return Point{client.x + 100, client.y + 200};
    });
    EXPECT_EQ(rect, (Rect{100, 200, 740, 680}));
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0], (Point{0, 0}));
    EXPECT_EQ(asked[1], (Point{640, 480}));
}
