#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "service/RemoteClick.h"
#include "tests/fuzz/FuzzTargets.h"

namespace {

// The reading the click rules describe, written independently of the service's: a coordinate text runs
// from its start to the stop character or the end, at most kClickCoordinateChars characters, and is
// converted like atoi (blanks, one sign, digits up to the first other character) with the value clamped
// to 32 bits.
std::int32_t ReferenceCoordinate(std::string_view path, std::size_t start, char stop) {
    std::string text;
    for (std::size_t i = start; i < path.size() && path[i] != stop && text.size() < kClickCoordinateChars;
         ++i) {
        text += path[i];
    }
    std::size_t i = 0;
    const auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;  // at most ten digits: no overflow here
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    if (negative) {
        value = -value;
    }
    constexpr std::int64_t kLow = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kHigh = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value < kLow ? kLow : value > kHigh ? kHigh : value);
}

std::int32_t Clamp(std::int64_t value) {
    constexpr std::int64_t kLow = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kHigh = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value < kLow ? kLow : value > kHigh ? kHigh : value);
}

std::string Describe(const std::optional<Point>& point) {
    return point ? "(" + std::to_string(point->x) + "," + std::to_string(point->y) + ")" : "nothing";
}

}  // namespace

std::string FuzzClickQuery(const std::uint8_t* data, std::size_t size) {
    const std::string_view path(reinterpret_cast<const char*>(data), size);
    const std::optional<Point> parsed = ParseClickQuery(path);

    std::optional<Point> expected;
    const std::size_t query = path.find('?');
    const std::size_t comma = path.find(',');
    if (query != std::string_view::npos && comma != std::string_view::npos) {
        expected =
            Point{ReferenceCoordinate(path, query + 1, ','), ReferenceCoordinate(path, comma + 1, '&')};
    }
    if (parsed != expected) {
        return "ParseClickQuery gave " + Describe(parsed) + ", the rules give " + Describe(expected);
    }
    if (!parsed) {
        return {};
    }

    // Doubling comes before the window offset, and every step is clamped to 32 bits.
    const Point origins[] = {
        {0, 0},
        {100, 200},
        {-7, 3},
        {std::numeric_limits<std::int32_t>::max(), 1},
        {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::min()}};
    for (const bool scaleDown : {false, true}) {
        for (const Point& origin : origins) {
            const std::int64_t factor = scaleDown ? 2 : 1;
            const Point want{Clamp(Clamp(parsed->x * factor) + std::int64_t{origin.x}),
                             Clamp(Clamp(parsed->y * factor) + std::int64_t{origin.y})};
            const Point got = ClickScreenPoint(*parsed, scaleDown, origin);
            if (!(got == want)) {
                return "ClickScreenPoint" + Describe(*parsed) + (scaleDown ? " halved" : "") + " + " +
                       Describe(origin) + " gave " + Describe(got) + ", want " + Describe(want);
            }
        }
    }
    return {};
}
