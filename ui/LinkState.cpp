#include "ui/LinkState.h"

namespace {
constexpr char kTargetSeparator = '\t';
}

std::string_view LinkDisplayText(std::string_view windowText) {
    return windowText.substr(0, windowText.find(kTargetSeparator));
}

std::string_view LinkTarget(std::string_view windowText) {
    const std::size_t separator = windowText.find(kTargetSeparator);
    return separator == std::string_view::npos ? std::string_view{} : windowText.substr(separator + 1);
}

void ApplyLinkMessage(LinkState& state, const LinkMessage& message) {
    std::visit(MessageHandlers{
                   [&](const link_message::AlignLeft&) { state.rightAligned = 0; },
                   [&](const link_message::AlignRight&) { state.rightAligned = 1; },
                   [&](const link_message::SetNotify& notify) {
                       state.notifyWindow = notify.window;
                       state.notifyId = notify.notifyId;
                   },
               },
               message);
}

LinkClick ClickLink(const LinkState& state, std::string_view windowText, std::string* target) {
    if (state.notifyWindow != nullptr) {
        state.notifyWindow->Deliver(dialog_message::LinkClicked{state.notifyId});
        return LinkClick::Notified;
    }
    const std::string_view opened = LinkTarget(windowText);
    if (opened.empty()) {
        return LinkClick::Nothing;
    }
    target->assign(opened);
    return LinkClick::OpenTarget;
}
