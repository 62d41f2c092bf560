// The dialog framework on the system's dialog manager, and the control panel run on it.
#include "ui/win32/WindowsApi.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <dlgs.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "service/CaptureService.h"
#include "tests/support/SettingsFileLines.h"
#include "tests/support/TempDir.h"
#include "ui/ControlPanel.h"
#include "ui/ControlPanelTemplate.h"
#include "ui/LinkState.h"
#include "ui/ModalDialog.h"
#include "ui/win32/NativeTemplate.h"
#include "ui/win32/WideText.h"
#include "ui/win32/Win32DialogToolkit.h"
#include "ui/win32/Win32DialogWindow.h"
#include "ui/win32/Win32LinkClass.h"

namespace {

// Runs a template with the base handler, recording every message that reaches it; onInit sees the live
// window right after init.
class ProbeDialog final : public ModalDialog {
  public:
    std::function<void(DialogWindow&, Win32DialogWindow&)> onInit;
    std::vector<DialogMessage> messages;

    int HandleMessage(DialogWindow& dialogWindow, const DialogMessage& message) override {
        messages.push_back(message);
        if (std::holds_alternative<dialog_message::InitDialog>(message) && onInit) {
            onInit(dialogWindow, *dynamic_cast<Win32DialogWindow*>(dialogWindow.Backend()));
        }
        return ModalDialog::HandleMessage(dialogWindow, message);
    }

    template <typename Message>
    std::vector<Message> Received() const {
        std::vector<Message> found;
        for (const DialogMessage& message : messages) {
            if (const auto* typed = std::get_if<Message>(&message)) {
                found.push_back(*typed);
            }
        }
        return found;
    }
};

// The link class is one per process: registered once for every case.
Win32LinkClass& LinkClassOfTheProcess() {
    static Win32LinkClass linkClass;
    static const int registered = linkClass.Register(kLinkClassName);
    EXPECT_EQ(registered, 1);
    return linkClass;
}

class Win32Dialog : public testing::Test {
  protected:
    Win32Dialog() { LinkClassOfTheProcess(); }
    int Run(ProbeDialog& dialog) { return dialog.RunModal(toolkit, ControlPanelTemplate(), 0); }

    Win32DialogToolkit toolkit;
};

std::string ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return Utf8FromWide(name);
}

std::string TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return Utf8FromWide(text);
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

TEST_F(Win32Dialog, ThePanelsTemplateBecomesItsCaptionFontAndEveryControl) {
    ProbeDialog dialog;
    dialog.onInit = [&](DialogWindow& window, Win32DialogWindow& native) {
        const HWND hwnd = native.Handle();
        EXPECT_EQ(TextOf(hwnd), "ORV QV Server");
        LOGFONTW font{};
        ASSERT_NE(
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font), 0);
        EXPECT_EQ(Utf8FromWide(font.lfFaceName), "ＭＳ Ｐゴシック");
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(font.lfHeight, -MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72));
        ReleaseDC(nullptr, screen);
        EXPECT_EQ(GetWindowLongW(hwnd, GWL_STYLE) & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
                  WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);

        const std::vector<HWND> children = Children(hwnd);
        EXPECT_EQ(children.size(), static_cast<std::size_t>(kControlPanelControlCount));
        std::multiset<std::string> unnamedTexts;
        for (HWND child : children) {
            if (GetDlgCtrlID(child) == kNoControlId) {
                unnamedTexts.insert(TextOf(child));
            }
        }
        for (const ControlTemplate& control : ControlPanelTemplate().controls) {
            if (control.id == kNoControlId) {
                EXPECT_EQ(unnamedTexts.count(control.text), 1u) << control.text;
                continue;
            }
            const HWND item = GetDlgItem(hwnd, control.id);
            ASSERT_NE(item, nullptr) << control.id;
            EXPECT_EQ(CompareStringOrdinal(WideFromUtf8(ClassOf(item)).c_str(), -1,
                                           WideFromUtf8(control.className).c_str(), -1, TRUE),
                      CSTR_EQUAL)
                << control.id << " is a " << ClassOf(item);
            // The dialog manager draws an edit's border as a sunken client edge instead.
            DWORD style = NativeControlStyle(control);
            if (ClassOf(item) == "Edit" && (style & WS_BORDER) != 0) {
                style &= ~static_cast<DWORD>(WS_BORDER);
                EXPECT_NE(GetWindowLongW(item, GWL_EXSTYLE) & WS_EX_CLIENTEDGE, 0) << control.id;
            }
            EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(item, GWL_STYLE)) & style, style) << control.id;
            EXPECT_EQ(window.Backend()->ItemText(control.id), control.text) << control.id;
        }
        EXPECT_NE(GetWindowLongW(GetDlgItem(hwnd, IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD, 0);

        EXPECT_TRUE(window.CreateStatusBar(IDC_STATUSBAR, std::vector<int>{250, 340}));
        EXPECT_FALSE(window.CreateStatusBar(IDC_STATUSBAR, std::vector<int>{250, 340}));
        const HWND bar = GetDlgItem(hwnd, IDC_STATUSBAR);
        EXPECT_EQ(ClassOf(bar), "msctls_statusbar32");
        EXPECT_TRUE(window.SetStatusText(IDC_STATUSBAR, 1, "JPEG圧縮中"));
        EXPECT_FALSE(window.SetStatusText(IDC_STATUSBAR, 2, "no such pane"));
        wchar_t pane[32] = {};
        SendMessageW(bar, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(pane));
        EXPECT_EQ(Utf8FromWide(pane), "JPEG圧縮中");
        window.EndDialog(7);
    };
    EXPECT_EQ(Run(dialog), 7);
    ASSERT_FALSE(dialog.messages.empty());
    EXPECT_EQ(IdOf(dialog.messages.front()), DialogMessageId::InitDialog);
    EXPECT_EQ(IdOf(dialog.messages.back()), DialogMessageId::Destroy);
}

TEST_F(Win32Dialog, TheLinkClassIsRegisteredOnceAndAnUnknownClassFailsTheDialog) {
    WNDCLASSEXW found{};
    found.cbSize = sizeof found;
    EXPECT_NE(GetClassInfoExW(GetModuleHandleW(nullptr), L"ORVHLinkClass", &found), FALSE);
    Win32LinkClass second;
    EXPECT_EQ(second.Register(kLinkClassName), -1);

    std::vector<ControlTemplate> controls(ControlPanelTemplate().controls.begin(),
                                          ControlPanelTemplate().controls.end());
    controls.back().className = "NoSuchClass";
    DialogTemplate broken = ControlPanelTemplate();
    broken.controls = controls;
    ProbeDialog dialog;
    EXPECT_EQ(dialog.RunModal(toolkit, broken, 0), -1);
    EXPECT_TRUE(dialog.messages.empty());
}

// Esc and Enter go through the dialog manager's own keyboard handling.
TEST_F(Win32Dialog, EscapeCancelsAndEnterPressesTheDefaultButton) {
    for (const auto& [key, expected] : {std::pair{VK_ESCAPE, 0}, std::pair{VK_RETURN, 1}}) {
        ProbeDialog dialog;
        dialog.onInit = [key = key](DialogWindow&, Win32DialogWindow& native) {
            PostMessageW(GetDlgItem(native.Handle(), IDC_PORT), WM_KEYDOWN, static_cast<WPARAM>(key), 1);
        };
        EXPECT_EQ(Run(dialog), expected) << key;
    }
}

TEST_F(Win32Dialog, NativeMessagesArriveAsTheTypedMessagesOfTheSameNumber) {
    ProbeDialog dialog;
    constexpr int kPostedCommand = 1234;
    constexpr int kNotifyId = 77;
    dialog.onInit = [&](DialogWindow& window, Win32DialogWindow& native) {
        const HWND hwnd = native.Handle();
        // Programs set texts, slider positions and check marks without a command or scroll message.
        EXPECT_TRUE(window.SetItemText(IDC_REALM, "認証 テスト"));
        EXPECT_EQ(TextOf(GetDlgItem(hwnd, IDC_REALM)), "認証 テスト");
        char realm[7];
        window.GetItemText(IDC_REALM, realm, sizeof realm);
        EXPECT_STREQ(realm, "認証");  // cut before the character that does not fit
        window.SetSliderRange(IDC_PRIORITY, 0, 4);
        window.SetSliderPosition(IDC_PRIORITY, 9);
        EXPECT_EQ(window.SliderPosition(IDC_PRIORITY), 4);
        for (const int desktop : {0, 1}) {
            window.SetChecked(IDC_DESKTOP, desktop);
            window.SetChecked(IDC_ACTIVEWINDOW, 1 - desktop);
            EXPECT_EQ(window.IsChecked(IDC_DESKTOP), desktop);
            EXPECT_EQ(window.IsChecked(IDC_ACTIVEWINDOW), 1 - desktop);
        }
        EXPECT_FALSE(window.SetItemText(4321, "nobody"));
        EXPECT_FALSE(window.EnableItem(4321, false));

        // What the user does arrives typed.
        SendMessageW(hwnd, WM_HSCROLL, TB_THUMBPOSITION,
                     reinterpret_cast<LPARAM>(GetDlgItem(hwnd, IDC_PRIORITY)));
        EXPECT_FALSE(window.SendItemMessage(IDC_PORT, link_message::AlignRight{}));
        EXPECT_TRUE(
            window.SendItemMessage(IDC_VERSIONLINK, link_message::SetNotify{window.Target(), kNotifyId}));
        SendMessageW(GetDlgItem(hwnd, IDC_VERSIONLINK), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));

        window.PostCommand(kPostedCommand);
        std::thread worker([&native] { native.PostWorkerNotify(true); });
        worker.join();
        PostMessageW(GetDlgItem(hwnd, IDC_PORT), WM_KEYDOWN, VK_ESCAPE, 1);
    };
    EXPECT_EQ(Run(dialog), 0);

    const auto scrolls = dialog.Received<dialog_message::HorizontalScroll>();
    ASSERT_EQ(scrolls.size(), 1u);
    EXPECT_EQ(scrolls[0].id, IDC_PRIORITY);
    const auto clicks = dialog.Received<dialog_message::LinkClicked>();
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].notifyId, kNotifyId);
    const auto commands = dialog.Received<dialog_message::Command>();
    ASSERT_EQ(commands.size(), 2u);  // no command for the edit's change notifications
    EXPECT_EQ(commands[0].id, kPostedCommand);
    EXPECT_EQ(commands[1].id, IDCANCEL);
    EXPECT_EQ(dialog.Received<dialog_message::WorkerNotify>().size(), 1u);
}

// What a message box looked like while it was open; the helper dismisses it.
struct BoxSeen {
    bool found = false;
    HWND owner = nullptr;
    bool panelEnabled = false;
    std::string text;
};

// Waits on another thread for the box with this caption, notes what it saw and presses its OK button.
std::thread DismissBox(const wchar_t* caption, HWND panel, BoxSeen* seen) {
    return std::thread([caption, panel, seen] {
        for (int attempt = 0; attempt < 250 && !seen->found; ++attempt) {
            HWND box = FindWindowW(L"#32770", caption);
            if (box != nullptr && IsWindowVisible(box) != FALSE) {
                seen->found = true;
                seen->owner = GetWindow(box, GW_OWNER);
                seen->panelEnabled = IsWindowEnabled(panel) != FALSE;
                wchar_t text[128] = {};
                GetDlgItemTextW(box, 0xFFFF, text, 128);  // the static that holds a box's text
                seen->text = Utf8FromWide(text);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            } else {
                Sleep(20);
            }
        }
    });
}

TEST_F(Win32Dialog, AnUnownedBoxLeavesThePanelUsableAndAnOwnedOneBlocksIt) {
    ProbeDialog dialog;
    BoxSeen unowned;
    BoxSeen owned;
    dialog.onInit = [&](DialogWindow& window, Win32DialogWindow& native) {
        std::thread helper = DismissBox(L"About", native.Handle(), &unowned);
        EXPECT_EQ(window.ShowMessageBox(MessageBoxOwner::None, "QV Server 情報", "About", MessageIcon::None),
                  IDOK);
        helper.join();
        helper = DismissBox(L"QV Server", native.Handle(), &owned);
        EXPECT_EQ(window.ShowMessageBox(MessageBoxOwner::Dialog, "開始できません", "QV Server",
                                        MessageIcon::Warning),
                  IDOK);
        helper.join();
        window.EndDialog(0);
    };
    Run(dialog);
    ASSERT_TRUE(unowned.found);
    EXPECT_EQ(unowned.owner, nullptr);
    EXPECT_TRUE(unowned.panelEnabled);
    EXPECT_EQ(unowned.text, "QV Server 情報");
    ASSERT_TRUE(owned.found);
    EXPECT_NE(owned.owner, nullptr);
    EXPECT_FALSE(owned.panelEnabled);
    EXPECT_EQ(owned.text, "開始できません");
}

// The system's file-open dialog: the helper types a name into its file name box and presses OK, or cancels.
// The name is Japanese: the path comes back in UTF-8, whatever the ANSI code page.
TEST_F(Win32Dialog, TheFileChooserReturnsTheChosenPathOrLeavesTheBufferOnCancel) {
    TempDir folder;
    const std::filesystem::path chosen =
        (std::filesystem::path(folder.Path()) / std::filesystem::path(u8"選んだ設定.ini")).make_preferred();
    std::ofstream(chosen, std::ios::binary) << "[WWW]\r\n";
    ASSERT_TRUE(std::filesystem::exists(chosen));
    ProbeDialog dialog;
    bool accepted = false;
    bool cancelled = true;
    std::string returned;
    std::string left;
    dialog.onInit = [&](DialogWindow& window, Win32DialogWindow&) {
        const FileFilter filters[] = {{"テンプレート(*.ini)", "*.INI;*.log"}, {"全てのﾌｧｲﾙ (*.*)", "*.*"}};
        for (const bool accept : {true, false}) {
            std::thread helper([&chosen, accept, &window] {
                const HWND panel = dynamic_cast<Win32DialogWindow*>(window.Backend())->Handle();
                HWND box = nullptr;
                for (int attempt = 0; attempt < 250 && box == nullptr; ++attempt) {
                    box = FindWindowW(L"#32770", L"テンプレートを選択");
                    if (box == nullptr || IsWindowVisible(box) == FALSE) {
                        box = nullptr;
                        Sleep(20);
                    }
                }
                if (box == nullptr) {
                    return;
                }
                if (accept) {
                    SetDlgItemTextW(box, cmb13, chosen.c_str());
                }
                PostMessageW(box, WM_COMMAND, accept ? IDOK : IDCANCEL, 0);
                // A chooser that refused the name keeps a box of its own open: cancel everything but the
                // panel, so that the case fails instead of hanging.
                for (int attempt = 0; attempt < 100 && IsWindow(box) != FALSE; ++attempt) {
                    Sleep(20);
                }
                std::pair<HWND, HWND> keep{panel, box};
                EnumThreadWindows(
                    GetWindowThreadProcessId(panel, nullptr),
                    [](HWND open, LPARAM context) {
                        if (open != reinterpret_cast<std::pair<HWND, HWND>*>(context)->first) {
                            PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
                        }
                        return TRUE;
                    },
                    reinterpret_cast<LPARAM>(&keep));
            });
            char buffer[MAX_PATH] = "default.ini";
            const bool result =
                window.Backend()->ChooseOpenFile(buffer, sizeof buffer, "テンプレートを選択", filters);
            helper.join();
            if (accept) {
                accepted = result;
                returned = buffer;
            } else {
                cancelled = !result;
                left = buffer;
            }
        }
        window.EndDialog(0);
    };
    Run(dialog);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(std::filesystem::path(std::u8string(returned.begin(), returned.end())), chosen);
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(left, "default.ini");
}

// The panel as the program runs it, closed with Esc once it is up.
class EscapedPanel final : public ControlPanel {
  public:
    using ControlPanel::ControlPanel;
    int HandleMessage(DialogWindow& dialogWindow, const DialogMessage& message) override {
        const int result = ControlPanel::HandleMessage(dialogWindow, message);
        if (std::holds_alternative<dialog_message::InitDialog>(message)) {
            const HWND hwnd = dynamic_cast<Win32DialogWindow*>(dialogWindow.Backend())->Handle();
            statusBarClass = ClassOf(GetDlgItem(hwnd, IDC_STATUSBAR));
            priorityName = TextOf(GetDlgItem(hwnd, IDC_PRIORITYNAME));
            PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 1);
        }
        return result;
    }
    std::string statusBarClass;
    std::string priorityName;
};

TEST_F(Win32Dialog, ThePanelClosedWithEscapeWritesCurrentIniInTheSaveOrder) {
    TempDir folder;
    const std::string executable = folder.File("qvserver.exe");
    CaptureService service(executable);
    EscapedPanel panel(service, LinkClassOfTheProcess(), executable);
    EXPECT_EQ(panel.RunModal(toolkit, ControlPanelTemplate(), 0), 0);

    EXPECT_EQ(panel.statusBarClass, "msctls_statusbar32");
    EXPECT_EQ(panel.priorityName, "低");
    EXPECT_NE(LinkClassOfTheProcess().LinkFont(), nullptr);
    EXPECT_EQ(NonBlankLines(TempDir::ReadFile(folder.File("current.ini"))), kDefaultSettingsFileLines);
    EXPECT_FALSE(TempDir::Exists(folder.File("screen.jpg")));
}

}  // namespace
