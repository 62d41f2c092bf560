#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <map>

#include "ui/DialogBackend.h"
#include "ui/DialogUnits.h"
#include "ui/qt/QtDialogFont.h"

class QtDialogToolkit;
class StatusBarWidget;

// One dialog of a template as a QDialog: every control a child widget placed by dialog units, every
// message handed to the dialog procedure. Esc and the title bar's close button arrive as IDCANCEL
// commands; the window closes only when the handler ends the dialog.
class QtDialogWindow final : public QDialog, public DialogBackend {
    Q_OBJECT

  public:
    QtDialogWindow(QtDialogToolkit& toolkit, DialogProcedure procedure);

    // Creates the controls; false when the template names a class nobody registered.
    bool Build(const DialogTemplate& dialogTemplate);
    // Sends the font and init messages, shows the window and waits until the handler ends the dialog,
    // sends Destroy; returns the EndDialog result.
    int Run(ModalDialog* dialog);
    DialogBaseUnits BaseUnits() const { return baseUnits; }

    // Hands message to the procedure; once the dialog has ended only Destroy gets through.
    int Deliver(const DialogMessage& message) override;
    ModalDialog* Owner() const override { return owner; }
    void SetOwner(ModalDialog* newOwner) override { owner = newOwner; }
    int IsChecked(int id) const override;
    void SetChecked(int id, int state) override;
    bool SetItemText(int id, const std::string& text) override;
    std::string ItemText(int id) const override;
    bool EnableItem(int id, bool enable) override;
    void SetSliderRange(int id, int minimum, int maximum) override;
    void SetSliderPosition(int id, int position) override;
    int SliderPosition(int id) const override;
    bool SendItemMessage(int id, const LinkMessage& message) override;
    const DialogFont* ItemFont(int id) const override;
    bool CreateStatusBar(int id, std::span<const int> paneRightEdges) override;
    bool SetStatusText(int id, int pane, const std::string& text) override;
    int ShowMessageBox(MessageBoxOwner boxOwner, const std::string& text, const std::string& caption,
                       MessageIcon icon) override;
    bool ChooseOpenFile(char* buffer, std::size_t size, const std::string& title,
                        std::span<const FileFilter> filters) override;
    void EndDialog(int result) override;
    void PostCommand(int id) override;
    void PostWorkerNotify(bool urgent) override;

    // Sends the IDCANCEL command as Esc would, whatever window has the keyboard. When the handler ends
    // the dialog, every modal box or chooser still open over it is cancelled.
    void CloseFromOutside();

  protected:
    void reject() override;

  private:
    // Where a control without a text of its own (the slider) keeps the text it was given.
    static constexpr const char* kTextProperty = "qvWindowText";

    Q_INVOKABLE void DeliverWorkerNotify();
    Q_INVOKABLE void DeliverWorkerNotifyNow();
    QWidget* CreateControl(const ControlTemplate& control);
    QWidget* Item(int id) const;
    QRect PixelRect(const ControlTemplate& control) const;

    QtDialogToolkit& toolkit;
    DialogProcedure procedure;
    ModalDialog* owner = nullptr;
    DialogFont dialogFont;
    DialogBaseUnits baseUnits{};
    std::map<int, QWidget*> items;    // children by control id; Qt owns them
    QEventLoop* modalLoop = nullptr;  // the loop Run waits in, while it does
    bool ended = false;
    int endResult = 0;
    QElapsedTimer lastWorkerNotify;
    QTimer workerNotifyTimer;  // holds back a notify that comes too soon after the last one
};
