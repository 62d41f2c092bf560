#include <sys/stat.h>

#include <string>
#include <vector>

#include "PanelFixture.h"
#include "tests/support/SettingsFileLines.h"

namespace {

using PanelSettings = PanelFixture;

TEST_F(PanelSettings, WithoutCurrentIniEveryControlShowsItsDefaultAndNothingStarts) {
    const int result = Run([&](FakeDialogWindow& dialog) {
        EXPECT_EQ(dialog.At(IDC_QUALITY).text, "75");
        EXPECT_EQ(dialog.At(IDC_PORT).text, "80");
        EXPECT_EQ(dialog.At(IDC_REALM).text, "ORV QV Server");
        EXPECT_EQ(dialog.At(IDC_USER).text, "");
        EXPECT_EQ(dialog.At(IDC_PASSWORD).text, "");
        EXPECT_EQ(dialog.At(IDC_CLICK).checked, 1);
        EXPECT_EQ(dialog.At(IDC_DRAWTIME).checked, 1);
        EXPECT_EQ(dialog.At(IDC_RESOLVE).checked, 1);
        EXPECT_EQ(dialog.At(IDC_SCALEDOWN).checked, 0);
        EXPECT_EQ(dialog.At(IDC_AUTH).checked, 0);
        EXPECT_EQ(dialog.At(IDC_DESKTOP).checked, 1);
        EXPECT_EQ(dialog.At(IDC_ACTIVEWINDOW).checked, 0);
        EXPECT_EQ(dialog.At(IDC_PRIORITY).sliderPosition, 1);
        EXPECT_EQ(dialog.At(IDC_PRIORITY).sliderMaximum, 4);
        EXPECT_EQ(dialog.At(IDC_PRIORITYNAME).text, "低");
        EXPECT_EQ(dialog.At(IDC_MINREMAKE).text, "3");
        EXPECT_EQ(dialog.At(IDC_WINCLASS).text, "");
        EXPECT_EQ(dialog.At(IDC_HITCOUNT).text, "");
        EXPECT_TRUE(dialog.At(IDOK).enabled);
        EXPECT_FALSE(dialog.At(IDC_STOP).enabled);
        EXPECT_TRUE(dialog.messageBoxes.empty());
        Close(dialog);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(service.CurrentSettings().priority, 1);
    EXPECT_FALSE(service.IsRunning());
}

TEST_F(PanelSettings, AFileWrittenFromScratchListsSectionsAndKeysInSaveOrder) {
    Run([&](FakeDialogWindow& dialog) { Close(dialog); });
    EXPECT_EQ(NonBlankLines(CurrentIni()), kDefaultSettingsFileLines);
}

TEST_F(PanelSettings, AnExistingFileKeepsItsOrderAndComments) {
    WriteCurrentIni("; my settings\n[QV]\nMinRemake=10\n; keep me\nPriority=2\n[WWW]\nRun=no\nPort=8080\n");
    Run([&](FakeDialogWindow& dialog) {
        EXPECT_EQ(dialog.At(IDC_PORT).text, "8080");
        EXPECT_EQ(dialog.At(IDC_MINREMAKE).text, "10");
        EXPECT_EQ(dialog.At(IDC_PRIORITYNAME).text, "通常");
        Close(dialog);
    });
    const std::vector<std::string> lines = NonBlankLines(CurrentIni());
    const std::vector<std::string> head(lines.begin(), lines.begin() + 9);
    const std::vector<std::string> expectedHead = {
        "; my settings",     "[QV]",         "MinRemake=10",
        "; keep me",         "Priority=2",   "EnableClick=yes",
        "ScaleDwonImage=no", "DrawTime=yes", "ResolveHostname=yes"};
    EXPECT_EQ(head, expectedHead);
    const std::vector<std::string> tail(lines.begin() + 9, lines.begin() + 17);
    const std::vector<std::string> expectedTail = {
        "[WWW]", "Run=no", "Port=8080",       "Realm=ORV QV Server",
        "User=", "Pass=",  "Authenticate=no", "[IMAGE]"};
    EXPECT_EQ(tail, expectedTail);
}

TEST_F(PanelSettings, AFlagIsSetOnlyByALeadingLowerCaseY) {
    struct Case {
        const char* value;
        int checked;
    };
    const Case cases[] = {{"Y", 0},   {"YES", 0}, {"y", 1}, {"yup", 1},
                          {"yes", 1}, {"no", 0},  {"", 0},  {" yes", 1}};
    for (const Case& flagCase : cases) {
        WriteCurrentIni(std::string("[QV]\nEnableClick=") + flagCase.value +
                        "\nScaleDwonImage=" + flagCase.value + "\n");
        Run([&](FakeDialogWindow& dialog) {
            EXPECT_EQ(dialog.At(IDC_CLICK).checked, flagCase.checked) << "'" << flagCase.value << "'";
            EXPECT_EQ(dialog.At(IDC_SCALEDOWN).checked, flagCase.checked) << "'" << flagCase.value << "'";
            Close(dialog);
        });
    }
}

TEST_F(PanelSettings, NumbersLoadLikeAtoiAndShowUnsigned) {
    struct Case {
        const char* value;
        const char* shown;
    };
    const Case cases[] = {{"-1", "4294967295"}, {"abc", "0"}, {"150", "150"},
                          {"  42xyz", "42"},    {"+7", "7"},  {"", "0"}};
    for (const Case& numberCase : cases) {
        WriteCurrentIni(std::string("[IMAGE]\nQuality=") + numberCase.value +
                        "\n[QV]\nMinRemake=" + numberCase.value + "\n[WWW]\nPort=" + numberCase.value + "\n");
        Run([&](FakeDialogWindow& dialog) {
            EXPECT_EQ(dialog.At(IDC_QUALITY).text, numberCase.shown) << numberCase.value;
            EXPECT_EQ(dialog.At(IDC_MINREMAKE).text, numberCase.shown) << numberCase.value;
            EXPECT_EQ(dialog.At(IDC_PORT).text, numberCase.shown) << numberCase.value;
            Close(dialog);
        });
    }
}

TEST_F(PanelSettings, FieldValuesAreSavedAsTheFieldsHoldThem) {
    WriteCurrentIni("[IMAGE]\nQuality=150\n[QV]\nMinRemake=-1\n");
    Run([&](FakeDialogWindow& dialog) {
        dialog.Type(IDC_PORT, "http");
        Close(dialog);
    });
    const std::string saved = CurrentIni();
    EXPECT_NE(saved.find("Quality=150\n"), std::string::npos);
    EXPECT_NE(saved.find("MinRemake=-1\n"), std::string::npos);  // 4294967295 written as "%d"
    EXPECT_NE(saved.find("Port=0\n"), std::string::npos);
}

// A file saved by a Windows editor (byte-order mark, CR LF) or with bare CR line ends keeps every key:
// authentication stays on. Closing writes the file back readable by its owner only: it holds the password.
TEST_F(PanelSettings, ReadsEveryLineEndingAndSavesForTheOwnerOnly) {
    for (const std::string ending : {"\r\n", "\r"}) {
        WriteCurrentIni("\xEF\xBB\xBF[WWW]" + ending + "Authenticate=yes" + ending + "Pass=secret" + ending +
                        "[QV]" + ending + "EnableClick=no" + ending);
        ASSERT_EQ(chmod(folder.File("current.ini").c_str(), 0644), 0);
        Run([&](FakeDialogWindow& dialog) {
            EXPECT_EQ(dialog.At(IDC_AUTH).checked, 1);
            EXPECT_EQ(dialog.At(IDC_PASSWORD).text, "secret");
            EXPECT_EQ(dialog.At(IDC_CLICK).checked, 0);
            Close(dialog);
        });
        struct stat status {};
        ASSERT_EQ(stat(folder.File("current.ini").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        const std::string saved = CurrentIni();
        EXPECT_TRUE(saved.starts_with("\xEF\xBB\xBF[WWW]" + ending + "Authenticate=yes" + ending)) << saved;
    }
}

TEST_F(PanelSettings, ALongRealmArrivesCutTo199Bytes) {
    const std::string realm(250, 'r');
    WriteCurrentIni("[WWW]\nRealm=" + realm + "\n");
    Run([&](FakeDialogWindow& dialog) {
        EXPECT_EQ(dialog.At(IDC_REALM).text, realm.substr(0, 199));
        Close(dialog);
    });
}

TEST_F(PanelSettings, DesktopNoSelectsTheActiveWindow) {
    WriteCurrentIni("[TARGET]\nDesktop=no\nWinClass=Notepad\n");
    Run([&](FakeDialogWindow& dialog) {
        EXPECT_EQ(dialog.At(IDC_DESKTOP).checked, 0);
        EXPECT_EQ(dialog.At(IDC_ACTIVEWINDOW).checked, 1);
        EXPECT_EQ(dialog.At(IDC_WINCLASS).text, "Notepad");
        Close(dialog);
    });
    EXPECT_NE(CurrentIni().find("Desktop=no\n"), std::string::npos);
}

TEST_F(PanelSettings, APriorityOutsideTheSliderTakesTheSlidersPosition) {
    WriteCurrentIni("[QV]\nPriority=9\n");
    Run([&](FakeDialogWindow& dialog) {
        EXPECT_EQ(dialog.At(IDC_PRIORITY).sliderPosition, 4);
        EXPECT_EQ(dialog.At(IDC_PRIORITYNAME).text, "最高");
        Close(dialog);
    });
    EXPECT_EQ(service.CurrentSettings().priority, 4);
}

TEST_F(PanelSettings, TheTemplateChooserOffersDefaultIniAndLoadsItEvenOnCancel) {
    TempDir::WriteFile(folder.File("default.ini"), "[IMAGE]\nQuality=33\n");
    Run([&](FakeDialogWindow& dialog) {
        dialog.Type(IDC_QUALITY, "99");
        dialog.ClickLink(IDC_TEMPLATELINK);
        ASSERT_EQ(dialog.choosers.size(), 1u);
        const FakeDialogWindow::ChooserRecord& chooser = dialog.choosers[0];
        EXPECT_EQ(chooser.offered, folder.File("default.ini"));
        EXPECT_EQ(chooser.title, "テンプレートを選択");
        const std::vector<std::pair<std::string, std::string>> filters = {
            {"テンプレート(*.ini)", "*.INI;*.log"}, {"全てのﾌｧｲﾙ (*.*)", "*.*"}};
        EXPECT_EQ(chooser.filters, filters);
        EXPECT_EQ(dialog.At(IDC_QUALITY).text, "33");
        Close(dialog);
    });
}

TEST_F(PanelSettings, AChosenTemplateIsLoadedAndItsRunStartsTheService) {
    TempDir::WriteFile(folder.File("chosen.log"), "[WWW]\nPort=0\nRun=yes\nUser=guest\n");
    Run([&](FakeDialogWindow& dialog) {
        dialog.chooserAnswer = folder.File("chosen.log");
        dialog.ClickLink(IDC_TEMPLATELINK);
        EXPECT_EQ(dialog.At(IDC_USER).text, "guest");
        EXPECT_TRUE(service.IsRunning());
        EXPECT_FALSE(dialog.At(IDC_TEMPLATELINK).enabled);
        Close(dialog);
    });
    EXPECT_NE(CurrentIni().find("Run=yes\n"), std::string::npos);
}

}  // namespace
