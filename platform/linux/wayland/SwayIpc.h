#pragma once

// A question to sway over its IPC socket (the path in SWAYSOCK). One request per connection; every wait
// is bounded, so a compositor that hangs costs a second, not the caller's thread.

#include <optional>
#include <string>

namespace platform::linux_wayland {

// The layout tree as JSON text (GET_TREE); nullopt when SWAYSOCK is not set or sway does not answer.
std::optional<std::string> AskSwayForTree();

}  // namespace platform::linux_wayland
