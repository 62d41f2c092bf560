#pragma once

#include "ui/win32/WindowsApi.h"

#include "ui/LinkClass.h"

// The link control's window class: a window of it shows its text up to the first TAB in blue, underlined
// with the class's link font, right- or left-aligned, under a hand cursor, and takes the height of that
// text when it paints. A click (the left button released over it) sends LCM_NOTIFY to the window it was
// told to notify, or without one opens the text after the TAB with the shell. A disabled link paints the
// same and takes no clicks. One object registers
// the class for the process and keeps the font every link paints with; it outlives every link.
class Win32LinkClass final : public LinkClass {
  public:
    Win32LinkClass() = default;
    ~Win32LinkClass() override;
    Win32LinkClass(const Win32LinkClass&) = delete;
    Win32LinkClass& operator=(const Win32LinkClass&) = delete;

    // 1 when registered, -1 when a class of that name is registered already.
    int Register(const char* className);
    void CreateLinkFont(const DialogFont* font) override;
    // Null until CreateLinkFont has made one.
    HFONT LinkFont() const { return linkFont; }

  private:
    void DeleteLinkFont();

    HFONT linkFont = nullptr;
    ATOM atom = 0;
};
