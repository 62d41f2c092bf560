#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "PanelFixture.h"

namespace {

constexpr int kRunningList[] = {IDC_AUTH,     IDC_REALM,     IDC_USER,         IDC_PASSWORD,
                                IDC_PORT,     IDC_QUALITY,   IDC_CLICK,        IDC_SCALEDOWN,
                                IDC_DRAWTIME, IDC_DESKTOP,   IDC_ACTIVEWINDOW, IDC_WINCLASS,
                                IDC_PRIORITY, IDC_MINREMAKE, IDC_RESOLVE,      IDC_TEMPLATELINK};

// A port that a listening socket of this test holds on 127.0.0.1.
class HeldPort {
  public:
    HeldPort() : descriptor(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(descriptor, 1);
        socklen_t length = sizeof address;
        getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~HeldPort() { close(descriptor); }
    int Port() const { return port; }

  private:
    int descriptor;
    int port = 0;
};

using ControlPanelDialog = PanelFixture;

TEST_F(ControlPanelDialog, InitReplacesTheSnapshotWithTheWaitPictureAndWiresTheLinks) {
    std::filesystem::create_directory(folder.File("data"));
    TempDir::WriteFile(folder.File("data/wait.jpg"), "wait picture");
    TempDir::WriteFile(folder.File("screen.jpg"), "old snapshot");
    Run([&](FakeDialogWindow& dialog) {
        EXPECT_EQ(TempDir::ReadFile(folder.File("screen.jpg")), "wait picture");
        EXPECT_EQ(dialog.statusPaneEdges, (std::vector<int>{250, 340}));
        for (const int link : {IDC_VERSIONLINK, IDC_TEMPLATELINK}) {
            EXPECT_EQ(dialog.At(link).link.rightAligned, 1);
            EXPECT_EQ(dialog.At(link).link.notifyWindow, &dialog);
            EXPECT_EQ(dialog.At(link).link.notifyId, link);
        }
        Close(dialog);
    });
    EXPECT_EQ(links.fontsMade, 1);
}

TEST_F(ControlPanelDialog, RunYesStartsTheServiceOnceInitialisationIsOver) {
    WriteCurrentIni("[WWW]\nPort=0\nRun=yes\n");
    Run([&](FakeDialogWindow& dialog) {
        EXPECT_TRUE(service.IsRunning());
        EXPECT_FALSE(dialog.At(IDOK).enabled);
        EXPECT_TRUE(dialog.At(IDC_STOP).enabled);
        Close(dialog);
    });
}

// Port 0 asks the system for any free port, so on Linux an empty port field starts the service.
TEST_F(ControlPanelDialog, StartCopiesTheFieldsIntoTheServiceWithTheQualityCapped) {
    Run([&](FakeDialogWindow& dialog) {
        dialog.Type(IDC_PORT, "");
        dialog.Type(IDC_QUALITY, "250");
        dialog.Type(IDC_USER, "user");
        dialog.Type(IDC_PASSWORD, "secret");
        dialog.Type(IDC_REALM, "Realm");
        dialog.Type(IDC_WINCLASS, "Notepad");
        dialog.Type(IDC_MINREMAKE, "7");
        dialog.Click(IDC_AUTH);
        dialog.Click(IDC_ACTIVEWINDOW);
        dialog.Click(IDOK);
        EXPECT_TRUE(service.IsRunning());
        EXPECT_EQ(dialog.At(IDC_QUALITY).text, "250");
        Close(dialog);
    });
    EXPECT_EQ(service.CurrentSettings().quality, 100);
    EXPECT_STREQ(service.Credentials(), "user:secret");
    EXPECT_EQ(service.CurrentSettings().realm, "Realm");
    EXPECT_EQ(service.CurrentSettings().windowClass, "Notepad");
    EXPECT_EQ(service.CurrentSettings().minRemake, 7);
    EXPECT_EQ(service.CurrentSettings().authenticate, true);
    EXPECT_EQ(service.CurrentSettings().targetDesktop, false);
    EXPECT_EQ(service.CurrentSettings().enableClick, true);
    EXPECT_EQ(service.CurrentSettings().drawTime, true);
    EXPECT_EQ(service.CurrentSettings().resolveHostname, true);
    EXPECT_EQ(service.CurrentSettings().scaleDown, false);
}

TEST_F(ControlPanelDialog, StartOnAPortInUseWarnsAndChangesNothing) {
    const HeldPort held;
    Run([&](FakeDialogWindow& dialog) {
        dialog.Type(IDC_PORT, std::to_string(held.Port()));
        dialog.Click(IDOK);
        ASSERT_EQ(dialog.messageBoxes.size(), 1u);
        EXPECT_EQ(dialog.messageBoxes[0].text, "サービスを開始できませんでした。");
        EXPECT_EQ(dialog.messageBoxes[0].caption, "QV Server");
        EXPECT_EQ(dialog.messageBoxes[0].owner, MessageBoxOwner::Dialog);
        EXPECT_EQ(dialog.messageBoxes[0].icon, MessageIcon::Warning);
        EXPECT_TRUE(dialog.At(IDOK).enabled);
        EXPECT_FALSE(dialog.At(IDC_STOP).enabled);
        for (const int id : kRunningList) {
            EXPECT_TRUE(dialog.At(id).enabled) << id;
        }
        Close(dialog);
    });
    EXPECT_FALSE(service.IsRunning());
    EXPECT_NE(CurrentIni().find("Run=no\n"), std::string::npos);
}

TEST_F(ControlPanelDialog, TheRunningListIsDisabledByStartAndEnabledByStop) {
    Run([&](FakeDialogWindow& dialog) {
        dialog.Type(IDC_PORT, "0");
        dialog.Click(IDOK);
        for (const int id : kRunningList) {
            EXPECT_FALSE(dialog.At(id).enabled) << id;
        }
        EXPECT_TRUE(dialog.At(IDC_VERSIONLINK).enabled);
        dialog.Click(IDC_STOP);
        EXPECT_TRUE(dialog.At(IDOK).enabled);
        EXPECT_FALSE(dialog.At(IDC_STOP).enabled);
        for (const int id : kRunningList) {
            EXPECT_TRUE(dialog.At(id).enabled) << id;
        }
        Close(dialog);
    });
    EXPECT_NE(CurrentIni().find("Run=no\n"), std::string::npos);
}

TEST_F(ControlPanelDialog, TheSliderNamesThePriorityAndHandsItToTheService) {
    const char* const names[] = {"アイドル", "低", "通常", "高", "最高"};
    Run([&](FakeDialogWindow& dialog) {
        for (int position = 0; position <= 4; ++position) {
            dialog.MoveSlider(IDC_PRIORITY, position);
            EXPECT_EQ(dialog.At(IDC_PRIORITYNAME).text, names[position]);
            EXPECT_EQ(service.CurrentSettings().priority, position);
        }
        dialog.MoveSlider(IDC_PRIORITY, 3);
        Close(dialog);
    });
    EXPECT_EQ(service.CurrentSettings().priority, 3);
    EXPECT_NE(CurrentIni().find("Priority=3\n"), std::string::npos);
}

TEST_F(ControlPanelDialog, TheVersionLinkShowsAnUnownedAboutBoxAndOpensNothing) {
    Run([&](FakeDialogWindow& dialog) {
        dialog.ClickLink(IDC_VERSIONLINK);
        ASSERT_EQ(dialog.messageBoxes.size(), 1u);
        const FakeDialogWindow::MessageBoxRecord& about = dialog.messageBoxes[0];
        EXPECT_EQ(about.caption, "About");
        EXPECT_EQ(about.owner, MessageBoxOwner::None);
        ASSERT_GE(about.text.size(), 2u);
        EXPECT_EQ(about.text.substr(about.text.size() - 2), "\r\n");
        EXPECT_TRUE(dialog.openedTargets.empty());
        Close(dialog);
    });
}

TEST_F(ControlPanelDialog, ClosingWhileRunningSavesRunYesDeletesTheSnapshotAndLeavesTheServiceRunning) {
    TempDir::WriteFile(folder.File("screen.jpg"), "snapshot");
    const int result = Run([&](FakeDialogWindow& dialog) {
        dialog.Type(IDC_PORT, "0");
        dialog.Click(IDOK);
        Close(dialog);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(service.IsRunning());
    EXPECT_FALSE(TempDir::Exists(folder.File("screen.jpg")));
    EXPECT_NE(CurrentIni().find("Run=yes\n"), std::string::npos);
    EXPECT_TRUE(service.StopAndWait(std::chrono::seconds(3)));
}

TEST_F(ControlPanelDialog, UnknownCommandsAreIgnored) {
    const int result = Run([&](FakeDialogWindow& dialog) {
        dialog.Send(dialog_message::Command{IDC_PORT});
        dialog.Send(dialog_message::Command{4242});
        EXPECT_FALSE(dialog.Ended());
        Close(dialog);
    });
    EXPECT_EQ(result, 0);
}

}  // namespace
