#pragma once

#include "ui/win32/WindowsApi.h"

#include <atomic>

#include "ui/DialogBackend.h"
#include "ui/win32/Win32DialogFont.h"

// One dialog of a template on the system's dialog manager: DialogBoxIndirectParam runs it, and its dialog
// procedure turns each native message the framework knows into the typed message of the same number.
// Esc and the title bar's close button arrive as IDCANCEL commands (the dialog manager makes them); the
// session's end closes the dialog the same way, so that the handler saves what it saves on Esc.
class Win32DialogWindow final : public DialogBackend {
  public:
    explicit Win32DialogWindow(DialogProcedure procedure) : procedure(procedure) {}

    // Runs the dialog from its native template; -1 when it could not be created.
    int Run(const DLGTEMPLATE* nativeTemplate, ModalDialog* dialog);
    HWND Handle() const { return window; }

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

  private:
    static INT_PTR CALLBACK NativeProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleNative(UINT message, WPARAM wParam, LPARAM lParam);
    void DeliverWorkerNotify(bool urgent);
    HWND Item(int id) const;

    DialogProcedure procedure;
    ModalDialog* owner = nullptr;
    ModalDialog* initialOwner = nullptr;  // what the init message carries
    std::atomic<HWND> window{nullptr};
    DialogFont dialogFont;
    bool ended = false;
    DWORD lastWorkerNotify = 0;
    bool workerNotifyHeld = false;  // a timer delivers the notify that came too soon after the last one
};
