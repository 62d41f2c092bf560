#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <future>
#include <memory>
#include <string>

#include "service/CaptureService.h"
#include "tests/support/TempDir.h"
#include "ui/ControlPanel.h"
#include "ui/ControlPanelTemplate.h"
#include "ui/LinkState.h"
#include "ui/qt/CloseOnSignals.h"
#include "ui/qt/LinkControl.h"
#include "ui/qt/LinkControlClass.h"
#include "ui/qt/ProgramIcon.h"
#include "ui/qt/QtDialogToolkit.h"
#include "ui/qt/QtDialogWindow.h"
#include "ui/qt/StatusBarWidget.h"

namespace {

// The visible top-level window of the given type, or null.
template <typename Window>
Window* ShownWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Window*>(widget); window != nullptr && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

// Handles events until done() holds or two seconds have passed; what done() then says.
bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 2000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

// The control panel on the Qt backend, as the program wires it.
class QtPanel : public testing::Test {
  protected:
    QtPanel()
        : executablePath(folder.File("qvserver")),
          service(executablePath),
          panel(service, linkClass, executablePath) {
        linkClass.Register(toolkit, kLinkClassName);
        service.SetStatusSink(&panel);
    }
    ~QtPanel() override {
        service.StopAndWait(std::chrono::seconds(3));
        service.SetStatusSink(nullptr);
    }

    // Runs the panel; script runs once the modal loop is going, with the panel's window.
    int Run(std::function<void(QDialog&)> script) {
        QTimer::singleShot(0, [script] {
            auto* dialog = ShownWindow<QtDialogWindow>();
            ASSERT_NE(dialog, nullptr);
            script(*dialog);
        });
        return panel.RunModal(toolkit, ControlPanelTemplate(), 0);
    }

    TempDir folder;
    std::string executablePath;
    CaptureService service;
    LinkControlClass linkClass;
    ControlPanel panel;
    QtDialogToolkit toolkit;
};

TEST_F(QtPanel, StatusNewsFromAWorkerNeverWaitForTheGuiThreadAndArriveInOrder) {
    const int result = Run([&](QDialog& dialog) {
        auto* statusBar = dialog.findChild<StatusBarWidget*>();
        ASSERT_NE(statusBar, nullptr);
        EXPECT_EQ(statusBar->PaneCount(), 2);
        auto* hitCount = dialog.findChild<QLabel*>("1017");
        EXPECT_EQ(hitCount->text(), "");

        // The GUI thread waits here without handling events: a call that needed it would never return.
        auto worker = std::async(std::launch::async, [&] {
            for (int index = 1; index <= 1000; ++index) {
                panel.SetStatusClient(("host(127.0.0." + std::to_string(index % 250) + ")").c_str());
                panel.SetStatusActivity(index % 2 == 0 ? "" : "JPEG圧縮中");
                panel.SetHitCount(static_cast<std::uint32_t>(index));
            }
        });
        const bool finished = worker.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
        EXPECT_TRUE(finished);
        while (worker.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
            QApplication::processEvents();
        }
        // The news is shown within a moment, the latest of each kind.
        QElapsedTimer waited;
        waited.start();
        while (hitCount->text() != "1000" && waited.elapsed() < 2000) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        EXPECT_EQ(statusBar->PaneText(0).toStdString(), "host(127.0.0.0)");
        EXPECT_EQ(statusBar->PaneText(1).toStdString(), "");
        EXPECT_EQ(hitCount->text().toStdString(), "1000");
        dialog.reject();
    });
    EXPECT_EQ(result, 0);
    panel.SetStatusClient("after the dialog");  // goes nowhere, and returns
}

TEST_F(QtPanel, LinksAreWiredToThePanelWithTheUnderlinedDialogFont) {
    Run([&](QDialog& dialog) {
        for (const int id : {IDC_VERSIONLINK, IDC_TEMPLATELINK}) {
            auto* link = dynamic_cast<LinkControl*>(dialog.findChild<QWidget*>(QString::number(id)));
            ASSERT_NE(link, nullptr);
            EXPECT_EQ(link->State().rightAligned, 1);
            EXPECT_EQ(link->State().notifyId, id);
            EXPECT_NE(link->State().notifyWindow, nullptr);
        }
        ASSERT_NE(linkClass.LinkFont(), nullptr);
        EXPECT_TRUE(linkClass.LinkFont()->underline());
        EXPECT_EQ(linkClass.LinkFont()->family(), dialog.font().family());
        dialog.reject();
    });
}

TEST_F(QtPanel, AFailedStartShowsTheWarningBoxOverThePanel) {
    const int held = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(held, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(held, 1);
    socklen_t length = sizeof address;
    getsockname(held, reinterpret_cast<sockaddr*>(&address), &length);

    std::string boxText;
    std::string boxCaption;
    Run([&](QDialog& dialog) {
        dialog.findChild<QLineEdit*>("1000")->setText(QString::number(ntohs(address.sin_port)));
        QTimer::singleShot(20, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            boxText = box->text().toStdString();
            boxCaption = box->windowTitle().toStdString();
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            box->accept();
        });
        dialog.findChild<QPushButton*>("1")->click();
        EXPECT_TRUE(dialog.findChild<QPushButton*>("1")->isEnabled());
        EXPECT_FALSE(dialog.findChild<QPushButton*>("1002")->isEnabled());
        dialog.reject();
    });
    close(held);
    EXPECT_EQ(boxText, "サービスを開始できませんでした。");
    EXPECT_EQ(boxCaption, "QV Server");
    EXPECT_FALSE(service.IsRunning());
}

// Clicks widget through its window, as the window system delivers a user's click: a window that a modal
// one blocks does not get it.
void ClickAsUser(QWidget* widget) {
    QWidget* window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      widget->mapTo(window, widget->rect().center()));
}

// The About box belongs to no window: it takes the keyboard, its button works, the panel still takes
// clicks while it is open, and Esc closes the box, not the panel.
TEST_F(QtPanel, TheAboutBoxLeavesThePanelUsableAndEscapeClosesOnlyTheBox) {
    const int result = Run([&](QDialog& dialog) {
        QWidget* versionLink = dialog.findChild<QWidget*>("1011");
        ClickAsUser(versionLink);
        QPointer<QMessageBox> about = ShownWindow<QMessageBox>();
        ASSERT_FALSE(about.isNull());
        EXPECT_EQ(about->windowTitle().toStdString(), "About");
        EXPECT_EQ(about->parentWidget(), nullptr);
        EXPECT_TRUE(WaitFor([&about] { return QApplication::activeWindow() == about; }));

        auto* click = dialog.findChild<QCheckBox*>("1007");
        const bool wasChecked = click->isChecked();
        ClickAsUser(click);
        EXPECT_NE(click->isChecked(), wasChecked);

        ClickAsUser(about->button(QMessageBox::Ok));
        EXPECT_TRUE(WaitFor([&about] { return about.isNull() || !about->isVisible(); }));

        ClickAsUser(versionLink);
        about = ShownWindow<QMessageBox>();
        ASSERT_FALSE(about.isNull());
        QTest::keyClick(about->windowHandle(), Qt::Key_Escape);
        EXPECT_TRUE(WaitFor([&about] { return about.isNull() || !about->isVisible(); }));
        EXPECT_TRUE(dialog.isVisible());
        dialog.reject();
    });
    EXPECT_EQ(result, 0);
}

// A signal to end the program closes the panel as Esc does: the settings as shown are saved, the snapshot
// is removed. Even with the panel's file chooser open, whose Cancel would load default.ini first.
TEST_F(QtPanel, EndSignalsCloseThePanelAsEscapeDoes) {
    const std::unique_ptr<CloseOnSignals> closeOnSignals = CloseOnSignals::Install(toolkit);
    ASSERT_NE(closeOnSignals, nullptr);
    EXPECT_EQ(CloseOnSignals::Install(toolkit), nullptr);  // one at a time
    TempDir::WriteFile(folder.File("default.ini"), "[WWW]\nPort=7070\nRun=yes\n");
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        for (const bool chooserOpen : {false, true}) {
            SCOPED_TRACE(std::to_string(signalNumber) + (chooserOpen ? " over the chooser" : ""));
            std::filesystem::remove(folder.File("current.ini"));
            TempDir::WriteFile(folder.File("screen.jpg"), "snapshot");
            bool chooserLeftOpen = false;
            const int result = Run([&](QDialog& dialog) {
                dialog.findChild<QLineEdit*>("1000")->setText("8123");
                if (chooserOpen) {
                    QTimer::singleShot(50, [signalNumber] {
                        EXPECT_NE(qobject_cast<QFileDialog*>(QApplication::activeModalWidget()), nullptr);
                        std::raise(signalNumber);
                    });
                    // Should the signal leave the chooser open, the test closes it rather than hang.
                    QTimer::singleShot(3000, [&chooserLeftOpen] {
                        if (auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                            chooserLeftOpen = true;
                            chooser->reject();
                        }
                    });
                    ClickAsUser(dialog.findChild<QWidget*>("1023"));
                } else {
                    std::raise(signalNumber);
                }
            });
            EXPECT_EQ(result, 0);
            EXPECT_FALSE(chooserLeftOpen);
            EXPECT_FALSE(TempDir::Exists(folder.File("screen.jpg")));
            const std::string saved = TempDir::ReadFile(folder.File("current.ini"));
            EXPECT_NE(saved.find("Port=8123\n"), std::string::npos) << saved;
            EXPECT_NE(saved.find("Run=no\n"), std::string::npos) << saved;
            EXPECT_FALSE(service.IsRunning());
        }
    }
}

TEST(QtProgramIcon, IsBuiltInAndDrawsTheScreenPicture) {
    const QIcon icon = ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    const QImage picture = icon.pixmap(64, 64).toImage();
    ASSERT_FALSE(picture.isNull());
    // The screen's blue fills the middle of the picture.
    const QColor middle = picture.pixelColor(20, 20);
    EXPECT_EQ(middle, QColor(0x3d, 0x7f, 0xd9)) << middle.name().toStdString();
}

}  // namespace
