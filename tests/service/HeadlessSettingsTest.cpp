#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/Profile.h"
#include "service/CaptureService.h"
#include "service/HeadlessSettings.h"
#include "service/SettingsKeys.h"
#include "tests/support/TempDir.h"

namespace {

TEST(HeadlessSettings, MissingFileGivesThePanelsDefaults) {
    TempDir folder;
    CaptureService service(folder.File("qvserver-headless"));
    EXPECT_EQ(headless::LoadSettingsIntoService(service, folder.File("current.ini").c_str()), 80);
    EXPECT_EQ(service.quality, 75);
    EXPECT_STREQ(service.realm, "ORV QV Server");
    EXPECT_STREQ(service.credentials, ":");
    EXPECT_EQ(service.authenticate, 0);
    EXPECT_EQ(service.enableClick, 1);
    EXPECT_EQ(service.targetDesktop, 1);
    EXPECT_EQ(service.scaleDown, 0);
    EXPECT_EQ(service.drawTime, 1);
    EXPECT_EQ(service.resolveHostname, 1);
    EXPECT_STREQ(service.windowClass, "");
    EXPECT_EQ(service.priority, 1);
    EXPECT_EQ(service.minRemake, 3u);
    EXPECT_FALSE(TempDir::Exists(folder.File("current.ini")));
}

TEST(HeadlessSettings, ReadsValuesWithThePanelsEncodings) {
    TempDir folder;
    const std::string path = folder.File("current.ini");
    const std::string longText(250, 'x');
    const std::string file = "[IMAGE]\nQuality=250\n"
                             "[WWW]\nPort=8080\nRealm=" + longText + "\nUser=" + longText + "\nPass=secret\n"
                             "Authenticate=yes\nRun=no\n"
                             "[QV]\nEnableClick=Yes\nPriority=9\nMinRemake=-1\nScaleDwonImage=y\nDrawTime=no\n"
                             "ResolveHostname=yup\n"
                             "[TARGET]\nDesktop=no\nWinClass=" + longText + "\n";
    TempDir::WriteFile(path, file);
    CaptureService service(folder.File("qvserver-headless"));
    EXPECT_EQ(headless::LoadSettingsIntoService(service, path.c_str()), 8080);
    EXPECT_EQ(service.quality, 100);
    // The panel's realm, user and password fields give at most 99 bytes each.
    EXPECT_EQ(std::string(service.realm), longText.substr(0, 99));
    EXPECT_EQ(std::string(service.credentials), longText.substr(0, 99) + ":secret");
    EXPECT_EQ(service.authenticate, 1);
    EXPECT_EQ(service.enableClick, 0);
    EXPECT_EQ(service.priority, 4);
    EXPECT_EQ(service.minRemake, 4294967295u);
    EXPECT_EQ(service.scaleDown, 1);
    EXPECT_EQ(service.drawTime, 0);
    EXPECT_EQ(service.resolveHostname, 1);
    EXPECT_EQ(service.targetDesktop, 0);
    EXPECT_EQ(std::string(service.windowClass), longText.substr(0, 199));
    EXPECT_EQ(TempDir::ReadFile(path), file);
}

TEST(HeadlessSettings, ConvertsOddNumbersAsThePanelDoes) {
    struct NumberCase {
        const char* quality;
        const char* port;
        const char* priority;
        int expectedQuality;
        int expectedPort;
        int expectedPriority;
    };
    const NumberCase cases[] = {
        {"100", "80", "0", 100, 80, 0},
        {"101", "65535", "4", 100, 65535, 4},
        {"-5", "http", "-2", -5, 0, 0},
        {"", "", "", 0, 0, 0},
        {"0", " 443 ", "3x", 0, 443, 3},
    };
    for (const NumberCase& testCase : cases) {
        TempDir folder;
        const std::string path = folder.File("current.ini");
        TempDir::WriteFile(path, std::string("[IMAGE]\nQuality=") + testCase.quality + "\n[WWW]\nPort=" + testCase.port +
                                     "\n[QV]\nPriority=" + testCase.priority + "\n");
        CaptureService service(folder.File("qvserver-headless"));
        EXPECT_EQ(headless::LoadSettingsIntoService(service, path.c_str()), testCase.expectedPort) << testCase.port;
        EXPECT_EQ(service.quality, testCase.expectedQuality) << testCase.quality;
        EXPECT_EQ(service.priority, testCase.expectedPriority) << testCase.priority;
    }
}

TEST(HeadlessSettings, ReplacesTheSnapshotWithTheStartupPicture) {
    TempDir folder;
    std::filesystem::create_directories(folder.File("data"));
    TempDir::WriteFile(folder.File("screen.jpg"), "old picture");
    TempDir::WriteFile(folder.File("data/wait.jpg"), "start-up picture");
    const CaptureService service(folder.File("qvserver-headless"));
    headless::ShowStartupPicture(service);
    EXPECT_EQ(TempDir::ReadFile(folder.File("screen.jpg")), "start-up picture");

    std::filesystem::remove(folder.File("data/wait.jpg"));
    headless::ShowStartupPicture(service);
    EXPECT_FALSE(TempDir::Exists(folder.File("screen.jpg")));
}

// The panel saves every key in its save order; on a fresh file that groups the keys by section.
TEST(SettingsFile, FreshFileTakesTheSaveOrdersLayout) {
    TempDir folder;
    const std::string path = folder.File("current.ini");
    for (const settings::SettingKey* key : settings::kSaveOrder) {
        ASSERT_TRUE(platform::profile::WriteString(key->section, key->key, key->defaultValue, path.c_str()));
    }
    EXPECT_EQ(TempDir::ReadFile(path),
              "[IMAGE]\nQuality=75\n\n"
              "[WWW]\nPort=80\nRealm=ORV QV Server\nUser=\nPass=\nAuthenticate=\nRun=\n\n"
              "[QV]\nEnableClick=yes\nPriority=1\nMinRemake=3\nScaleDwonImage=no\nDrawTime=yes\nResolveHostname=yes\n\n"
              "[TARGET]\nDesktop=yes\nWinClass=\n");
}

}  // namespace
