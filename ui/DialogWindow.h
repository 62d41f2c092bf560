#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ui/DialogBackend.h"

// A dialog window as its handler sees it: a handle to the live window with accessors by control id.
// Constructed empty; it never owns the window and goes stale when the window is gone.
class DialogWindow {
  public:
    DialogWindow() = default;
    explicit DialogWindow(DialogBackend* backend) : backend(backend) {}

    DialogBackend* Backend() const { return backend; }
    MessageTarget* Target() const { return backend; }

    int IsChecked(int id) const;
    void SetChecked(int id, int state);
    bool SetItemText(int id, const char* text);
    // Copies at most size - 1 bytes of the control's text, never splitting a character, and ends it with
    // a NUL. Returns the number of bytes copied.
    std::size_t GetItemText(int id, char* buffer, std::size_t size) const;
    // The text as a decimal number: surrounding blanks, a sign only when isSigned, at least one digit,
    // nothing else, and a value that fits 32 bits. Otherwise 0, and *translated (when given) is false.
    std::uint32_t GetItemInt(int id, bool* translated, bool isSigned) const;
    // Shows value as signed or unsigned decimal (-1 unsigned shows 4294967295).
    bool SetItemInt(int id, std::uint32_t value, bool isSigned);
    bool EnableItem(int id, bool enable);

    void SetSliderRange(int id, int minimum, int maximum);
    void SetSliderPosition(int id, int position);
    int SliderPosition(int id) const;
    bool SendItemMessage(int id, const LinkMessage& message);
    const DialogFont* GetItemFont(int id) const;

    bool CreateStatusBar(int id, std::span<const int> paneRightEdges);
    bool SetStatusText(int id, int pane, const char* text);
    int ShowMessageBox(MessageBoxOwner owner, const char* text, const char* caption, MessageIcon icon);
    void EndDialog(int result);
    void PostCommand(int id);

  private:
    DialogBackend* backend = nullptr;
};

// The text-to-number rule of DialogWindow::GetItemInt.
std::uint32_t ParseItemInt(const char* text, bool* translated, bool isSigned);
