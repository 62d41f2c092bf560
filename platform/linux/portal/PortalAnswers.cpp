#include "platform/linux/portal/PortalAnswers.h"

#include <limits>

namespace platform::linux_portal {
namespace {

constexpr std::string_view kRequestFolder = "/org/freedesktop/portal/desktop/request/";

std::optional<std::uint32_t> AsUnsigned(const BusValue* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    if (value->kind == BusValue::Kind::Unsigned &&
        value->unsignedValue <= std::numeric_limits<std::uint32_t>::max()) {
        return static_cast<std::uint32_t>(value->unsignedValue);
    }
    if (value->kind == BusValue::Kind::Signed && value->signedValue >= 0 &&
        value->signedValue <= std::numeric_limits<std::uint32_t>::max()) {
        return static_cast<std::uint32_t>(value->signedValue);
    }
    return std::nullopt;
}

std::optional<std::int32_t> AsSigned(const BusValue& value) {
    if (value.kind == BusValue::Kind::Signed &&
        value.signedValue >= std::numeric_limits<std::int32_t>::min() &&
        value.signedValue <= std::numeric_limits<std::int32_t>::max()) {
        return static_cast<std::int32_t>(value.signedValue);
    }
    return std::nullopt;
}

// A pair of 32-bit integers, the portal's (ii) structures.
std::optional<Point> AsPair(const BusValue* value) {
    if (value == nullptr || value->kind != BusValue::Kind::List || value->items.size() != 2) {
        return std::nullopt;
    }
    const std::optional<std::int32_t> x = AsSigned(value->items[0]);
    const std::optional<std::int32_t> y = AsSigned(value->items[1]);
    if (!x || !y) {
        return std::nullopt;
    }
    return Point{*x, *y};
}

std::optional<CastStream> ReadStream(const BusValue& stream) {
    if (stream.kind != BusValue::Kind::List || stream.items.size() != 2 ||
        stream.items[1].kind != BusValue::Kind::Dictionary) {
        return std::nullopt;
    }
    const std::optional<std::uint32_t> node = AsUnsigned(&stream.items[0]);
    if (!node) {
        return std::nullopt;
    }
    CastStream result;
    result.node = *node;
    const BusValue& properties = stream.items[1];
    result.size = AsPair(properties.Member("size"));
    if (result.size && (result.size->x <= 0 || result.size->y <= 0)) {
        result.size.reset();
    }
    result.position = AsPair(properties.Member("position")).value_or(Point{});
    return result;
}

}  // namespace

const BusValue* BusValue::Member(std::string_view key) const {
    if (kind != Kind::Dictionary) {
        return nullptr;
    }
    for (std::size_t index = 0; index < keys.size() && index < items.size(); ++index) {
        if (keys[index] == key) {
            return &items[index];
        }
    }
    return nullptr;
}

std::string RequestPath(std::string_view uniqueName, std::string_view token) {
    std::string path(kRequestFolder);
    std::string_view sender = uniqueName;
    if (!sender.empty() && sender.front() == ':') {
        sender.remove_prefix(1);
    }
    for (const char c : sender) {
        path += c == '.' ? '_' : c;
    }
    path += '/';
    path += token;
    return path;
}

std::string OutcomeProblem(std::uint32_t response, std::string_view step) {
    switch (static_cast<RequestOutcome>(response)) {
        case RequestOutcome::Granted:
            return {};
        case RequestOutcome::Cancelled:
            return "the screen cast was refused at " + std::string(step);
        case RequestOutcome::Ended:
            break;
    }
    return "the desktop portal gave up at " + std::string(step);
}

std::string SessionHandleOf(const BusValue& results) {
    const BusValue* handle = results.Member("session_handle");
    return handle != nullptr && handle->kind == BusValue::Kind::Text ? handle->text : std::string();
}

std::optional<StartAnswer> ReadStartAnswer(const BusValue& results) {
    const BusValue* streams = results.Member("streams");
    if (streams == nullptr || streams->kind != BusValue::Kind::List) {
        return std::nullopt;
    }
    StartAnswer answer;
    for (const BusValue& stream : streams->items) {
        if (const std::optional<CastStream> read = ReadStream(stream)) {
            answer.streams.push_back(*read);
        }
    }
    if (answer.streams.empty()) {
        return std::nullopt;
    }
    const BusValue* token = results.Member("restore_token");
    if (token != nullptr && token->kind == BusValue::Kind::Text) {
        answer.restoreToken = token->text;
    }
    answer.devices = AsUnsigned(results.Member("devices")).value_or(0);
    return answer;
}

StreamPoint StreamPosition(Point picturePoint, std::optional<Point> logicalSize,
                           std::optional<Point> pictureSize) {
    StreamPoint point{static_cast<double>(picturePoint.x), static_cast<double>(picturePoint.y)};
    if (logicalSize && pictureSize && pictureSize->x > 0 && pictureSize->y > 0) {
        point.x = point.x * logicalSize->x / pictureSize->x;
        point.y = point.y * logicalSize->y / pictureSize->y;
    }
    return point;
}

}  // namespace platform::linux_portal
