#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "imaging/DibImage.h"
#include "imaging/TimeStamp.h"

using imaging::DibImage;
using imaging::DrawTimeStamp;
using imaging::FormatTimeStamp;

namespace {

platform::LocalTime Time(int year, int month, int day, int dayOfWeek, int hour, int minute, int second) {
    platform::LocalTime time;
    time.year = year;
    time.month = month;
    time.day = day;
    time.dayOfWeek = dayOfWeek;
    time.hour = hour;
    time.minute = minute;
    time.second = second;
    return time;
}

struct FormatCase {
    platform::LocalTime time;
    const char* text;
};

class TimeStampFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(TimeStampFormat, ReadsYearMonthDayNameAndTime) {
    EXPECT_EQ(FormatTimeStamp(GetParam().time), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, TimeStampFormat,
    testing::Values(FormatCase{Time(2003, 7, 4, 5, 9, 5, 7), "2003/07/04(Fri) 09:05:07"},
                    FormatCase{Time(2024, 12, 31, 2, 23, 59, 59), "2024/12/31(Tue) 23:59:59"},
                    FormatCase{Time(2000, 1, 2, 0, 0, 0, 0), "2000/01/02(Sun) 00:00:00"},
                    FormatCase{Time(999, 3, 11, 6, 12, 30, 1), "0999/03/11(Sat) 12:30:01"},
                    FormatCase{Time(2021, 6, 7, 1, 1, 2, 3), "2021/06/07(Mon) 01:02:03"}));

// Where the stamp landed on a pure blue picture: black ink lowers the blue, white ink raises the red.
struct StampExtent {
    int inkLeft = 1 << 30;
    int inkRight = -1;
    int inkTop = 1 << 30;
    int whiteRight = -1;
    int whiteTop = 1 << 30;
    int whiteBottom = -1;
};

StampExtent MeasureStamp(DibImage& image) {
    StampExtent extent;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* pixel = image.GetRows()[y] + 3 * x;
            if (pixel[0] != 255 || pixel[2] != 0) {
                extent.inkLeft = std::min(extent.inkLeft, x);
                extent.inkRight = std::max(extent.inkRight, x);
                extent.inkTop = std::min(extent.inkTop, y);
            }
            if (pixel[2] > 128) {
                extent.whiteRight = std::max(extent.whiteRight, x);
                extent.whiteTop = std::min(extent.whiteTop, y);
                extent.whiteBottom = std::max(extent.whiteBottom, y);
            }
        }
    }
    return extent;
}

void FillBlue(DibImage& image) {
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            std::uint8_t* pixel = image.GetRows()[y] + 3 * x;
            pixel[0] = 255;
            pixel[1] = 0;
            pixel[2] = 0;
        }
    }
}

class TimeStampPosition : public testing::TestWithParam<int> {};

// The white text ends 3 pixels from the right border (its cell's right edge is at width - 3) and starts 3
// below the top; the black outline reaches one pixel further on every side.
TEST_P(TimeStampPosition, EndsThreePixelsFromTheRightWithABlackOutline) {
    const int width = GetParam();
    DibImage image;
    ASSERT_EQ(image.Create(width, 40, 24), 1);
    FillBlue(image);
    EXPECT_EQ(DrawTimeStamp(image, Time(2003, 7, 4, 5, 9, 5, 7)), 1);

    const StampExtent extent = MeasureStamp(image);
    // "7" leaves a little room before the end of its advance; the ink stops at the cell's edge at most.
    EXPECT_LE(extent.whiteRight, width - 4);
    EXPECT_GE(extent.whiteRight, width - 7);
    EXPECT_GE(extent.inkRight, extent.whiteRight + 1);
    EXPECT_LE(extent.inkRight, width - 3);
    EXPECT_GE(extent.whiteTop, 3);
    EXPECT_LE(extent.whiteTop, 8);
    EXPECT_EQ(extent.inkTop, extent.whiteTop - 1);
    EXPECT_LE(extent.whiteBottom, 3 + 16);
    // 24 characters of a 13-pixel sans-serif face.
    const int textWidth = width - 3 - extent.inkLeft;
    EXPECT_GT(textWidth, 120);
    EXPECT_LT(textWidth, 220);
    // Right of the rightmost white pixel lies the outline, darker than the blue ground.
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* white = image.GetRows()[y] + 3 * extent.whiteRight;
        if (white[2] > 128) {
            EXPECT_LT(white[3], 200) << "row " << y;
        }
    }
}

// 1024 is a full 1024-pixel desktop; 512 is the same desktop halved, where the text ends at 509.
INSTANTIATE_TEST_SUITE_P(Widths, TimeStampPosition, testing::Values(1024, 512, 300));

TEST(TimeStamp, ClipsAPictureNarrowerThanTheText) {
    DibImage image;
    ASSERT_EQ(image.Create(40, 8, 24), 1);
    FillBlue(image);
    EXPECT_EQ(DrawTimeStamp(image), 1);
    EXPECT_LE(MeasureStamp(image).inkRight, 37);
}

}  // namespace
