#pragma once

#include <string>
#include <string_view>

#include "ui/DialogMessages.h"

// A link control shows its window text up to the first TAB as a link; the text after that TAB is the
// target it opens when clicked and nobody has asked to be notified.
inline constexpr const char* kLinkClassName = "ORVHLinkClass";

// The state of one link window, from its first message until it is destroyed.
struct LinkState {
    int rightAligned = 0;
    MessageTarget* notifyWindow = nullptr;  // receives LinkClicked on a click; none: the target is opened
    int notifyId = 0;                       // carried by every click notification
};

std::string_view LinkDisplayText(std::string_view windowText);
std::string_view LinkTarget(std::string_view windowText);

void ApplyLinkMessage(LinkState& state, const LinkMessage& message);

enum class LinkClick { Notified, OpenTarget, Nothing };

// A click on a link: with a notify window, LinkClicked goes to it at once; otherwise the target is to be
// opened, unless it is empty. *target receives the target to open.
LinkClick ClickLink(const LinkState& state, std::string_view windowText, std::string* target);
