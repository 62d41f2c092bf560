#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/DialogBackend.h"
#include "ui/LinkState.h"

// A dialog toolkit without a screen: each control is a record of its text, check state, enabled state,
// slider and link state, and everything the dialog shows (message boxes, the file chooser, opened link
// targets, status texts) is recorded for the test to read.
class FakeDialogWindow final : public DialogBackend {
  public:
    FakeDialogWindow(const DialogTemplate& dialogTemplate, DialogProcedure procedure);

    struct Control {
        std::string className;
        std::string text;
        std::uint32_t style = 0;
        int checked = 0;
        bool enabled = true;
        int sliderMinimum = 0, sliderMaximum = 100, sliderPosition = 0;
        LinkState link;
    };
    struct MessageBoxRecord {
        MessageBoxOwner owner;
        std::string text, caption;
        MessageIcon icon;
    };
    struct ChooserRecord {
        std::string offered, title;
        std::vector<std::pair<std::string, std::string>> filters;
    };

    // What the user does. Each runs the messages it causes and then everything posted meanwhile.
    void Click(int id);      // a button: toggles check boxes, selects radio buttons, sends the command
    void ClickLink(int id);  // a button-up over a link
    void MoveSlider(int id, int position);
    void Type(int id, const std::string& text) { controls.at(id).text = text; }
    void Send(const DialogMessage& message);
    void RunPosted();

    const Control& At(int id) const { return controls.at(id); }
    bool Has(int id) const { return controls.count(id) != 0; }
    bool Ended() const { return ended; }
    int Result() const { return result; }
    std::string PaneText(int pane) const;
    // Every (pane, text) the status bar received, in order.
    std::vector<std::pair<int, std::string>> statusHistory;
    std::vector<int> statusPaneEdges;
    std::vector<MessageBoxRecord> messageBoxes;
    std::vector<ChooserRecord> choosers;
    std::optional<std::string> chooserAnswer;  // the path the user picks; none: Cancel
    std::vector<std::string> openedTargets;
    int WorkerNotifyCount() const;
    int UrgentNotifyCount() const;

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
    void EndDialog(int endResult) override;
    void PostCommand(int id) override;
    void PostWorkerNotify(bool urgent) override;

  private:
    Control* Find(int id);
    const Control* Find(int id) const;

    DialogProcedure procedure;
    ModalDialog* owner = nullptr;
    std::map<int, Control> controls;
    int statusBarId = -1;
    std::map<int, std::string> statusPanes;
    std::vector<int> postedCommands;
    mutable std::mutex notifyLock;
    int pendingNotifies = 0;    // guarded by notifyLock
    int notifyCount = 0;        // guarded by notifyLock
    int urgentNotifyCount = 0;  // guarded by notifyLock
    bool ended = false;
    int result = 0;
};

// Runs a dialog on a FakeDialogWindow: the font and init messages, whatever was posted, then the script
// (the user's actions), then Destroy. Returns the EndDialog result, or kNeverEnded.
class FakeDialogToolkit final : public DialogToolkit {
  public:
    static constexpr int kNeverEnded = -100;
    std::function<void(FakeDialogWindow&)> script;
    // Called before Destroy; the window is gone after RunDialog.
    std::function<void(FakeDialogWindow&)> inspect;

    int RunDialog(const DialogTemplate& dialogTemplate, DialogProcedure procedure,
                  ModalDialog* dialog) override;
};
