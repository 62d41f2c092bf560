#pragma once

#include "ui/DialogBackend.h"
#include "ui/DialogWindow.h"

// A modal dialog run from a template, whose messages go to one virtual operation. Subclasses override
// HandleMessage; RunModal runs the dialog once and returns when it has ended.
class ModalDialog {
  public:
    ModalDialog() = default;
    virtual ~ModalDialog() = default;
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Handles one message; the result is not used. The base ends the dialog with 1 on the IDOK command
    // and with 0 on IDCANCEL and ignores everything else.
    virtual int HandleMessage(DialogWindow& dialogWindow, const DialogMessage& message);

    // Stores parameter for the subclass, runs the dialog and returns the value given to EndDialog, or -1
    // when the dialog could not be created.
    int RunModal(DialogToolkit& toolkit, const DialogTemplate& dialogTemplate, int parameter);

    // The procedure shared by all modal dialogs: from the init message on, every message of the window
    // goes to the object named by the init message; earlier messages go nowhere. Returns 0 whatever the
    // handler did.
    static int DialogProc(DialogBackend& handle, const DialogMessage& message);

  protected:
    DialogWindow window;  // empty until the init message; stale once the dialog has ended
    int parameter = 0;
};
