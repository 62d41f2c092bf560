#include <utility>

#include "ui/ControlPanel.h"
#include "ui/ControlPanelTemplate.h"

// The service's threads report through these three calls while they may hold the capture lock, so none
// of them waits for the GUI thread: each records a copy of its news and, when nothing was pending, asks
// the dialog for one notify message. The GUI thread then shows the latest news of each kind. Under load
// many requests share one update of the widgets, and what is shown never goes back to older news. A
// change of activity is urgent: a capture can be over in a few milliseconds, and holding its
// "compressing" text back would let the empty text that follows overwrite it unseen.

namespace {
constexpr int kClientPane = 0;
constexpr int kActivityPane = 1;
}  // namespace

template <typename Update>
void ControlPanel::QueueStatus(Update update, bool urgent) {
    std::lock_guard guard(statusLock);
    if (statusWindow == nullptr) {
        return;  // no dialog yet, or no more
    }
    const bool wasPending = pendingStatus.Any();
    update(pendingStatus);
    if (!wasPending || urgent) {
        statusWindow->PostWorkerNotify(urgent);
    }
}

void ControlPanel::SetStatusClient(const char* text) {
    QueueStatus(
        [text](StatusNews& news) {
            news.client = text;
            news.clientChanged = true;
        },
        false);
}

void ControlPanel::SetStatusActivity(const char* text) {
    QueueStatus(
        [text](StatusNews& news) {
            news.activity = text;
            news.activityChanged = true;
        },
        true);
}

void ControlPanel::SetHitCount(std::uint32_t count) {
    QueueStatus(
        [count](StatusNews& news) {
            news.hitCount = count;
            news.hitCountChanged = true;
        },
        false);
}

void ControlPanel::ApplyQueuedStatus() {
    StatusNews news;
    {
        std::lock_guard guard(statusLock);
        std::swap(news, pendingStatus);
    }
    if (news.clientChanged) {
        window.SetStatusText(IDC_STATUSBAR, kClientPane, news.client.c_str());
    }
    if (news.activityChanged) {
        window.SetStatusText(IDC_STATUSBAR, kActivityPane, news.activity.c_str());
    }
    if (news.hitCountChanged) {
        window.SetItemInt(IDC_HITCOUNT, news.hitCount, false);
    }
}

void ControlPanel::DetachStatusWindow() {
    std::lock_guard guard(statusLock);
    statusWindow = nullptr;
    pendingStatus = StatusNews{};
}
