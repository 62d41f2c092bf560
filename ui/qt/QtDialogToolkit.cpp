#include "ui/qt/QtDialogToolkit.h"

#include <QMessageBox>
#include <algorithm>

#include "ui/qt/QtDialogWindow.h"

namespace {
constexpr int kDialogFailed = -1;
}

QtDialogToolkit::~QtDialogToolkit() {
    for (const QPointer<QMessageBox>& box : unownedBoxes) {
        delete box.data();
    }
}

bool QtDialogToolkit::RegisterControlClass(const std::string& name, ControlFactory factory) {
    return controlClasses.emplace(name, std::move(factory)).second;
}

const QtDialogToolkit::ControlFactory* QtDialogToolkit::FindControlClass(std::string_view name) const {
    const auto found = controlClasses.find(name);
    return found != controlClasses.end() ? &found->second : nullptr;
}

int QtDialogToolkit::RunDialog(const DialogTemplate& dialogTemplate, DialogProcedure procedure,
                               ModalDialog* modalDialog) {
    QtDialogWindow dialog(*this, procedure);
    if (!dialog.Build(dialogTemplate)) {
        return kDialogFailed;
    }
    running.push_back(&dialog);
    const int result = dialog.Run(modalDialog);
    running.pop_back();
    return result;
}

void QtDialogToolkit::CloseRunningDialog() {
    if (!running.empty()) {
        running.back()->CloseFromOutside();
    }
}

void QtDialogToolkit::ShowUnownedMessageBox(QMessageBox* box) {
    std::erase_if(unownedBoxes, [](const QPointer<QMessageBox>& open) { return open.isNull(); });
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    unownedBoxes.emplace_back(box);
    box->show();
    box->raise();
    box->activateWindow();
}
