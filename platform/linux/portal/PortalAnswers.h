#pragma once

// What the desktop portal answers, read without D-Bus: a request's object path, the outcome code of its
// Response signal, and the results dictionary of a started screen cast. The D-Bus side (PortalBus) turns a
// message into a BusValue; everything here is a pure function over that value.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Geometry.h"

namespace platform::linux_portal {

// One D-Bus value, whatever its type. Arrays and structures are lists; dictionaries keep their keys beside
// their values. Descriptors are not kept (Kind::None).
struct BusValue {
    enum class Kind { None, Unsigned, Signed, Boolean, Real, Text, List, Dictionary };
    Kind kind = Kind::None;
    std::uint64_t unsignedValue = 0;
    std::int64_t signedValue = 0;
    bool boolean = false;
    double real = 0;
    std::string text;               // strings, object paths and signatures
    std::vector<BusValue> items;    // a list's items; a dictionary's values
    std::vector<std::string> keys;  // a dictionary's keys, one per item

    // The value under key in a dictionary; null when this is no dictionary or the key is missing.
    const BusValue* Member(std::string_view key) const;
};

// The object path of the request a call with handle_token token answers through, as the portal makes it
// from the caller's unique bus name: ":1.42" and "qv_7" give
// /org/freedesktop/portal/desktop/request/1_42/qv_7.
std::string RequestPath(std::string_view uniqueName, std::string_view token);

// The Response signal's first argument.
enum class RequestOutcome : std::uint32_t { Granted = 0, Cancelled = 1, Ended = 2 };
// One line for the user: why the request came to nothing ("" for Granted).
std::string OutcomeProblem(std::uint32_t response, std::string_view step);

// The session handle in CreateSession's results; empty when missing.
std::string SessionHandleOf(const BusValue& results);

// One stream of a started screen cast: its PipeWire node, and where and how large it is in the compositor's
// logical coordinates when the portal says so.
struct CastStream {
    std::uint32_t node = 0;
    std::optional<Point> size;
    Point position;
};

struct StartAnswer {
    std::vector<CastStream> streams;
    std::string restoreToken;   // empty when the portal gave none
    std::uint32_t devices = 0;  // the remote desktop's granted device types (1 keyboard, 2 pointer, 4 touch)
};

// The results of Start; nullopt when they name no stream.
std::optional<StartAnswer> ReadStartAnswer(const BusValue& results);

// Where a pixel of the published picture lies in the stream's logical coordinates, which pointer events
// take: on a scaled output the picture has more pixels than the stream's logical size. Unscaled when either
// size is unknown.
struct StreamPoint {
    double x = 0;
    double y = 0;
};
StreamPoint StreamPosition(Point picturePoint, std::optional<Point> logicalSize,
                           std::optional<Point> pictureSize);

}  // namespace platform::linux_portal
