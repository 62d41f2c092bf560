#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "ui/ControlPanelTemplate.h"
#include "ui/FileChooser.h"
#include "ui/LinkState.h"
#include "ui/ModalDialog.h"
#include "ui/qt/FileFilters.h"
#include "ui/qt/LinkControlClass.h"
#include "ui/qt/QtDialogToolkit.h"
#include "ui/qt/QtDialogWindow.h"

namespace {

// Runs the control panel's template with the base handler; onInit sees the live window right after init.
class ProbeDialog final : public ModalDialog {
  public:
    std::function<void(DialogWindow&, QtDialogWindow&)> onInit;
    std::vector<DialogMessageId> messages;

    int HandleMessage(DialogWindow& dialogWindow, const DialogMessage& message) override {
        messages.push_back(IdOf(message));
        if (std::holds_alternative<dialog_message::InitDialog>(message) && onInit) {
            onInit(dialogWindow, *dynamic_cast<QtDialogWindow*>(dialogWindow.Backend()));
        }
        return ModalDialog::HandleMessage(dialogWindow, message);
    }
};

class QtDialog : public testing::Test {
  protected:
    QtDialog() { linkClass.Register(toolkit, kLinkClassName); }
    int Run(ProbeDialog& dialog) { return dialog.RunModal(toolkit, ControlPanelTemplate(), 0); }

    QtDialogToolkit toolkit;
    LinkControlClass linkClass;
};

TEST_F(QtDialog, TheTemplateBecomesTheCaptionFontSizeAndControlsOfThePanel) {
    ProbeDialog dialog;
    dialog.onInit = [&](DialogWindow& window, QtDialogWindow& widget) {
        EXPECT_EQ(widget.windowTitle().toStdString(), "ORV QV Server");
        EXPECT_EQ(QFontInfo(widget.font()).family().toStdString(), "IPAPGothic");
        EXPECT_EQ(QFontInfo(widget.font()).pointSize(), 9);
        const QFontMetrics metrics(QFont("IPAPGothic", 9));
        const DialogBaseUnits units{AverageLetterWidth(metrics.horizontalAdvance(kBaseUnitLetters)),
                                    metrics.height()};
        EXPECT_EQ(widget.BaseUnits().x, units.x);
        EXPECT_EQ(widget.BaseUnits().y, units.y);
        EXPECT_EQ(widget.minimumSize(), QSize(DialogXToPixels(187, units), DialogYToPixels(315, units)));
        EXPECT_EQ(widget.maximumSize(), widget.minimumSize());

        std::multiset<std::string> shown;
        for (QWidget* child : widget.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (const auto* label = qobject_cast<QLabel*>(child)) {
                shown.insert(label->text().toStdString());
            } else if (const auto* group = qobject_cast<QGroupBox*>(child)) {
                shown.insert(group->title().toStdString());
            }
        }
        for (const ControlTemplate& control : ControlPanelTemplate().controls) {
            if (control.id != kNoControlId) {
                QWidget* item = widget.findChild<QWidget*>(QString::number(control.id));
                ASSERT_NE(item, nullptr) << control.id;
                EXPECT_EQ(item->pos(),
                          QPoint(DialogXToPixels(control.x, units), DialogYToPixels(control.y, units)))
                    << control.id;
                if (control.id != IDC_PRIORITYNAME) {
                    EXPECT_EQ(widget.ItemText(control.id), control.text) << control.id;
                }
            } else {
                EXPECT_EQ(shown.count(control.text), 1u) << control.text;
            }
        }
        EXPECT_EQ(qobject_cast<QLineEdit*>(widget.findChild<QWidget*>("1004"))->echoMode(),
                  QLineEdit::Password);
        EXPECT_TRUE(window.CreateStatusBar(IDC_STATUSBAR, std::vector<int>{250, 340}));
        EXPECT_TRUE(window.SetStatusText(IDC_STATUSBAR, 1, "JPEG圧縮中"));
        EXPECT_FALSE(window.SetStatusText(IDC_STATUSBAR, 2, "no such pane"));
        window.EndDialog(7);
    };
    EXPECT_EQ(Run(dialog), 7);
    ASSERT_FALSE(dialog.messages.empty());
    EXPECT_EQ(dialog.messages.front(), DialogMessageId::InitDialog);
    EXPECT_EQ(dialog.messages.back(), DialogMessageId::Destroy);
}

TEST_F(QtDialog, AnUnregisteredControlClassFailsTheDialog) {
    QtDialogToolkit bare;
    ProbeDialog dialog;
    EXPECT_EQ(dialog.RunModal(bare, ControlPanelTemplate(), 0), -1);
    EXPECT_TRUE(dialog.messages.empty());
    EXPECT_EQ(linkClass.Register(toolkit, kLinkClassName), -1);  // taken already
}

TEST_F(QtDialog, EscapeCancelsAndEnterPressesTheDefaultButton) {
    for (const auto& [key, expected] : {std::pair{Qt::Key_Escape, 0}, std::pair{Qt::Key_Return, 1}}) {
        ProbeDialog dialog;
        dialog.onInit = [key = key](DialogWindow&, QtDialogWindow& widget) {
            QTimer::singleShot(0, &widget, [&widget, key] { QTest::keyClick(&widget, key); });
        };
        EXPECT_EQ(Run(dialog), expected);
    }
}

TEST_F(QtDialog, TheSliderReportsTheUsersMovesButNotThePrograms) {
    ProbeDialog dialog;
    dialog.onInit = [&](DialogWindow& window, QtDialogWindow& widget) {
        window.SetSliderRange(IDC_PRIORITY, 0, 4);
        window.SetSliderPosition(IDC_PRIORITY, 9);
        EXPECT_EQ(window.SliderPosition(IDC_PRIORITY), 4);
        QTimer::singleShot(0, &widget, [&widget, &dialog] {
            const std::size_t before = dialog.messages.size();
            widget.findChild<QSlider*>("1019")->triggerAction(QAbstractSlider::SliderSingleStepSub);
            EXPECT_EQ(dialog.messages.size(), before + 1);
            EXPECT_EQ(dialog.messages.back(), DialogMessageId::HorizontalScroll);
            widget.EndDialog(0);
        });
    };
    Run(dialog);
    EXPECT_EQ(std::count(dialog.messages.begin(), dialog.messages.end(), DialogMessageId::HorizontalScroll),
              1);
}

TEST_F(QtDialog, RadioButtonsTakeExactlyTheStateTheyAreGiven) {
    ProbeDialog dialog;
    dialog.onInit = [&](DialogWindow& window, QtDialogWindow&) {
        window.SetChecked(IDC_DESKTOP, 1);
        window.SetChecked(IDC_ACTIVEWINDOW, 0);
        EXPECT_EQ(window.IsChecked(IDC_DESKTOP), 1);
        window.SetChecked(IDC_DESKTOP, 0);
        EXPECT_EQ(window.IsChecked(IDC_DESKTOP), 0);
        EXPECT_EQ(window.IsChecked(IDC_ACTIVEWINDOW), 0);
        window.EndDialog(0);
    };
    Run(dialog);
}

TEST(QtFileFilters, PatternsMatchWithoutRegardToCaseAndStarDotStarMatchesAll) {
    const FileFilter filters[] = {{"テンプレート(*.ini)", "*.INI;*.log"}, {"全てのﾌｧｲﾙ (*.*)", "*.*"}};
    const QStringList expected = {QString::fromUtf8("テンプレート(*.ini) (*.[iI][nN][iI] *.[lL][oO][gG])"),
                                  QString::fromUtf8("全てのﾌｧｲﾙ (*.*) (*)")};
    EXPECT_EQ(QtNameFilters(filters), expected);
}

// Answers the next file dialog: checks what it offers, then cancels it or picks the given file.
void AnswerFileDialog(const std::string& expectedTitle, const QString& offered, const QString& pick) {
    QTimer::singleShot(50, [=] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(chooser, nullptr);
        EXPECT_EQ(chooser->windowTitle().toStdString(), expectedTitle);
        EXPECT_EQ(chooser->selectedNameFilter(), QString::fromUtf8("テンプレート(*.ini)"));
        EXPECT_EQ(chooser->selectedFiles().value(0), offered);
        if (pick.isEmpty()) {
            chooser->reject();
        } else {
            // The folder loads in the background and then selects the offered file; type only after that.
            auto* list = chooser->findChild<QListView*>("listView");
            ASSERT_NE(list, nullptr);
            QElapsedTimer waited;
            waited.start();
            while (!list->selectionModel()->hasSelection() && waited.elapsed() < 5000) {
                QApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            auto* typed = chooser->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(typed, nullptr);
            // As the user would: click beside the offered file, then type the other one's path.
            list->selectionModel()->clearSelection();
            typed->setText(pick);
            static_cast<QDialog*>(chooser)->accept();
        }
    });
}

TEST_F(QtDialog, TheFileChooserOffersTheBuffersFileAndReturnsTheChoice) {
    TempDir folder;
    TempDir::WriteFile(folder.File("default.ini"), "");
    TempDir::WriteFile(folder.File("other.log"), "");
    ProbeDialog dialog;
    dialog.onInit = [&](DialogWindow& window, QtDialogWindow&) {
        const FileFilter filters[] = {{"テンプレート(*.ini)", "*.INI;*.log"}, {"全てのﾌｧｲﾙ (*.*)", "*.*"}};
        char buffer[260];
        std::snprintf(buffer, sizeof buffer, "%s", folder.File("default.ini").c_str());
        FileChooser chooser;
        AnswerFileDialog("テンプレートを選択", QString::fromStdString(folder.File("default.ini")), {});
        EXPECT_EQ(chooser.ChooseOpenFile(window, buffer, sizeof buffer, "テンプレートを選択", filters),
                  nullptr);
        EXPECT_EQ(std::string(buffer), folder.File("default.ini"));

        AnswerFileDialog("テンプレートを選択", QString::fromStdString(folder.File("default.ini")),
                         QString::fromStdString(folder.File("other.log")));
        EXPECT_EQ(chooser.ChooseOpenFile(window, buffer, sizeof buffer, "テンプレートを選択", filters),
                  buffer);
        EXPECT_EQ(std::string(buffer), folder.File("other.log"));
        window.EndDialog(0);
    };
    Run(dialog);
}

}  // namespace
