#include "ui/ModalDialog.h"

int ModalDialog::HandleMessage(DialogWindow& dialogWindow, const DialogMessage& message) {
    const dialog_message::Command* command = AsCommand(message);
    if (command == nullptr) {
        return 0;
    }
    switch (command->id) {
        case IDOK:
            dialogWindow.EndDialog(1);
            break;
        case IDCANCEL:
            dialogWindow.EndDialog(0);
            break;
        default:
            break;
    }
    return 0;
}

int ModalDialog::RunModal(DialogToolkit& toolkit, const DialogTemplate& dialogTemplate, int runParameter) {
    parameter = runParameter;
    return toolkit.RunDialog(dialogTemplate, &ModalDialog::DialogProc, this);
}

int ModalDialog::DialogProc(DialogBackend& handle, const DialogMessage& message) {
    if (ModalDialog* owner = handle.Owner()) {
        owner->HandleMessage(owner->window, message);
    } else if (const auto* init = std::get_if<dialog_message::InitDialog>(&message)) {
        owner = init->dialog;
        handle.SetOwner(owner);
        owner->window = DialogWindow(&handle);
        owner->HandleMessage(owner->window, message);
    }
    return 0;
}
