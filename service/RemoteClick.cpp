#include "service/RemoteClick.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>

#include "common/ClientRectToScreen.h"
#include "platform/Clock.h"
#include "platform/Input.h"
#include "platform/Screen.h"
#include "service/SettingsKeys.h"

namespace {

// Pauses that give the desktop time to see the pointer arrive, the button go down, and the click act.
constexpr std::uint32_t kPointerSettleMilliseconds = 50;
constexpr std::uint32_t kAfterClickMilliseconds = 1000;

// Copies at most kClickCoordinateChars characters of text, up to the first stop character, and converts
// them by the rules of atoi (the settings file's number rules, saturating at 32 bits).
std::int32_t ParseCoordinate(std::string_view text, char stop) {
    char digits[kClickCoordinateChars + 1]{};
    std::size_t count = 0;
    while (count < text.size() && count < kClickCoordinateChars && text[count] != stop &&
           text[count] != '\0') {
        digits[count] = text[count];
        ++count;
    }
    return settings::ParseNumber(digits);
}

std::int32_t Clamp32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

std::optional<Point> ParseClickQuery(std::string_view path) {
    const std::size_t queryMark = path.find('?');
    const std::size_t comma = path.find(',');
    if (queryMark == std::string_view::npos || comma == std::string_view::npos) {
        return std::nullopt;
    }
    return Point{ParseCoordinate(path.substr(queryMark + 1), ','),
                 ParseCoordinate(path.substr(comma + 1), '&')};
}

Point ClickScreenPoint(Point picturePoint, bool scaleDown, Point windowOrigin) {
    const std::int64_t factor = scaleDown ? 2 : 1;
    const std::int32_t x = Clamp32(picturePoint.x * factor);
    const std::int32_t y = Clamp32(picturePoint.y * factor);
    return Point{Clamp32(std::int64_t{x} + windowOrigin.x), Clamp32(std::int64_t{y} + windowOrigin.y)};
}

RemoteClick::RemoteClick() = default;
RemoteClick::~RemoteClick() = default;

bool RemoteClick::OpenDevices(bool needDesktop) {
    if (!input) {
        input = platform::PointerInput::Open();
    }
    if (needDesktop && !desktop) {
        desktop = platform::Desktop::Open();
    }
    return input && (desktop || !needDesktop);
}

void RemoteClick::Perform(std::string_view path, bool scaleDown, bool targetDesktop) {
    const std::optional<Point> picturePoint = ParseClickQuery(path);
    if (!picturePoint) {
        return;
    }
    Point screenPoint;
    {
        std::lock_guard guard(lock);
        if (!OpenDevices(!targetDesktop)) {
            return;
        }
        Point windowOrigin;
        if (!targetDesktop) {
            const std::optional<platform::WindowId> window = desktop->ForegroundWindow();
            if (!window) {
                return;
            }
            Rect client = desktop->ClientRect(*window);
            ClientRectToScreen(client, [&](Point point) { return desktop->ClientToScreen(*window, point); });
            windowOrigin = Point{client.left, client.top};
        }
        screenPoint = ClickScreenPoint(*picturePoint, scaleDown, windowOrigin);
        input->MoveTo(screenPoint);
    }
    platform::SleepMilliseconds(kPointerSettleMilliseconds);
    {
        std::lock_guard guard(lock);
        input->PressLeft(screenPoint);
    }
    platform::SleepMilliseconds(kPointerSettleMilliseconds);
    {
        std::lock_guard guard(lock);
        input->ReleaseLeft(screenPoint);
    }
    platform::SleepMilliseconds(kAfterClickMilliseconds);
}
