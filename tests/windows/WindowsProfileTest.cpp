// The settings file through the system's own profile functions: the file is in the ANSI code page, the
// values in the program are UTF-8. The suite runs with a Japanese locale (code page 932, Shift-JIS), as on
// the systems the program was written for.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/Profile.h"
#include "service/Settings.h"
#include "service/SettingsKeys.h"
#include "tests/support/TempDir.h"

namespace profile = platform::profile;

namespace {

// "表示" and "ソフト" in Shift-JIS: the second byte of 表 (0x5C) and of ソ (0x5C) is a backslash.
const std::string kDisplayShiftJis = "\x95\x5c\x8e\xa6";
const std::string kSoftwareShiftJis = "\x83\x5c\x83\x74\x83\x67";
const std::string kDisplay = "表示";
const std::string kSoftware = "ソフト";

std::string Read(const std::string& path, const char* section, const char* key) {
    char buffer[settings::kValueBytes];
    profile::ReadString(section, key, "dflt", buffer, sizeof buffer, path.c_str());
    return buffer;
}

}  // namespace

TEST(WindowsProfile, RunsInTheShiftJisCodePage) {
    ASSERT_EQ(GetACP(), 932u);
}

TEST(WindowsProfile, ReadsAShiftJisFileWrittenOnAJapaneseSystemAsUtf8) {
    TempDir folder;
    const std::string path = folder.File("current.ini");
    TempDir::WriteFile(path, "[WWW]\r\nRealm=" + kDisplayShiftJis + " " + kSoftwareShiftJis +
                                 "\r\n[TARGET]\r\nWinClass=" + kSoftwareShiftJis + "\r\n");
    EXPECT_EQ(Read(path, "WWW", "Realm"), kDisplay + " " + kSoftware);
    EXPECT_EQ(Read(path, "target", "winclass"), kSoftware);
    EXPECT_EQ(profile::ReadValue("TARGET", "WinClass", path.c_str()), kSoftware);
    EXPECT_EQ(Read(path, "TARGET", "Desktop"), "dflt");
    // A value cut to the buffer ends before a character that does not fit whole (each is 3 bytes here).
    char buffer[6];
    EXPECT_EQ(profile::ReadString("WWW", "Realm", "", buffer, sizeof buffer, path.c_str()), 3u);
    EXPECT_EQ(std::string(buffer), "表");
}

TEST(WindowsProfile, WritesValuesInTheSaveOrderAndReadsThemBack) {
    TempDir folder;
    const std::string path = folder.File("current.ini");
    for (const settings::SettingKey& key : settings::Keys()) {
        const std::string value = std::string(key.key) == "Realm" ? kDisplay : key.defaultValue;
        ASSERT_TRUE(profile::WriteString(key.section, key.key, value.c_str(), path.c_str())) << key.key;
    }
    EXPECT_EQ(Read(path, "WWW", "Realm"), kDisplay);
    EXPECT_EQ(Read(path, "QV", "ScaleDwonImage"), "no");
    // Sections appear where their first key was written, keys in the order they were written.
    const std::string text = TempDir::ReadFile(path);
    std::size_t at = 0;
    for (const char* expected :
         {"[IMAGE]", "Quality=75", "[WWW]", "Port=80", "Realm=", "User=", "Pass=", "Authenticate=", "Run=",
          "[QV]", "EnableClick=yes", "Priority=1", "MinRemake=3", "ScaleDwonImage=no", "DrawTime=yes",
          "ResolveHostname=yes", "[TARGET]", "Desktop=yes", "WinClass="}) {
        const std::size_t found = text.find(expected, at);
        ASSERT_NE(found, std::string::npos) << expected << " in order in\n" << text;
        at = found;
    }
    EXPECT_NE(text.find("Realm=" + kDisplayShiftJis + "\r\n"), std::string::npos)
        << "stored as Shift-JIS bytes";
}

TEST(WindowsProfile, AValueCannotStartNewLinesInTheFile) {
    TempDir folder;
    const std::string path = folder.File("current.ini");
    ASSERT_TRUE(profile::WriteString("WWW", "Realm", "first\r\n[QV]\r\nEnableClick=yes", path.c_str()));
    EXPECT_EQ(Read(path, "WWW", "Realm"), "first");
    EXPECT_EQ(Read(path, "QV", "EnableClick"), "dflt");
}

// Files written elsewhere or by hand: every line ending and a byte-order mark. The system's writer ends
// lines its own way (CR LF); what matters is that no key is lost and the mark stays in front.
TEST(WindowsProfile, ReadsEveryLineEndingAndAByteOrderMarkAndKeepsEveryKeyWhenWriting) {
    TempDir folder;
    const std::string path = folder.File("current.ini");
    TempDir::WriteFile(path, "\xEF\xBB\xBF[WWW]\rPort=8080\r\nRealm=r\n\r[QV]\rEnableClick=no");
    EXPECT_EQ(Read(path, "WWW", "Port"), "8080");
    EXPECT_EQ(Read(path, "WWW", "Realm"), "r");
    EXPECT_EQ(Read(path, "QV", "EnableClick"), "no");
    EXPECT_EQ(profile::ReadValue("QV", "Missing", path.c_str()), std::nullopt);

    ASSERT_TRUE(profile::WriteString("WWW", "Port", "80", path.c_str()));
    ASSERT_TRUE(profile::WriteString("WWW", "User", "u", path.c_str()));
    ASSERT_TRUE(profile::WriteString("QV", "DrawTime", "yes", path.c_str()));
    EXPECT_EQ(Read(path, "WWW", "Port"), "80");
    EXPECT_EQ(Read(path, "WWW", "Realm"), "r");
    EXPECT_EQ(Read(path, "WWW", "User"), "u");
    EXPECT_EQ(Read(path, "QV", "EnableClick"), "no");
    EXPECT_EQ(Read(path, "QV", "DrawTime"), "yes");
    EXPECT_EQ(TempDir::ReadFile(path).rfind("\xEF\xBB\xBF[WWW]", 0), 0u);
}
