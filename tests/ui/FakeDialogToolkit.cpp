#include "FakeDialogToolkit.h"

#include <algorithm>
#include <cstring>

FakeDialogWindow::FakeDialogWindow(const DialogTemplate& dialogTemplate, DialogProcedure procedure)
    : procedure(procedure) {
    for (const ControlTemplate& control : dialogTemplate.controls) {
        if (control.id != kNoControlId) {
            Control& record = controls[control.id];
            record.className = control.className;
            record.text = control.text;
            record.style = control.style;
        }
    }
}

FakeDialogWindow::Control* FakeDialogWindow::Find(int id) {
    const auto found = controls.find(id);
    return found != controls.end() ? &found->second : nullptr;
}

const FakeDialogWindow::Control* FakeDialogWindow::Find(int id) const {
    const auto found = controls.find(id);
    return found != controls.end() ? &found->second : nullptr;
}

void FakeDialogWindow::Click(int id) {
    Control& control = controls.at(id);
    if (!control.enabled) {
        return;
    }
    if ((control.style & control_style::kAutoCheckBox) != 0) {
        control.checked = control.checked != 0 ? 0 : 1;
    } else if ((control.style & control_style::kAutoRadioButton) != 0) {
        for (auto& [otherId, other] : controls) {
            if ((other.style & control_style::kAutoRadioButton) != 0) {
                other.checked = otherId == id ? 1 : 0;
            }
        }
    }
    Send(dialog_message::Command{id});
}

void FakeDialogWindow::ClickLink(int id) {
    Control& control = controls.at(id);
    if (!control.enabled) {
        return;
    }
    std::string target;
    if (::ClickLink(control.link, control.text, &target) == LinkClick::OpenTarget) {
        openedTargets.push_back(target);
    }
    RunPosted();
}

void FakeDialogWindow::MoveSlider(int id, int position) {
    Control& control = controls.at(id);
    if (!control.enabled) {
        return;
    }
    control.sliderPosition = std::clamp(position, control.sliderMinimum, control.sliderMaximum);
    Send(dialog_message::HorizontalScroll{id});
}

void FakeDialogWindow::Send(const DialogMessage& message) {
    Deliver(message);
    RunPosted();
}

void FakeDialogWindow::RunPosted() {
    while (!ended) {
        bool notify = false;
        {
            std::lock_guard guard(notifyLock);
            if (pendingNotifies > 0) {
                --pendingNotifies;
                notify = true;
            }
        }
        if (notify) {
            Deliver(dialog_message::WorkerNotify{});
        } else if (!postedCommands.empty()) {
            const int id = postedCommands.front();
            postedCommands.erase(postedCommands.begin());
            Deliver(dialog_message::Command{id});
        } else {
            break;
        }
    }
}

std::string FakeDialogWindow::PaneText(int pane) const {
    const auto found = statusPanes.find(pane);
    return found != statusPanes.end() ? found->second : std::string();
}

int FakeDialogWindow::WorkerNotifyCount() const {
    std::lock_guard guard(notifyLock);
    return notifyCount;
}

int FakeDialogWindow::UrgentNotifyCount() const {
    std::lock_guard guard(notifyLock);
    return urgentNotifyCount;
}

int FakeDialogWindow::Deliver(const DialogMessage& message) {
    return procedure(*this, message);
}

int FakeDialogWindow::IsChecked(int id) const {
    const Control* control = Find(id);
    return control != nullptr ? control->checked : 0;
}

void FakeDialogWindow::SetChecked(int id, int state) {
    if (Control* control = Find(id)) {
        control->checked = state;
    }
}

bool FakeDialogWindow::SetItemText(int id, const std::string& text) {
    Control* control = Find(id);
    if (control == nullptr) {
        return false;
    }
    control->text = text;
    return true;
}

std::string FakeDialogWindow::ItemText(int id) const {
    const Control* control = Find(id);
    return control != nullptr ? control->text : std::string();
}

bool FakeDialogWindow::EnableItem(int id, bool enable) {
    Control* control = Find(id);
    if (control == nullptr) {
        return false;
    }
    control->enabled = enable;
    return true;
}

void FakeDialogWindow::SetSliderRange(int id, int minimum, int maximum) {
    if (Control* control = Find(id)) {
        control->sliderMinimum = minimum;
        control->sliderMaximum = maximum;
        control->sliderPosition = std::clamp(control->sliderPosition, minimum, maximum);
    }
}

void FakeDialogWindow::SetSliderPosition(int id, int position) {
    if (Control* control = Find(id)) {
        control->sliderPosition = std::clamp(position, control->sliderMinimum, control->sliderMaximum);
    }
}

int FakeDialogWindow::SliderPosition(int id) const {
    const Control* control = Find(id);
    return control != nullptr ? control->sliderPosition : 0;
}

bool FakeDialogWindow::SendItemMessage(int id, const LinkMessage& message) {
    Control* control = Find(id);
    if (control == nullptr || control->className != kLinkClassName) {
        return false;
    }
    ApplyLinkMessage(control->link, message);
    return true;
}

const DialogFont* FakeDialogWindow::ItemFont(int /*id*/) const {
    return nullptr;
}

bool FakeDialogWindow::CreateStatusBar(int id, std::span<const int> paneRightEdges) {
    statusBarId = id;
    statusPaneEdges.assign(paneRightEdges.begin(), paneRightEdges.end());
    return true;
}

bool FakeDialogWindow::SetStatusText(int id, int pane, const std::string& text) {
    if (id != statusBarId || pane < 0 || pane >= static_cast<int>(statusPaneEdges.size())) {
        return false;
    }
    statusPanes[pane] = text;
    statusHistory.emplace_back(pane, text);
    return true;
}

int FakeDialogWindow::ShowMessageBox(MessageBoxOwner boxOwner, const std::string& text,
                                     const std::string& caption, MessageIcon icon) {
    messageBoxes.push_back({boxOwner, text, caption, icon});
    return IDOK;
}

bool FakeDialogWindow::ChooseOpenFile(char* buffer, std::size_t size, const std::string& title,
                                      std::span<const FileFilter> filters) {
    ChooserRecord record{buffer, title, {}};
    for (const FileFilter& filter : filters) {
        record.filters.emplace_back(filter.display, filter.pattern);
    }
    choosers.push_back(record);
    if (!chooserAnswer || chooserAnswer->size() >= size) {
        return false;
    }
    std::memcpy(buffer, chooserAnswer->c_str(), chooserAnswer->size() + 1);
    return true;
}

void FakeDialogWindow::EndDialog(int endResult) {
    ended = true;
    result = endResult;
}

void FakeDialogWindow::PostCommand(int id) {
    postedCommands.push_back(id);
}

void FakeDialogWindow::PostWorkerNotify(bool urgent) {
    std::lock_guard guard(notifyLock);
    urgentNotifyCount += urgent ? 1 : 0;
    ++pendingNotifies;
    ++notifyCount;
}

int FakeDialogToolkit::RunDialog(const DialogTemplate& dialogTemplate, DialogProcedure procedure,
                                 ModalDialog* dialog) {
    FakeDialogWindow window(dialogTemplate, procedure);
    window.Deliver(dialog_message::SetFont{});
    window.Deliver(dialog_message::InitDialog{dialog});
    window.RunPosted();
    if (script && !window.Ended()) {
        script(window);
    }
    if (inspect) {
        inspect(window);
    }
    window.Deliver(dialog_message::Destroy{});
    return window.Ended() ? window.Result() : kNeverEnded;
}
