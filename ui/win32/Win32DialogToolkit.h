#pragma once

#include "ui/DialogBackend.h"

// Runs dialog templates on the system's dialog manager, each built in memory as a native template.
// Controls of custom classes (the link) need their window class registered before the template runs.
class Win32DialogToolkit final : public DialogToolkit {
  public:
    // Loads the common controls the templates use (trackbar, status bar).
    Win32DialogToolkit();

    int RunDialog(const DialogTemplate& dialogTemplate, DialogProcedure procedure,
                  ModalDialog* dialog) override;
};
