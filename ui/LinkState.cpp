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

bool ApplyLinkMessage(LinkState& state, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    switch (message) {
    case LCM_ALIGNLEFT:
        state.rightAligned = 0;
        return true;
    case LCM_ALIGNRIGHT:
        state.rightAligned = 1;
        return true;
    case LCM_NOTIFY:
        state.notifyWindow = TargetFromParam(wParam);
        state.notifyId = lParam;
        return true;
    default:
        return false;
    }
}

LinkClick ClickLink(const LinkState& state, MessageTarget& link, std::string_view windowText,
                    std::string* target) {
    if (state.notifyWindow != nullptr) {
        state.notifyWindow->Deliver(LCM_NOTIFY, TargetParam(&link), state.notifyId);
        return LinkClick::Notified;
    }
    const std::string_view opened = LinkTarget(windowText);
    if (opened.empty()) {
        return LinkClick::Nothing;
    }
    target->assign(opened);
    return LinkClick::OpenTarget;
}
