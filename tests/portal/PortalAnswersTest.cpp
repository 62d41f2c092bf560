#include <gtest/gtest.h>

#include "platform/linux/portal/PortalAnswers.h"

namespace {

using platform::linux_portal::BusValue;
using platform::linux_portal::ReadStartAnswer;
using platform::linux_portal::RequestPath;

BusValue Unsigned(std::uint64_t number) {
    BusValue value;
    value.kind = BusValue::Kind::Unsigned;
    value.unsignedValue = number;
    return value;
}
BusValue Signed(std::int64_t number) {
    BusValue value;
    value.kind = BusValue::Kind::Signed;
    value.signedValue = number;
    return value;
}
BusValue Text(std::string text) {
    BusValue value;
    value.kind = BusValue::Kind::Text;
    value.text = std::move(text);
    return value;
}
BusValue List(std::vector<BusValue> items) {
    BusValue value;
    value.kind = BusValue::Kind::List;
    value.items = std::move(items);
    return value;
}
BusValue Dictionary(std::vector<std::pair<std::string, BusValue>> entries) {
    BusValue value;
    value.kind = BusValue::Kind::Dictionary;
    for (auto& [key, item] : entries) {
        value.keys.push_back(key);
        value.items.push_back(std::move(item));
    }
    return value;
}
BusValue Pair(std::int64_t x, std::int64_t y) {
    return List({Signed(x), Signed(y)});
}

TEST(PortalRequestPath, FollowsTheCallersUniqueName) {
    EXPECT_EQ(RequestPath(":1.42", "qv_7"), "/org/freedesktop/portal/desktop/request/1_42/qv_7");
    EXPECT_EQ(RequestPath(":1.2.3", "t"), "/org/freedesktop/portal/desktop/request/1_2_3/t");
}

TEST(PortalStartAnswer, ReadsStreamsTokenAndDevices) {
    const BusValue results = Dictionary({
        {"devices", Unsigned(2)},
        {"streams", List({List({Unsigned(57), Dictionary({{"position", Pair(1920, 0)},
                                                          {"size", Pair(2560, 1440)},
                                                          {"source_type", Unsigned(1)}})}),
                          List({Unsigned(58), Dictionary({})})})},
        {"restore_token", Text("3f0c-token")},
    });
    const auto answer = ReadStartAnswer(results);
    ASSERT_TRUE(answer.has_value());
    ASSERT_EQ(answer->streams.size(), 2u);
    EXPECT_EQ(answer->streams[0].node, 57u);
    EXPECT_EQ(answer->streams[0].size, (Point{2560, 1440}));
    EXPECT_EQ(answer->streams[0].position, (Point{1920, 0}));
    // A stream may come without its size; the picture's own size is used then.
    EXPECT_EQ(answer->streams[1].node, 58u);
    EXPECT_FALSE(answer->streams[1].size.has_value());
    EXPECT_EQ(answer->restoreToken, "3f0c-token");
    EXPECT_EQ(answer->devices, 2u);
}

TEST(PortalStartAnswer, SkipsWhatIsNotAStream) {
    struct Case {
        const char* name;
        BusValue results;
        bool hasStream;
    };
    const Case cases[] = {
        {"no streams member", Dictionary({{"restore_token", Text("t")}}), false},
        {"streams not a list", Dictionary({{"streams", Unsigned(3)}}), false},
        {"empty list", Dictionary({{"streams", List({})}}), false},
        {"node of the wrong type", Dictionary({{"streams", List({List({Text("57"), Dictionary({})})})}}),
         false},
        {"node out of range", Dictionary({{"streams", List({List({Unsigned(1ull << 33), Dictionary({})})})}}),
         false},
        {"properties not a dictionary", Dictionary({{"streams", List({List({Unsigned(5), List({})})})}}),
         false},
        {"results not a dictionary", List({}), false},
        {"one good stream after a bad one",
         Dictionary({{"streams", List({List({Text("x")}), List({Unsigned(9), Dictionary({})})})}}), true},
    };
    for (const Case& c : cases) {
        const auto answer = ReadStartAnswer(c.results);
        EXPECT_EQ(answer.has_value(), c.hasStream) << c.name;
        if (answer) {
            EXPECT_EQ(answer->streams.size(), 1u) << c.name;
            EXPECT_TRUE(answer->restoreToken.empty()) << c.name;
        }
    }
}

TEST(PortalStartAnswer, DropsASizeThatCannotBeAPicture) {
    for (const BusValue& size : {Pair(0, 720), Pair(1280, -1), List({Signed(1280)}), Pair(1ll << 40, 720)}) {
        const auto answer = ReadStartAnswer(
            Dictionary({{"streams", List({List({Unsigned(1), Dictionary({{"size", size}})})})}}));
        ASSERT_TRUE(answer.has_value());
        EXPECT_FALSE(answer->streams[0].size.has_value());
    }
}

TEST(PortalStreamPosition, ScalesPicturePixelsToTheLogicalSize) {
    using platform::linux_portal::StreamPosition;
    // An output scaled by 2: a 2560 x 1440 picture of a 1280 x 720 logical stream.
    const auto scaled = StreamPosition(Point{2559, 1}, Point{1280, 720}, Point{2560, 1440});
    EXPECT_DOUBLE_EQ(scaled.x, 1279.5);
    EXPECT_DOUBLE_EQ(scaled.y, 0.5);
    const auto fractional = StreamPosition(Point{300, 200}, Point{1280, 720}, Point{1920, 1080});
    EXPECT_DOUBLE_EQ(fractional.x, 200);
    EXPECT_NEAR(fractional.y, 133.333, 0.001);
    // Unknown or empty sizes leave the point as it is.
    for (const auto& [logical, picture] :
         {std::pair<std::optional<Point>, std::optional<Point>>{std::nullopt, Point{2560, 1440}},
          {Point{1280, 720}, std::nullopt},
          {Point{1280, 720}, Point{0, 1440}}}) {
        const auto same = StreamPosition(Point{640, 360}, logical, picture);
        EXPECT_DOUBLE_EQ(same.x, 640);
        EXPECT_DOUBLE_EQ(same.y, 360);
    }
}

TEST(PortalAnswers, SessionHandleAndOutcome) {
    EXPECT_EQ(platform::linux_portal::SessionHandleOf(Dictionary({{"session_handle", Text("/s/1")}})),
              "/s/1");
    EXPECT_EQ(platform::linux_portal::SessionHandleOf(Dictionary({{"session_handle", Unsigned(1)}})), "");
    EXPECT_EQ(platform::linux_portal::OutcomeProblem(0, "Start"), "");
    EXPECT_EQ(platform::linux_portal::OutcomeProblem(1, "Start"), "the screen cast was refused at Start");
    EXPECT_EQ(platform::linux_portal::OutcomeProblem(2, "Start"), "the desktop portal gave up at Start");
    EXPECT_EQ(platform::linux_portal::OutcomeProblem(7, "Start"), "the desktop portal gave up at Start");
}

}  // namespace
