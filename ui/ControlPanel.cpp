#include "ui/ControlPanel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "common/ModulePath.h"
#include "platform/Files.h"
#include "platform/ScreenBackend.h"
#include "service/CaptureService.h"
#include "service/SettingsKeys.h"
#include "ui/ControlPanelTemplate.h"
#include "ui/FileChooser.h"
#include "ui/LinkClass.h"

namespace {

// The status bar's panes: the client note, then the capture activity; right edges in pixels.
constexpr int kStatusPaneEdges[] = {250, 340};

// Credentials and realm are read from their fields with this bound, so "user:password" fits the
// service's 200 bytes.
constexpr std::size_t kFieldTextBytes = 100;

// The controls that must not change while the service runs, in the order they are switched.
constexpr int kRunningList[] = {IDC_AUTH,     IDC_REALM,     IDC_USER,         IDC_PASSWORD,
                                IDC_PORT,     IDC_QUALITY,   IDC_CLICK,        IDC_SCALEDOWN,
                                IDC_DRAWTIME, IDC_DESKTOP,   IDC_ACTIVEWINDOW, IDC_WINCLASS,
                                IDC_PRIORITY, IDC_MINREMAKE, IDC_RESOLVE,      IDC_TEMPLATELINK};

constexpr int kMaxQuality = 100;

constexpr const char* kScreenFileName = "screen.jpg";
constexpr const char* kWaitPictureName = "data/wait.jpg";

constexpr const char* kStartFailedText = "サービスを開始できませんでした。";
constexpr const char* kStartFailedCaption = "QV Server";
constexpr const char* kAboutText = "QV Server Version 0.2";
constexpr const char* kAboutCaption = "About";
constexpr std::size_t kAboutBytes = 256;

constexpr const char* kTemplateChooserTitle = "テンプレートを選択";
constexpr FileFilter kTemplateFilters[] = {
    {"テンプレート(*.ini)", "*.INI;*.log"},
    {"全てのﾌｧｲﾙ (*.*)", "*.*"},
};

}  // namespace

ControlPanel::ControlPanel(CaptureService& service, LinkClass& links, std::string executablePath)
    : service(service), links(links), executablePath(std::move(executablePath)) {}

char* ControlPanel::WorkingFile(char* buffer, const char* fileName) const {
    return ModulePath(buffer, kMaxPath, executablePath, fileName, platform::files::kPathSeparator);
}

int ControlPanel::HandleMessage(DialogWindow& /*dialogWindow*/, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
    switch (message) {
    case message::kInitDialog:
        InitDialog();
        break;
    case message::kCommand:
        switch (CommandId(wParam)) {
        case IDOK:
            StartService();
            break;
        case IDC_STOP:
            StopService();
            break;
        case IDCANCEL:
            Close();
            break;
        default:
            break;
        }
        break;
    case message::kHorizontalScroll:
        ShowPriority(window.SliderPosition(IDC_PRIORITY));
        break;
    case LCM_NOTIFY:
        OnLinkClicked(lParam);
        break;
    case message::kWorkerNotify:
        ApplyQueuedStatus();
        break;
    case message::kDestroy:
        DetachStatusWindow();
        break;
    default:
        break;
    }
    return 0;
}

void ControlPanel::InitDialog() {
    char screenPath[kMaxPath];
    char waitPath[kMaxPath];
    WorkingFile(screenPath, kScreenFileName);
    WorkingFile(waitPath, kWaitPictureName);
    platform::files::RemoveFile(screenPath);
    platform::files::CopyFileUnlessExists(waitPath, screenPath);

    window.CreateStatusBar(IDC_STATUSBAR, kStatusPaneEdges);
    {
        std::lock_guard guard(statusLock);
        statusWindow = window.Backend();
    }
    window.SetSliderRange(IDC_PRIORITY, 0, settings::kMaxPriority);

    LoadSettings(nullptr);

    window.EnableItem(IDOK, true);
    window.EnableItem(IDC_STOP, false);
    serviceRunning = 0;

    links.CreateLinkFont(window.GetItemFont(IDC_QUALITYLABEL));
    for (const int link : {IDC_VERSIONLINK, IDC_TEMPLATELINK}) {
        window.SendItemMessage(link, LCM_ALIGNRIGHT, 0, 0);
        window.SendItemMessage(link, LCM_NOTIFY, TargetParam(window.Target()), link);
    }
}

void ControlPanel::StartService() {
    // The service's settings are read by its threads without a lock: they change only while it is stopped.
    if (serviceRunning != 0) {
        return;
    }
    const auto port = static_cast<int>(window.GetItemInt(IDC_PORT, nullptr, false));
    const auto quality = static_cast<std::int32_t>(window.GetItemInt(IDC_QUALITY, nullptr, false));
    service.quality = std::min(quality, kMaxQuality);

    char user[kFieldTextBytes];
    char password[kFieldTextBytes];
    char realm[kFieldTextBytes];
    window.GetItemText(IDC_USER, user, sizeof user);
    window.GetItemText(IDC_PASSWORD, password, sizeof password);
    window.GetItemText(IDC_REALM, realm, sizeof realm);

    service.targetDesktop = window.IsChecked(IDC_DESKTOP) != 0 ? 1 : 0;
    service.scaleDown = window.IsChecked(IDC_SCALEDOWN) != 0 ? 1 : 0;
    window.GetItemText(IDC_WINCLASS, service.windowClass, sizeof service.windowClass);
    service.drawTime = window.IsChecked(IDC_DRAWTIME) != 0 ? 1 : 0;
    service.resolveHostname = window.IsChecked(IDC_RESOLVE) != 0 ? 1 : 0;
    service.authenticate = window.IsChecked(IDC_AUTH) != 0 ? 1 : 0;
    service.enableClick = window.IsChecked(IDC_CLICK) != 0 ? 1 : 0;
    service.SetCredentials(realm, user, password);
    service.minRemake = window.GetItemInt(IDC_MINREMAKE, nullptr, false);

    // A session nothing can capture would be served as the start-up picture for ever: say why instead.
    if (const std::string problem = platform::ScreenCaptureProblem(); !problem.empty()) {
        const std::string text = std::string(kStartFailedText) + "\n" + problem;
        window.ShowMessageBox(MessageBoxOwner::Dialog, text.c_str(), kStartFailedCaption, MessageIcon::Warning);
        return;
    }
    if (service.Start(port) != StartResult::Failed) {
        window.EnableItem(IDOK, false);
        window.EnableItem(IDC_STOP, true);
        EnableRunningList(false);
        serviceRunning = 1;
    } else {
        window.ShowMessageBox(MessageBoxOwner::Dialog, kStartFailedText, kStartFailedCaption,
                              MessageIcon::Warning);
    }
}

void ControlPanel::StopService() {
    service.Stop();
    window.EnableItem(IDOK, true);
    window.EnableItem(IDC_STOP, false);
    EnableRunningList(true);
    serviceRunning = 0;
}

// Closing leaves the service running; the program stops it once the dialog is gone.
void ControlPanel::Close() {
    char screenPath[kMaxPath];
    platform::files::RemoveFile(WorkingFile(screenPath, kScreenFileName));
    SaveSettings();
    window.EndDialog(0);
}

void ControlPanel::EnableRunningList(bool enable) {
    for (const int id : kRunningList) {
        window.EnableItem(id, enable);
    }
}

void ControlPanel::ShowPriority(int position) {
    position = std::clamp(position, 0, settings::kMaxPriority);
    window.SetItemText(IDC_PRIORITYNAME, kPriorityNames[position]);
    service.priority = position;
}

void ControlPanel::OnLinkClicked(std::intptr_t linkId) {
    if (linkId == IDC_VERSIONLINK) {
        char about[kAboutBytes];
        std::snprintf(about, sizeof about, "%s\r\n", kAboutText);
        window.ShowMessageBox(MessageBoxOwner::None, about, kAboutCaption, MessageIcon::None);
    } else if (linkId == IDC_TEMPLATELINK) {
        ChooseTemplate();
    }
}

// A cancelled chooser leaves default.ini in the buffer, and that is loaded: the user gets the defaults
// back.
void ControlPanel::ChooseTemplate() {
    char path[kMaxPath] = {};
    WorkingFile(path, settings::kDefaultTemplateName);
    FileChooser chooser;
    chooser.ChooseOpenFile(window, path, sizeof path, kTemplateChooserTitle, kTemplateFilters);
    LoadSettings(path);
}
