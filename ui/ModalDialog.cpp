#include "ui/ModalDialog.h"

int ModalDialog::HandleMessage(DialogWindow& dialogWindow, unsigned message, std::uintptr_t wParam,
                               std::intptr_t /*lParam*/) {
    if (message != message::kCommand) {
        return 0;
    }
    switch (CommandId(wParam)) {
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
    return toolkit.RunDialog(dialogTemplate, &ModalDialog::DialogProc, reinterpret_cast<std::intptr_t>(this));
}

int ModalDialog::DialogProc(DialogBackend& handle, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (ModalDialog* owner = handle.Owner()) {
        owner->HandleMessage(owner->window, message, wParam, lParam);
    } else if (message == message::kInitDialog) {
        owner = reinterpret_cast<ModalDialog*>(lParam);
        handle.SetOwner(owner);
        owner->window = DialogWindow(&handle);
        owner->HandleMessage(owner->window, message, wParam, lParam);
    }
    return 0;
}
