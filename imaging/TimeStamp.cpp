#include "imaging/TimeStamp.h"

#include <cstdio>

#include "imaging/DibImage.h"
#include "platform/Drawing.h"

namespace imaging {
namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr int kDaysPerWeek = 7;
constexpr std::size_t kTimeStampBytes = 64;

// The white text's top-right corner, counted from the picture's top-right corner.
constexpr int kRightInset = 3;
constexpr int kTopInset = 3;

// The outline: the text in black one pixel to the right, below, to the left and above its place.
struct Offset {
    int x;
    int y;
};
constexpr Offset kOutline[] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};

}  // namespace

std::string FormatTimeStamp(const platform::LocalTime& time) {
    const bool knownDay = time.dayOfWeek >= 0 && time.dayOfWeek < kDaysPerWeek;
    char text[kTimeStampBytes];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d(%s) %02d:%02d:%02d", time.year, time.month, time.day,
                  knownDay ? kDayNames[time.dayOfWeek] : "", time.hour, time.minute, time.second);
    return text;
}

int DrawTimeStamp(DibImage& image) {
    return DrawTimeStamp(image, platform::CurrentLocalTime());
}

int DrawTimeStamp(DibImage& image, const platform::LocalTime& time) {
    platform::DrawingSurface* surface = image.GetMemoryDC();
    if (surface == nullptr) {
        return 1;
    }
    const std::string text = FormatTimeStamp(time);
    const int x = image.width - kRightInset;
    const int y = kTopInset;
    surface->SetTextAlign(platform::TextAlign::Right);
    surface->SetTextColor(platform::Rgb{0, 0, 0});
    for (const Offset& offset : kOutline) {
        surface->DrawText(x + offset.x, y + offset.y, text);
    }
    surface->SetTextColor(platform::Rgb{255, 255, 255});
    surface->DrawText(x, y, text);
    return 1;
}

}  // namespace imaging
