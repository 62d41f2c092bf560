#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "service/RemoteClick.h"

namespace {

struct QueryCase {
    std::string path;
    std::optional<Point> expected;
};

TEST(ClickQuery, ReadsCoordinatesByTheQueryRules) {
    const QueryCase cases[] = {
        {"/click?12,34", Point{12, 34}},
        {"/click?12,34&z", Point{12, 34}},
        {"/click?12,34,56", Point{12, 34}},
        {"/click?,", Point{0, 0}},
        {"/click?a,b", Point{0, 0}},
        {"/click? 12,  +34", Point{12, 34}},
        {"/click?-5,-7", Point{-5, -7}},
        {"/click?+-5,7", Point{0, 7}},
        {"/click?12x,34y", Point{12, 34}},
        // Each text is cut to 10 characters before conversion.
        {"/click?00000000123,00000000456", Point{12, 45}},
        {"/click?12345678901234,5", Point{1234567890, 5}},
        // Values beyond 32 bits are clamped.
        {"/click?9999999999,-9999999999", Point{INT32_MAX, -999999999}},
        {"/click?9999999999,9999999999", Point{INT32_MAX, INT32_MAX}},
        {"/click?-999999999,0", Point{-999999999, 0}},
        // The comma is looked for from the start of the path, not from the query mark.
        {"/click,5?3", Point{3, 5}},
        {"/clickme?1,2", Point{1, 2}},
        // Nothing to click without a comma or without a query mark.
        {"/click?12", std::nullopt},
        {"/click?", std::nullopt},
        {"/click,5", std::nullopt},
        {"/click", std::nullopt},
    };
    for (const QueryCase& testCase : cases) {
        EXPECT_EQ(ParseClickQuery(testCase.path), testCase.expected) << testCase.path;
    }
}

TEST(ClickQuery, DoublesBeforeAddingTheWindowOrigin) {
    EXPECT_EQ(ClickScreenPoint(Point{12, 34}, false, Point{}), (Point{12, 34}));
    EXPECT_EQ(ClickScreenPoint(Point{12, 34}, true, Point{}), (Point{24, 68}));
    EXPECT_EQ(ClickScreenPoint(Point{12, 34}, true, Point{100, 200}), (Point{124, 268}));
    EXPECT_EQ(ClickScreenPoint(Point{-3, 5}, false, Point{-100, 10}), (Point{-103, 15}));
}

TEST(ClickQuery, ClampsScreenPointsThatLeave32Bits) {
    EXPECT_EQ(ClickScreenPoint(Point{INT32_MAX, INT32_MIN}, true, Point{}), (Point{INT32_MAX, INT32_MIN}));
    EXPECT_EQ(ClickScreenPoint(Point{INT32_MAX, INT32_MIN}, false, Point{10, -10}),
              (Point{INT32_MAX, INT32_MIN}));
    EXPECT_EQ(ClickScreenPoint(Point{INT32_MAX / 2 + 1, 0}, true, Point{-5, 0}), (Point{INT32_MAX - 5, 0}));
}

}  // namespace
