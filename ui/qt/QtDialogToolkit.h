#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/DialogBackend.h"

class QMessageBox;
class QtDialogWindow;

// Runs dialog templates as Qt dialogs. Custom control classes (the link) are registered by name before a
// template that uses them is run. Lives on the GUI thread, longer than every dialog it runs.
class QtDialogToolkit final : public DialogToolkit {
  public:
    // Creates one control of a custom class as a child of parent.
    using ControlFactory = std::function<QWidget*(QWidget* parent)>;

    QtDialogToolkit() = default;
    ~QtDialogToolkit() override;
    QtDialogToolkit(const QtDialogToolkit&) = delete;
    QtDialogToolkit& operator=(const QtDialogToolkit&) = delete;

    // False when the name is taken already.
    bool RegisterControlClass(const std::string& name, ControlFactory factory);
    const ControlFactory* FindControlClass(std::string_view name) const;

    int RunDialog(const DialogTemplate& dialogTemplate, DialogProcedure procedure,
                  ModalDialog* dialog) override;

    // Shows a box that belongs to no window and returns at once; the box goes when dismissed, or with
    // the toolkit.
    void ShowUnownedMessageBox(QMessageBox* box);

    // Asks the innermost running dialog to close as Esc does (the IDCANCEL command), even while a box
    // or file chooser of its own is open. When its handler ends it, those are cancelled too, so that
    // RunDialog returns. Nothing happens when no dialog runs.
    void CloseRunningDialog();

  private:
    std::vector<QtDialogWindow*> running;  // the dialogs whose RunDialog has not returned, innermost last
    std::map<std::string, ControlFactory, std::less<>> controlClasses;
    std::vector<QPointer<QMessageBox>> unownedBoxes;
};
