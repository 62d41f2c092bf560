#include "ui/win32/Win32LinkClass.h"

#include <shellapi.h>

#include <memory>
#include <string>

#include "ui/LinkState.h"
#include "ui/win32/NativeMessages.h"
#include "ui/win32/WideText.h"
#include "ui/win32/Win32DialogFont.h"

namespace {

constexpr COLORREF kLinkColor = RGB(0, 0, 255);

// The class object whose font the links paint with: a window class is one per process.
const Win32LinkClass* registeredClass = nullptr;

// The window a link notifies, as the portable link logic sees it: a click sends LCM_NOTIFY there.
class NotifyWindow final : public MessageTarget {
  public:
    HWND window = nullptr;
    HWND link = nullptr;
    int Deliver(const DialogMessage& message) override {
        if (const auto* click = std::get_if<dialog_message::LinkClicked>(&message)) {
            SendMessageW(window, LCM_NOTIFY, reinterpret_cast<WPARAM>(link), click->notifyId);
        }
        return 0;
    }
};

// What one link window keeps from its creation until it is destroyed.
struct LinkWindow {
    LinkState state;
    NotifyWindow notify;
};

LinkWindow* LinkOf(HWND hwnd) {
    return reinterpret_cast<LinkWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

std::string WindowText(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return Utf8FromWide(text);
}

// Paints the display text with the shared link font (the device context's own when there is none), then
// gives the link the height of that text; its width stays.
void Paint(HWND hwnd, const LinkWindow& link) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    HFONT font = registeredClass != nullptr ? registeredClass->LinkFont() : nullptr;
    HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
    SetTextColor(dc, kLinkColor);
    SetBkMode(dc, TRANSPARENT);
    const std::wstring display = WideFromUtf8(LinkDisplayText(WindowText(hwnd)));
    RECT area;
    GetClientRect(hwnd, &area);
    const UINT format = link.state.rightAligned != 0 ? DT_RIGHT : DT_LEFT;
    const int textHeight = DrawTextW(dc, display.c_str(), static_cast<int>(display.size()), &area, format);
    if (previous != nullptr) {
        SelectObject(dc, previous);
    }
    SetWindowPos(hwnd, nullptr, 0, 0, area.right - area.left, textHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW);
    EndPaint(hwnd, &paint);
}

void Click(HWND hwnd, const LinkWindow& link) {
    std::string target;
    if (ClickLink(link.state, WindowText(hwnd), &target) == LinkClick::OpenTarget) {
        ShellExecuteW(nullptr, L"open", WideFromUtf8(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

LRESULT CALLBACK LinkProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LinkWindow* link = LinkOf(hwnd);
    switch (message) {
        case WM_NCCREATE:
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new LinkWindow));
            break;
        case WM_NCDESTROY:
            delete link;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            break;
        case WM_SETTEXT: {
            const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, TRUE);
            return result;
        }
        case WM_PAINT:
            if (link != nullptr) {
                Paint(hwnd, *link);
                return 0;
            }
            break;
        // No mouse capture: the release reaches the link only over it, wherever the press was.
        case WM_LBUTTONUP:
            if (link != nullptr) {
                Click(hwnd, *link);
            }
            return 0;
        case LCM_ALIGNLEFT:
        case LCM_ALIGNRIGHT:
        case LCM_NOTIFY:
            if (link == nullptr) {
                return 0;
            }
            if (message == LCM_ALIGNLEFT) {
                ApplyLinkMessage(link->state, link_message::AlignLeft{});
            } else if (message == LCM_ALIGNRIGHT) {
                ApplyLinkMessage(link->state, link_message::AlignRight{});
            } else {
                link->notify.window = reinterpret_cast<HWND>(wParam);
                link->notify.link = hwnd;
                ApplyLinkMessage(link->state, link_message::SetNotify{
                                                  link->notify.window != nullptr ? &link->notify : nullptr,
                                                  static_cast<int>(lParam)});
            }
            return 0;  // the new alignment shows at the next paint
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

Win32LinkClass::~Win32LinkClass() {
    if (atom != 0) {
        UnregisterClassW(reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(atom)), GetModuleHandleW(nullptr));
        registeredClass = nullptr;
    }
    DeleteLinkFont();
}

int Win32LinkClass::Register(const char* className) {
    const std::wstring name = WideFromUtf8(className);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = &LinkProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND));
    // No background brush: the dialog's own background shows behind the text.
    windowClass.lpszClassName = name.c_str();
    const ATOM registered = RegisterClassExW(&windowClass);
    if (registered == 0) {
        return -1;
    }
    atom = registered;
    registeredClass = this;
    return 1;
}

void Win32LinkClass::CreateLinkFont(const DialogFont* font) {
    DeleteLinkFont();
    LOGFONTW description{};
    if (font == nullptr || font->font == nullptr ||
        GetObjectW(font->font, sizeof description, &description) == 0) {
        return;
    }
    description.lfUnderline = TRUE;
    linkFont = CreateFontIndirectW(&description);
}

void Win32LinkClass::DeleteLinkFont() {
    if (linkFont != nullptr) {
        DeleteObject(linkFont);
        linkFont = nullptr;
    }
}
