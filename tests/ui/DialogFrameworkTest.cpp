#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "FakeDialogToolkit.h"
#include "ui/ControlPanelTemplate.h"
#include "ui/DialogUnits.h"
#include "ui/DialogWindow.h"
#include "ui/LinkState.h"
#include "ui/ModalDialog.h"

namespace {

TEST(ItemInt, ParsesLikeTheDialogManager) {
    struct Case {
        const char* text;
        bool isSigned;
        std::uint32_t value;
        bool translated;
    };
    const Case cases[] = {
        {"80", false, 80, true},
        {"  8080  ", false, 8080, true},
        {"", false, 0, false},
        {"   ", false, 0, false},
        {"12ab", false, 0, false},
        {"abc", false, 0, false},
        {"-1", false, 0, false},
        {"+5", false, 0, false},
        {"-1", true, 0xFFFFFFFFu, true},
        {"+5", true, 5, true},
        {"4294967295", false, 4294967295u, true},
        {"4294967296", false, 0, false},
        {"2147483647", true, 2147483647u, true},
        {"2147483648", true, 0, false},
        {"-2147483648", true, 0x80000000u, true},
        {"1 2", false, 0, false},
    };
    for (const Case& itemCase : cases) {
        bool translated = !itemCase.translated;
        EXPECT_EQ(ParseItemInt(itemCase.text, &translated, itemCase.isSigned), itemCase.value)
            << itemCase.text;
        EXPECT_EQ(translated, itemCase.translated) << itemCase.text;
    }
}

// A dialog that records what reaches its handler and otherwise acts as the base.
class RecordingDialog final : public ModalDialog {
  public:
    int HandleMessage(DialogWindow& dialogWindow, const DialogMessage& message) override {
        messages.push_back(IdOf(message));
        if (std::holds_alternative<dialog_message::InitDialog>(message)) {
            initWindow = dialogWindow.Backend();
        }
        return ModalDialog::HandleMessage(dialogWindow, message);
    }
    std::vector<DialogMessageId> messages;
    DialogBackend* initWindow = nullptr;
};

TEST(ModalDialogRouting, NothingReachesTheHandlerBeforeInitAndTheBaseEndsOnOkAndCancel) {
    for (const auto& [command, expected] : {std::pair{IDOK, 1}, std::pair{IDCANCEL, 0}}) {
        RecordingDialog dialog;
        FakeDialogToolkit toolkit;
        FakeDialogWindow* seen = nullptr;
        toolkit.script = [&](FakeDialogWindow& window) {
            seen = &window;
            window.Send(dialog_message::Command{4711});
            EXPECT_FALSE(window.Ended());
            window.Send(dialog_message::Command{command});
        };
        EXPECT_EQ(dialog.RunModal(toolkit, ControlPanelTemplate(), 5), expected);
        ASSERT_GE(dialog.messages.size(), 1u);
        EXPECT_EQ(dialog.messages.front(), DialogMessageId::InitDialog);
        EXPECT_EQ(dialog.initWindow, seen);
    }
}

TEST(DialogWindowText, GetItemTextNeverSplitsACharacter) {
    FakeDialogWindow window(ControlPanelTemplate(), &ModalDialog::DialogProc);
    DialogWindow dialog(&window);
    window.SetItemText(IDC_REALM, "aあい");  // 1 + 3 + 3 bytes
    char buffer[8];
    EXPECT_EQ(dialog.GetItemText(IDC_REALM, buffer, 8), 7u);
    EXPECT_STREQ(buffer, "aあい");
    EXPECT_EQ(dialog.GetItemText(IDC_REALM, buffer, 7), 4u);
    EXPECT_STREQ(buffer, "aあ");
    EXPECT_EQ(dialog.GetItemText(IDC_REALM, buffer, 3), 1u);
    EXPECT_STREQ(buffer, "a");
    EXPECT_EQ(dialog.GetItemText(4711, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
}

TEST(DialogWindowText, SetItemIntShowsSignedOrUnsigned) {
    FakeDialogWindow window(ControlPanelTemplate(), &ModalDialog::DialogProc);
    DialogWindow dialog(&window);
    dialog.SetItemInt(IDC_PORT, 0xFFFFFFFFu, false);
    EXPECT_EQ(window.ItemText(IDC_PORT), "4294967295");
    dialog.SetItemInt(IDC_PORT, 0xFFFFFFFFu, true);
    EXPECT_EQ(window.ItemText(IDC_PORT), "-1");
    bool translated = false;
    EXPECT_EQ(dialog.GetItemInt(IDC_PORT, &translated, true), 0xFFFFFFFFu);
    EXPECT_TRUE(translated);
}

TEST(DialogUnitsConversion, FollowsTheFontsBaseUnits) {
    EXPECT_EQ(AverageLetterWidth(364), 7);  // 364 / 26 = 14, (14 + 1) / 2 = 7
    EXPECT_EQ(AverageLetterWidth(338), 7);  // 13 rounds up
    EXPECT_EQ(AverageLetterWidth(312), 6);
    const DialogBaseUnits units{7, 13};
    EXPECT_EQ(DialogXToPixels(187, units), 327);  // 327.25
    EXPECT_EQ(DialogYToPixels(315, units), 512);  // 511.875
    EXPECT_EQ(DialogXToPixels(2, units), 4);      // 3.5 rounds away from zero
    EXPECT_EQ(DialogYToPixels(0, units), 0);
}

class RecordingTarget final : public MessageTarget {
  public:
    int Deliver(const DialogMessage& message) override {
        received.push_back(message);
        return 0;
    }
    std::vector<DialogMessage> received;
};

TEST(LinkStateRules, SplitsAtTheFirstTabAndNotifiesInsteadOfOpening) {
    EXPECT_EQ(LinkDisplayText("Site\thttp://a\tb"), "Site");
    EXPECT_EQ(LinkTarget("Site\thttp://a\tb"), "http://a\tb");
    EXPECT_EQ(LinkDisplayText("Plain"), "Plain");
    EXPECT_EQ(LinkTarget("Plain"), "");

    RecordingTarget notified;
    LinkState state;
    std::string target;
    EXPECT_EQ(ClickLink(state, "Plain", &target), LinkClick::Nothing);
    EXPECT_EQ(ClickLink(state, "Site\thttp://a", &target), LinkClick::OpenTarget);
    EXPECT_EQ(target, "http://a");

    ApplyLinkMessage(state, link_message::AlignRight{});
    EXPECT_EQ(state.rightAligned, 1);
    ApplyLinkMessage(state, link_message::AlignLeft{});
    EXPECT_EQ(state.rightAligned, 0);
    ApplyLinkMessage(state, link_message::SetNotify{&notified, 1011});
    target.clear();
    EXPECT_EQ(ClickLink(state, "Site\thttp://a", &target), LinkClick::Notified);
    EXPECT_TRUE(target.empty());
    ASSERT_EQ(notified.received.size(), 1u);
    const auto* click = std::get_if<dialog_message::LinkClicked>(&notified.received[0]);
    ASSERT_NE(click, nullptr);
    EXPECT_EQ(click->notifyId, 1011);

    ApplyLinkMessage(state, link_message::SetNotify{nullptr, 0});
    EXPECT_EQ(ClickLink(state, "Site\thttp://a", &target), LinkClick::OpenTarget);
    EXPECT_EQ(notified.received.size(), 1u);
}

// What a backend that builds the panel from its template relies on: known classes and styles, distinct
// ids, every control inside the dialog.
TEST(ControlPanelTable, DescribesEveryControlCompletely) {
    const DialogTemplate& panel = ControlPanelTemplate();
    ASSERT_EQ(panel.controls.size(), static_cast<std::size_t>(kControlPanelControlCount));
    const std::set<std::string> classes = {kButtonClass, kEditClass, kStaticClass, kSliderClass,
                                           kLinkClassName};
    std::set<int> ids;
    for (const ControlTemplate& control : panel.controls) {
        SCOPED_TRACE(control.text);
        EXPECT_EQ(classes.count(control.className), 1u) << control.className;
        EXPECT_EQ(control.style & ~control_style::kAll, 0u);
        EXPECT_GE(control.x, 0);
        EXPECT_GE(control.y, 0);
        EXPECT_GT(control.width, 0);
        EXPECT_GT(control.height, 0);
        EXPECT_LE(control.x + control.width, panel.width);
        EXPECT_LE(control.y + control.height, panel.height);
        if (control.id != kNoControlId) {
            EXPECT_TRUE(ids.insert(control.id).second) << control.id;
        }
    }
}

}  // namespace
