#include "ui/win32/Win32DialogWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "ui/LinkState.h"
#include "ui/win32/NativeMessages.h"
#include "ui/win32/ResourceIds.h"
#include "ui/win32/WideText.h"

namespace {

// News from the service's threads reaches the handler at most this often: faster changes are not
// readable, and the work would only take processor time from the server.
constexpr DWORD kWorkerNotifyIntervalMs = 40;
constexpr UINT_PTR kWorkerNotifyTimer = 1;
constexpr int kDialogFailed = -1;
// The longest path the wide file dialog returns.
constexpr std::size_t kChosenPathChars = 32768;

// The dialog being created: its first messages (the font, the init message) come before the window
// knows its object.
thread_local Win32DialogWindow* creating = nullptr;

// Command notifications that stand for a press: a button click (and Enter, Esc, posted commands) or an
// accelerator. Edits and other controls send notifications of their own, which no handler takes.
bool IsPress(WPARAM wParam) {
    const WORD code = HIWORD(wParam);
    return code == BN_CLICKED || code == 1;
}

bool IsLink(HWND item) {
    wchar_t name[64] = {};
    GetClassNameW(item, name, 64);
    return WideFromUtf8(kLinkClassName) == name;
}

}  // namespace

int Win32DialogWindow::Run(const DLGTEMPLATE* nativeTemplate, ModalDialog* dialog) {
    initialOwner = dialog;
    creating = this;
    const INT_PTR result =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), nativeTemplate, nullptr,
                                &Win32DialogWindow::NativeProcedure, reinterpret_cast<LPARAM>(this));
    creating = nullptr;
    window = nullptr;
    return result == -1 ? kDialogFailed : static_cast<int>(result);
}

INT_PTR CALLBACK Win32DialogWindow::NativeProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Win32DialogWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr) {
        self = creating;
        if (self == nullptr) {
            return FALSE;
        }
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->window = hwnd;
    }
    return self->HandleNative(message, wParam, lParam);
}

INT_PTR Win32DialogWindow::HandleNative(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETFONT:
            dialogFont.font = reinterpret_cast<HFONT>(wParam);
            Deliver(dialog_message::SetFont{});
            return FALSE;
        case WM_INITDIALOG: {
            const HINSTANCE instance = GetModuleHandleW(nullptr);
            if (HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PROGRAM))) {
                SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
                SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
            }
            Deliver(dialog_message::InitDialog{initialOwner});
            return TRUE;
        }
        case WM_COMMAND:
            if (!IsPress(wParam)) {
                return FALSE;
            }
            Deliver(dialog_message::Command{LOWORD(wParam)});
            return TRUE;
        case WM_HSCROLL:
            if (lParam == 0) {
                return FALSE;
            }
            Deliver(dialog_message::HorizontalScroll{GetDlgCtrlID(reinterpret_cast<HWND>(lParam))});
            return TRUE;
        case LCM_NOTIFY:
            Deliver(dialog_message::LinkClicked{static_cast<int>(lParam)});
            return TRUE;
        case kWorkerNotifyMessage:
            DeliverWorkerNotify(wParam != 0);
            return TRUE;
        case WM_TIMER:
            if (wParam != kWorkerNotifyTimer) {
                return FALSE;
            }
            KillTimer(window, kWorkerNotifyTimer);
            workerNotifyHeld = false;
            DeliverWorkerNotify(true);
            return TRUE;
        case WM_ENDSESSION:
            // The session ends once this returns: close as Esc does while there is time.
            if (wParam != FALSE) {
                Deliver(dialog_message::Command{IDCANCEL});
            }
            return TRUE;
        case WM_DESTROY:
            KillTimer(window, kWorkerNotifyTimer);
            Deliver(dialog_message::Destroy{});
            return FALSE;
        default:
            return FALSE;
    }
}

int Win32DialogWindow::Deliver(const DialogMessage& message) {
    if (ended && !std::holds_alternative<dialog_message::Destroy>(message)) {
        return 0;
    }
    return procedure(*this, message);
}

void Win32DialogWindow::EndDialog(int result) {
    ended = true;
    ::EndDialog(window, result);
}

void Win32DialogWindow::PostCommand(int id) {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

void Win32DialogWindow::PostWorkerNotify(bool urgent) {
    if (HWND target = window) {
        PostMessageW(target, kWorkerNotifyMessage, urgent ? 1 : 0, 0);
    }
}

void Win32DialogWindow::DeliverWorkerNotify(bool urgent) {
    const DWORD now = GetTickCount();
    const DWORD since = now - lastWorkerNotify;
    if (!urgent && lastWorkerNotify != 0 && since < kWorkerNotifyIntervalMs) {
        if (!workerNotifyHeld) {
            workerNotifyHeld = true;
            SetTimer(window, kWorkerNotifyTimer, kWorkerNotifyIntervalMs - since, nullptr);
        }
        return;
    }
    lastWorkerNotify = now == 0 ? 1 : now;
    Deliver(dialog_message::WorkerNotify{});
}

HWND Win32DialogWindow::Item(int id) const {
    return window != nullptr ? GetDlgItem(window, id) : nullptr;
}

int Win32DialogWindow::IsChecked(int id) const {
    return Item(id) != nullptr && IsDlgButtonChecked(window, id) == BST_CHECKED ? 1 : 0;
}

// Radio buttons take exactly the state given: the exclusivity of their group applies to clicks only.
void Win32DialogWindow::SetChecked(int id, int state) {
    if (Item(id) != nullptr) {
        CheckDlgButton(window, id, state != 0 ? BST_CHECKED : BST_UNCHECKED);
    }
}

bool Win32DialogWindow::SetItemText(int id, const std::string& text) {
    HWND item = Item(id);
    return item != nullptr && SetWindowTextW(item, WideFromUtf8(text).c_str()) != FALSE;
}

std::string Win32DialogWindow::ItemText(int id) const {
    HWND item = Item(id);
    if (item == nullptr) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return Utf8FromWide(text);
}

bool Win32DialogWindow::EnableItem(int id, bool enable) {
    HWND item = Item(id);
    if (item == nullptr) {
        return false;
    }
    EnableWindow(item, enable ? TRUE : FALSE);
    return true;
}

void Win32DialogWindow::SetSliderRange(int id, int minimum, int maximum) {
    if (HWND slider = Item(id)) {
        SendMessageW(slider, TBM_SETRANGEMIN, FALSE, minimum);
        SendMessageW(slider, TBM_SETRANGEMAX, TRUE, maximum);
    }
}

void Win32DialogWindow::SetSliderPosition(int id, int position) {
    if (HWND slider = Item(id)) {
        SendMessageW(slider, TBM_SETPOS, TRUE, position);
    }
}

int Win32DialogWindow::SliderPosition(int id) const {
    HWND slider = Item(id);
    return slider != nullptr ? static_cast<int>(SendMessageW(slider, TBM_GETPOS, 0, 0)) : 0;
}

// SetNotify names a window by its object; on the wire it is the window's handle, so only a dialog of
// this backend (or none) can be notified.
bool Win32DialogWindow::SendItemMessage(int id, const LinkMessage& message) {
    HWND link = Item(id);
    if (link == nullptr || !IsLink(link)) {
        return false;
    }
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    if (const auto* notify = std::get_if<link_message::SetNotify>(&message)) {
        if (notify->window != nullptr) {
            const auto* target = dynamic_cast<const Win32DialogWindow*>(notify->window);
            if (target == nullptr || target->window == nullptr) {
                return false;
            }
            wParam = reinterpret_cast<WPARAM>(static_cast<HWND>(target->window));
        }
        lParam = notify->notifyId;
    }
    SendMessageW(link, static_cast<UINT>(IdOf(message)), wParam, lParam);
    return true;
}

const DialogFont* Win32DialogWindow::ItemFont(int id) const {
    return Item(id) != nullptr ? &dialogFont : nullptr;
}

bool Win32DialogWindow::CreateStatusBar(int id, std::span<const int> paneRightEdges) {
    if (window == nullptr || Item(id) != nullptr) {
        return false;
    }
    HWND bar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                               nullptr);
    if (bar == nullptr) {
        return false;
    }
    std::vector<int> edges(paneRightEdges.begin(), paneRightEdges.end());
    SendMessageW(bar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    return true;
}

bool Win32DialogWindow::SetStatusText(int id, int pane, const std::string& text) {
    HWND bar = Item(id);
    if (bar == nullptr || pane < 0 || pane >= static_cast<int>(SendMessageW(bar, SB_GETPARTS, 0, 0))) {
        return false;
    }
    const std::wstring wide = WideFromUtf8(text);
    return SendMessageW(bar, SB_SETTEXTW, static_cast<WPARAM>(pane),
                        reinterpret_cast<LPARAM>(wide.c_str())) != 0;
}

// A box without owner leaves the dialog usable while it is open (its own loop dispatches the dialog's
// messages); the call still returns only once the box is dismissed.
int Win32DialogWindow::ShowMessageBox(MessageBoxOwner boxOwner, const std::string& text,
                                      const std::string& caption, MessageIcon icon) {
    const UINT type = MB_OK | (icon == MessageIcon::Warning ? MB_ICONWARNING : 0u);
    HWND parent = boxOwner == MessageBoxOwner::Dialog ? static_cast<HWND>(window) : nullptr;
    return MessageBoxW(parent, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(), type);
}

// Paths in buffer are UTF-8, like every text of the program.
bool Win32DialogWindow::ChooseOpenFile(char* buffer, std::size_t size, const std::string& title,
                                       std::span<const FileFilter> filters) {
    if (size == 0) {
        return false;
    }
    std::wstring filterList;
    for (const FileFilter& filter : filters) {
        filterList += WideFromUtf8(filter.display);
        filterList += L'\0';
        filterList += WideFromUtf8(filter.pattern);
        filterList += L'\0';
    }
    filterList += L'\0';
    std::vector<wchar_t> path(kChosenPathChars, L'\0');
    const std::wstring offered = WideFromUtf8(std::string_view(buffer, strnlen(buffer, size)));
    if (offered.size() < path.size()) {
        std::copy(offered.begin(), offered.end(), path.begin());
    }
    const std::wstring wideTitle = WideFromUtf8(title);
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = window;
    request.lpstrFilter = filters.empty() ? nullptr : filterList.c_str();
    request.nFilterIndex = 1;
    request.lpstrFile = path.data();
    request.nMaxFile = static_cast<DWORD>(path.size());
    request.lpstrTitle = wideTitle.c_str();
    request.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    request.lpstrDefExt = L"*";
    if (GetOpenFileNameW(&request) == FALSE) {
        return false;
    }
    const std::string chosen = Utf8FromWide(path.data());
    if (chosen.empty() || chosen.size() >= size) {
        return false;
    }
    std::memcpy(buffer, chosen.c_str(), chosen.size() + 1);
    return true;
}
