#include "ui/ControlPanel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

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

// The controls that must not change while the service runs, in the order they are switched.
constexpr int kRunningList[] = {IDC_AUTH,     IDC_REALM,     IDC_USER,         IDC_PASSWORD,
                                IDC_PORT,     IDC_QUALITY,   IDC_CLICK,        IDC_SCALEDOWN,
                                IDC_DRAWTIME, IDC_DESKTOP,   IDC_ACTIVEWINDOW, IDC_WINCLASS,
                                IDC_PRIORITY, IDC_MINREMAKE, IDC_RESOLVE,      IDC_TEMPLATELINK};

constexpr const char* kScreenFileName = "screen.jpg";

constexpr const char* kStartFailedText = "サービスを開始できませんでした。";
constexpr const char* kStartFailedCaption = "QV Server";
constexpr const char* kAboutText = "QV Server Version 0.2";
constexpr const char* kAboutCaption = "About";
constexpr std::size_t kAboutBytes = 256;

// The chooser's answer: the longest path the system opens.
constexpr std::size_t kChosenPathBytes = 4096;
constexpr const char* kTemplateChooserTitle = "テンプレートを選択";
constexpr FileFilter kTemplateFilters[] = {
    {"テンプレート(*.ini)", "*.INI;*.log"},
    {"全てのﾌｧｲﾙ (*.*)", "*.*"},
};

}  // namespace

ControlPanel::ControlPanel(CaptureService& service, LinkClass& links, FileLocations locations)
    : service(service), links(links), locations(std::move(locations)) {}

ControlPanel::ControlPanel(CaptureService& service, LinkClass& links, std::string executablePath)
    : ControlPanel(service, links,
                   FileLocations::BesideExecutable(executablePath, platform::files::kPathSeparator)) {}

std::string ControlPanel::WorkingFile(const char* fileName) const {
    return locations.PathOf(fileName);
}

int ControlPanel::HandleMessage(DialogWindow& /*dialogWindow*/, const DialogMessage& message) {
    std::visit(MessageHandlers{
                   [this](const dialog_message::InitDialog&) { InitDialog(); },
                   [this](const dialog_message::Command& command) { OnCommand(command.id); },
                   [this](const dialog_message::HorizontalScroll&) {
                       ShowPriority(window.SliderPosition(IDC_PRIORITY));
                   },
                   [this](const dialog_message::LinkClicked& click) { OnLinkClicked(click.notifyId); },
                   [this](const dialog_message::WorkerNotify&) { ApplyQueuedStatus(); },
                   [this](const dialog_message::Destroy&) { DetachStatusWindow(); },
                   [](const dialog_message::SetFont&) {},
               },
               message);
    return 0;
}

void ControlPanel::OnCommand(int id) {
    switch (id) {
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
}

void ControlPanel::InitDialog() {
    service.ShowStartupPicture();

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
        window.SendItemMessage(link, link_message::AlignRight{});
        window.SendItemMessage(link, link_message::SetNotify{window.Target(), link});
    }
}

void ControlPanel::StartService() {
    // The service takes its copy of the settings here and keeps it unchanged while it runs.
    if (serviceRunning != 0) {
        return;
    }
    // A session nothing can capture would be served as the start-up picture for ever: say why instead.
    if (const std::string problem = platform::ScreenCaptureProblem(); !problem.empty()) {
        const std::string text = std::string(kStartFailedText) + "\n" + problem;
        window.ShowMessageBox(MessageBoxOwner::Dialog, text.c_str(), kStartFailedCaption,
                              MessageIcon::Warning);
        return;
    }
    if (service.Start(SettingsFromControls()) != StartResult::Failed) {
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
    platform::files::RemoveFile(WorkingFile(kScreenFileName).c_str());
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
    service.EditSettings([position](Settings& values) { values.priority = position; });
}

void ControlPanel::OnLinkClicked(int linkId) {
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
    char path[kChosenPathBytes] = {};
    std::snprintf(path, sizeof path, "%s", WorkingFile(settings::kDefaultTemplateName).c_str());
    FileChooser chooser;
    chooser.ChooseOpenFile(window, path, sizeof path, kTemplateChooserTitle, kTemplateFilters);
    LoadSettings(path);
}
