#pragma once

// Reading sway's layout tree: the answer to its IPC request GET_TREE is a JSON document of nested nodes
// (root, outputs, workspaces, containers); the window the user works in is the node marked "focused",
// when that node shows a window. Pure functions over the text: the socket lives in SwayIpc.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/Geometry.h"

namespace platform::linux_wayland {

struct FocusedWindow {
    std::int64_t id = 0;    // sway's container id
    Rect content;           // the window's own area (without borders and title), layout coordinates
    std::string className;  // app_id for Wayland clients, the X class for X clients; may be empty
    Rect output;            // the output the window is on, layout coordinates
};

// The focused window of a GET_TREE answer; nullopt when the focus is on something that is not a window
// (an empty workspace) or the text is not a tree sway would send.
std::optional<FocusedWindow> FindFocusedWindow(std::string_view treeJson);

}  // namespace platform::linux_wayland
