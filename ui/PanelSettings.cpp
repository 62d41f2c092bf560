#include <cstdio>

#include "platform/Profile.h"
#include "service/CaptureService.h"
#include "service/SettingsKeys.h"
#include "ui/ControlPanel.h"
#include "ui/ControlPanelTemplate.h"

// The settings file: every key is read or written with its own profile call, in a fixed order, so that a
// file written from scratch lists its sections and keys in that order and an existing file keeps its own.

namespace {

constexpr std::size_t kNumberBytes = 16;

class SettingsReader {
public:
    explicit SettingsReader(const char* path) : path(path) {}

    const char* Read(const settings::SettingKey& key) {
        platform::profile::ReadString(key.section, key.key, key.defaultValue, value, sizeof value, path);
        return value;
    }
    std::uint32_t Number(const settings::SettingKey& key) {
        return static_cast<std::uint32_t>(settings::ParseNumber(Read(key)));
    }
    bool Flag(const settings::SettingKey& key) { return settings::ParseFlag(Read(key)); }

private:
    const char* path;
    char value[settings::kValueBytes];
};

class SettingsWriter {
public:
    SettingsWriter(const DialogWindow& dialogWindow, const char* path) : dialogWindow(dialogWindow), path(path) {}

    void Write(const settings::SettingKey& key, const char* value) {
        platform::profile::WriteString(key.section, key.key, value, path);
    }
    void Number(const settings::SettingKey& key, std::int32_t value) {
        char text[kNumberBytes];
        std::snprintf(text, sizeof text, "%d", value);
        Write(key, text);
    }
    void NumberField(const settings::SettingKey& key, int id) {
        Number(key, static_cast<std::int32_t>(dialogWindow.GetItemInt(id, nullptr, false)));
    }
    void TextField(const settings::SettingKey& key, int id) {
        char text[settings::kValueBytes];
        dialogWindow.GetItemText(id, text, sizeof text);
        Write(key, text);
    }
    void Flag(const settings::SettingKey& key, bool set) { Write(key, settings::FormatFlag(set)); }
    void CheckBox(const settings::SettingKey& key, int id) { Flag(key, dialogWindow.IsChecked(id) != 0); }

private:
    const DialogWindow& dialogWindow;
    const char* path;
};

}  // namespace

int ControlPanel::LoadSettings(const char* path) {
    const std::string currentPath = WorkingFile(settings::kCurrentFileName);
    if (path == nullptr) {
        path = currentPath.c_str();
    }
    SettingsReader file(path);
    window.SetItemInt(IDC_QUALITY, file.Number(settings::kQuality), false);
    window.SetItemInt(IDC_PORT, file.Number(settings::kPort), false);
    window.SetItemText(IDC_REALM, file.Read(settings::kRealm));
    window.SetItemText(IDC_USER, file.Read(settings::kUser));
    window.SetItemText(IDC_PASSWORD, file.Read(settings::kPass));
    window.SetChecked(IDC_CLICK, file.Flag(settings::kEnableClick) ? 1 : 0);
    window.SetChecked(IDC_SCALEDOWN, file.Flag(settings::kScaleDown) ? 1 : 0);
    window.SetChecked(IDC_DRAWTIME, file.Flag(settings::kDrawTime) ? 1 : 0);
    window.SetChecked(IDC_RESOLVE, file.Flag(settings::kResolveHostname) ? 1 : 0);

    // The slider keeps the position within its range; the label and the service follow the slider.
    window.SetSliderPosition(IDC_PRIORITY, static_cast<std::int32_t>(file.Number(settings::kPriority)));
    ShowPriority(window.SliderPosition(IDC_PRIORITY));

    window.SetItemInt(IDC_MINREMAKE, file.Number(settings::kMinRemake), false);
    window.SetChecked(IDC_AUTH, file.Flag(settings::kAuthenticate) ? 1 : 0);
    const bool desktop = file.Flag(settings::kDesktop);
    window.SetChecked(IDC_DESKTOP, desktop ? 1 : 0);
    window.SetChecked(IDC_ACTIVEWINDOW, desktop ? 0 : 1);
    window.SetItemText(IDC_WINCLASS, file.Read(settings::kWinClass));
    if (file.Flag(settings::kRun)) {
        window.PostCommand(IDOK);
    }
    return 1;
}

int ControlPanel::SaveSettings() {
    const std::string path = WorkingFile(settings::kCurrentFileName);
    SettingsWriter file(window, path.c_str());
    file.NumberField(settings::kQuality, IDC_QUALITY);
    file.NumberField(settings::kPort, IDC_PORT);
    file.TextField(settings::kRealm, IDC_REALM);
    file.TextField(settings::kUser, IDC_USER);
    file.TextField(settings::kPass, IDC_PASSWORD);
    file.CheckBox(settings::kEnableClick, IDC_CLICK);
    file.Number(settings::kPriority, window.SliderPosition(IDC_PRIORITY));
    file.NumberField(settings::kMinRemake, IDC_MINREMAKE);
    file.CheckBox(settings::kScaleDown, IDC_SCALEDOWN);
    file.CheckBox(settings::kDrawTime, IDC_DRAWTIME);
    file.CheckBox(settings::kResolveHostname, IDC_RESOLVE);
    file.CheckBox(settings::kAuthenticate, IDC_AUTH);
    file.CheckBox(settings::kDesktop, IDC_DESKTOP);
    file.TextField(settings::kWinClass, IDC_WINCLASS);
    file.Flag(settings::kRun, serviceRunning != 0);
    return 1;
}
