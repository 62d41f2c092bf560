#include <cstring>

#include "platform/Profile.h"
#include "service/CaptureService.h"
#include "service/Settings.h"
#include "service/SettingsKeys.h"
#include "ui/ControlPanel.h"
#include "ui/ControlPanelTemplate.h"

// The settings file and Start see the controls as one Settings value. Every key with a control of its own
// is bound to it here: a number to an edit field (shown unsigned), a text to an edit field, a flag to a
// check box. The priority slider, the desktop radio pair and the Run flag have rules of their own below.

namespace {

struct ControlBinding {
    const char* section;
    const char* key;
    int control;
};

constexpr ControlBinding kBindings[] = {
    {"IMAGE", "Quality", IDC_QUALITY},
    {"WWW", "Port", IDC_PORT},
    {"WWW", "Realm", IDC_REALM},
    {"WWW", "User", IDC_USER},
    {"WWW", "Pass", IDC_PASSWORD},
    {"WWW", "Authenticate", IDC_AUTH},
    {"QV", "EnableClick", IDC_CLICK},
    {"QV", "MinRemake", IDC_MINREMAKE},
    {"QV", "ScaleDwonImage", IDC_SCALEDOWN},
    {"QV", "DrawTime", IDC_DRAWTIME},
    {"QV", "ResolveHostname", IDC_RESOLVE},
    {"TARGET", "WinClass", IDC_WINCLASS},
};

}  // namespace

Settings ControlPanel::SettingsFromControls() const {
    Settings values;
    for (const ControlBinding& binding : kBindings) {
        const settings::SettingKey& key = *settings::FindKey(binding.section, binding.key);
        switch (key.kind) {
            case settings::ValueKind::Number:
                values.*key.number =
                    static_cast<std::int32_t>(window.GetItemInt(binding.control, nullptr, false));
                break;
            case settings::ValueKind::Text: {
                char text[settings::kValueBytes];
                window.GetItemText(binding.control, text, sizeof text);
                values.*key.text = text;
                break;
            }
            case settings::ValueKind::Flag:
                values.*key.flag = window.IsChecked(binding.control) != 0;
                break;
        }
    }
    values.priority = window.SliderPosition(IDC_PRIORITY);
    // The active-window button is the desktop button's opposite; the file keeps the desktop one alone.
    values.targetDesktop = window.IsChecked(IDC_DESKTOP) != 0;
    values.run = serviceRunning != 0;
    return values;
}

void ControlPanel::ShowSettings(const Settings& values) {
    for (const ControlBinding& binding : kBindings) {
        const settings::SettingKey& key = *settings::FindKey(binding.section, binding.key);
        switch (key.kind) {
            case settings::ValueKind::Number:
                window.SetItemInt(binding.control, static_cast<std::uint32_t>(values.*key.number), false);
                break;
            case settings::ValueKind::Text:
                window.SetItemText(binding.control, (values.*key.text).c_str());
                break;
            case settings::ValueKind::Flag:
                window.SetChecked(binding.control, values.*key.flag ? 1 : 0);
                break;
        }
    }
    // The slider keeps the position within its range; the label and the service follow the slider.
    window.SetSliderPosition(IDC_PRIORITY, values.priority);
    ShowPriority(window.SliderPosition(IDC_PRIORITY));
    window.SetChecked(IDC_DESKTOP, values.targetDesktop ? 1 : 0);
    window.SetChecked(IDC_ACTIVEWINDOW, values.targetDesktop ? 0 : 1);
}

int ControlPanel::LoadSettings(const char* path) {
    const std::string currentPath = WorkingFile(settings::kCurrentFileName);
    if (path == nullptr) {
        path = currentPath.c_str();
    }
    const Settings values = settings::Load(path);
    ShowSettings(values);
    if (values.run) {
        window.PostCommand(IDOK);
    }
    return 1;
}

// current.ini holds the password in plain, so only its owner may read it.
int ControlPanel::SaveSettings() {
    const std::string path = WorkingFile(settings::kCurrentFileName);
    settings::Save(SettingsFromControls(), path.c_str(), true);
    return 1;
}
