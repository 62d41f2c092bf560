#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ui/DialogMessages.h"

// A link control shows its window text up to the first TAB as a link; the text after that TAB is the
// target it opens when clicked and nobody has asked to be notified.
inline constexpr const char* kLinkClassName = "ORVHLinkClass";

// The state of one link window, from its first message until it is destroyed.
struct LinkState {
    int rightAligned = 0;
    MessageTarget* notifyWindow = nullptr;  // receives LCM_NOTIFY on a click; none: the target is opened
    std::intptr_t notifyId = 0;             // lParam of every click notification
};

std::string_view LinkDisplayText(std::string_view windowText);
std::string_view LinkTarget(std::string_view windowText);

// Applies LCM_ALIGNLEFT, LCM_ALIGNRIGHT and LCM_NOTIFY; false for every other message.
bool ApplyLinkMessage(LinkState& state, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

enum class LinkClick { Notified, OpenTarget, Nothing };

// A click on link: with a notify window, LCM_NOTIFY goes to it at once (wParam the link, lParam the id);
// otherwise the target is to be opened, unless it is empty. *target receives the target to open.
LinkClick ClickLink(const LinkState& state, MessageTarget& link, std::string_view windowText,
                    std::string* target);
