#include <utility>

#include "ui/ControlPanel.h"
#include "ui/ControlPanelTemplate.h"

// The service's threads report through these three calls while they may hold the capture lock, so none
// of them waits for the GUI thread: each queues a copy of its news and, when the queue was empty, asks
// the dialog for one notify message. The GUI thread then applies everything queued, in order.

namespace {
// News kept while the GUI thread is busy; past this the oldest go, the latest state is what counts.
constexpr std::size_t kMaxPendingStatus = 1024;
constexpr int kClientPane = 0;
constexpr int kActivityPane = 1;
}  // namespace

void ControlPanel::SetStatusClient(const char* text) {
    QueueStatus({StatusUpdate::Kind::Client, text, 0});
}

void ControlPanel::SetStatusActivity(const char* text) {
    QueueStatus({StatusUpdate::Kind::Activity, text, 0});
}

void ControlPanel::SetHitCount(std::uint32_t count) {
    QueueStatus({StatusUpdate::Kind::HitCount, {}, count});
}

void ControlPanel::QueueStatus(StatusUpdate update) {
    std::lock_guard guard(statusLock);
    if (statusWindow == nullptr) {
        return;  // no dialog yet, or no more
    }
    const bool wasEmpty = pendingStatus.empty();
    if (pendingStatus.size() >= kMaxPendingStatus) {
        pendingStatus.pop_front();
    }
    pendingStatus.push_back(std::move(update));
    if (wasEmpty) {
        statusWindow->PostWorkerNotify();
    }
}

void ControlPanel::ApplyQueuedStatus() {
    std::deque<StatusUpdate> updates;
    {
        std::lock_guard guard(statusLock);
        updates.swap(pendingStatus);
    }
    for (const StatusUpdate& update : updates) {
        switch (update.kind) {
        case StatusUpdate::Kind::Client:
            window.SetStatusText(IDC_STATUSBAR, kClientPane, update.text.c_str());
            break;
        case StatusUpdate::Kind::Activity:
            window.SetStatusText(IDC_STATUSBAR, kActivityPane, update.text.c_str());
            break;
        case StatusUpdate::Kind::HitCount:
            window.SetItemInt(IDC_HITCOUNT, update.count, false);
            break;
        }
    }
}

void ControlPanel::DetachStatusWindow() {
    std::lock_guard guard(statusLock);
    statusWindow = nullptr;
    pendingStatus.clear();
}
