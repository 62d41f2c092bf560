#include <gtest/gtest.h>

#include <string>

#include "platform/linux/wayland/SwayTree.h"

namespace {

using platform::linux_wayland::FindFocusedWindow;

// The shape of sway's GET_TREE answer, cut down: an output right of another, a workspace on it, a split
// container holding a Wayland window and an X window, and a floating window.
std::string Tree(const std::string& focusedName) {
    const auto focused = [&](const std::string& name) {
        return std::string(R"("focused": )") + (name == focusedName ? "true" : "false");
    };
    return R"({"id": 1, "type": "root", )" + focused("root") +
           R"(, "rect": {"x":0,"y":0,"width":3200,"height":1080},
  "nodes": [
    {"id": 2, "type": "output", "name": "__i3", "rect": {"x":0,"y":0,"width":1920,"height":1080}, "nodes": []},
    {"id": 3, "type": "output", "name": "HEADLESS-1", )" +
           focused("output") + R"(,
     "rect": {"x":1920,"y":0,"width":1280,"height":720},
     "nodes": [
      {"id": 4, "type": "workspace", "name": "1", )" +
           focused("workspace") + R"(,
       "rect": {"x":1920,"y":0,"width":1280,"height":720},
       "nodes": [
        {"id": 5, "type": "con", "layout": "splith", )" +
           focused("split") + R"(, "app_id": null,
         "rect": {"x":1920,"y":0,"width":1280,"height":720}, "nodes": [
          {"id": 6, "type": "con", )" +
           focused("foot") + R"(, "app_id": "foot", "name": "a \"quoted\" title",
           "rect": {"x":1920,"y":0,"width":640,"height":720},
           "window_rect": {"x":2,"y":24,"width":636,"height":694}, "nodes": []},
          {"id": 7, "type": "con", )" +
           focused("xterm") + R"(, "app_id": null,
           "window_properties": {"class": "XTerm", "instance": "xterm"},
           "rect": {"x":2560,"y":0,"width":640,"height":720},
           "window_rect": {"x":0,"y":0,"width":640,"height":720}, "nodes": []}
        ]}
       ],
       "floating_nodes": [
        {"id": 8, "type": "floating_con", )" +
           focused("float") + R"(, "app_id": "pav\u00e9",
         "rect": {"x":2000,"y":100,"width":300,"height":200},
         "window_rect": {"x":0,"y":0,"width":300,"height":200}, "nodes": []}
       ]}
     ]}
  ]})";
}

TEST(SwayTree, FindsTheFocusedWaylandWindowWithItsContentArea) {
    const auto window = FindFocusedWindow(Tree("foot"));
    ASSERT_TRUE(window.has_value());
    EXPECT_EQ(window->id, 6);
    EXPECT_EQ(window->className, "foot");
    EXPECT_EQ(window->content, (Rect{1922, 24, 2558, 718}));
    EXPECT_EQ(window->output, (Rect{1920, 0, 3200, 720}));
}

TEST(SwayTree, TakesTheClassOfAnXWindowAndFindsFloatingWindows) {
    const auto xterm = FindFocusedWindow(Tree("xterm"));
    ASSERT_TRUE(xterm.has_value());
    EXPECT_EQ(xterm->className, "XTerm");
    EXPECT_EQ(xterm->content, (Rect{2560, 0, 3200, 720}));

    const auto floating = FindFocusedWindow(Tree("float"));
    ASSERT_TRUE(floating.has_value());
    EXPECT_EQ(floating->className, "pav\xC3\xA9");
    EXPECT_EQ(floating->content, (Rect{2000, 100, 2300, 300}));
}

// Window mode then has nothing to capture, as without a foreground window on X11.
TEST(SwayTree, FocusOnSomethingThatIsNotAWindowGivesNone) {
    for (const char* name : {"workspace", "output", "split", "root", "nobody"}) {
        EXPECT_FALSE(FindFocusedWindow(Tree(name)).has_value()) << name;
    }
}

TEST(SwayTree, TextThatIsNotACompleteTreeGivesNone) {
    const std::string whole = Tree("foot");
    EXPECT_FALSE(FindFocusedWindow(whole.substr(0, whole.size() / 2)).has_value());
    EXPECT_FALSE(FindFocusedWindow(whole + "}").has_value());
    EXPECT_FALSE(FindFocusedWindow("").has_value());
    EXPECT_FALSE(FindFocusedWindow(std::string(100000, '[')).has_value());
}

}  // namespace
