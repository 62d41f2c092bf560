#pragma once

#include "ui/win32/WindowsApi.h"

// A dialog's font as the Win32 backend hands it out by control: the font the dialog manager made from the
// template, owned by the dialog.
struct DialogFont {
    HFONT font = nullptr;
};
