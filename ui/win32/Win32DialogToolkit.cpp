#include "ui/win32/Win32DialogToolkit.h"

#include "ui/win32/WindowsApi.h"

#include <commctrl.h>

#include "ui/win32/NativeTemplate.h"
#include "ui/win32/Win32DialogWindow.h"

Win32DialogToolkit::Win32DialogToolkit() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);
}

int Win32DialogToolkit::RunDialog(const DialogTemplate& dialogTemplate, DialogProcedure procedure,
                                  ModalDialog* dialog) {
    const NativeTemplate nativeTemplate(dialogTemplate);
    Win32DialogWindow window(procedure);
    return window.Run(nativeTemplate.Get(), dialog);
}
