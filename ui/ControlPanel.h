#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "common/FileLocations.h"
#include "common/StatusSink.h"
#include "ui/ModalDialog.h"

class CaptureService;
class LinkClass;
struct Settings;

inline constexpr int kPriorityCount = 5;
// The names beside the priority slider, by position.
inline constexpr const char* kPriorityNames[kPriorityCount] = {"アイドル", "低", "通常", "高", "最高"};

// The program's window: the settings in its controls, Start and Stop of the service, and the status of the
// running service. Every handler runs on the GUI thread; the status notifications come from the service's
// threads and only queue their news for the GUI thread.
class ControlPanel : public ModalDialog, public StatusSink {
  public:
    // The working files live where locations says; with an executable's path, all beside it.
    ControlPanel(CaptureService& service, LinkClass& links, FileLocations locations);
    ControlPanel(CaptureService& service, LinkClass& links, std::string executablePath);

    int HandleMessage(DialogWindow& dialogWindow, const DialogMessage& message) override;

    // Loads a settings file (null: current.ini) into the controls and the capture priority into the service;
    // posts Start when its Run flag is set. Returns 1.
    int LoadSettings(const char* path);
    // Writes every setting from the controls to current.ini. Returns 1.
    int SaveSettings();

    void SetStatusClient(const char* text) override;
    void SetStatusActivity(const char* text) override;
    void SetHitCount(std::uint32_t count) override;

  private:
    void InitDialog();
    void StartService();
    void StopService();
    void Close();
    void EnableRunningList(bool enable);
    void ShowPriority(int position);
    // The settings as the controls show them, and the controls showing the settings.
    Settings SettingsFromControls() const;
    void ShowSettings(const Settings& values);
    void OnCommand(int id);
    void OnLinkClicked(int linkId);
    void ChooseTemplate();
    std::string WorkingFile(const char* fileName) const;

    // The latest news of each kind not yet shown; older news of a kind is replaced, never shown late.
    struct StatusNews {
        std::string client;
        std::string activity;
        std::uint32_t hitCount = 0;
        bool clientChanged = false;
        bool activityChanged = false;
        bool hitCountChanged = false;
        bool Any() const { return clientChanged || activityChanged || hitCountChanged; }
    };
    // Records news under the lock and asks the dialog for a notify message when there was none pending.
    template <typename Update>
    void QueueStatus(Update update, bool urgent);
    void ApplyQueuedStatus();
    void DetachStatusWindow();

    CaptureService& service;
    LinkClass& links;
    const FileLocations locations;
    int serviceRunning = 0;  // saved as Run

    // Status news from the service's threads, shown by the GUI thread.
    std::mutex statusLock;
    StatusNews pendingStatus;               // guarded by statusLock
    DialogBackend* statusWindow = nullptr;  // guarded by statusLock; set while the dialog lives
};
