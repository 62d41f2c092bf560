#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/Profile.h"
#include "service/CaptureService.h"
#include "service/HeadlessSettings.h"
#include "service/Settings.h"
#include "tests/support/TempDir.h"

namespace {

bool HasNote(const headless::LoadedSettings& loaded, const std::string& part) {
    for (const std::string& note : loaded.notes) {
        if (note.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(HeadlessSettings, MissingFileGivesThePanelsDefaults) {
    TempDir folder;
    const std::string path = folder.File("current.ini");
    const headless::LoadedSettings loaded = headless::LoadSettings(path.c_str());
    ASSERT_TRUE(loaded.settings.has_value()) << loaded.error;
    EXPECT_TRUE(HasNote(loaded, "no settings found in " + path + ", using defaults"));

    CaptureService service(folder.File("qvserver-headless"));
    ASSERT_TRUE(service.ApplySettings(*loaded.settings));
    const Settings& applied = service.CurrentSettings();
    EXPECT_EQ(applied.port, 80);
    EXPECT_EQ(applied.quality, 75);
    EXPECT_EQ(applied.realm, "ORV QV Server");
    EXPECT_STREQ(service.Credentials(), ":");
    EXPECT_FALSE(applied.authenticate);
    EXPECT_TRUE(applied.enableClick);
    EXPECT_TRUE(applied.targetDesktop);
    EXPECT_FALSE(applied.scaleDown);
    EXPECT_TRUE(applied.drawTime);
    EXPECT_TRUE(applied.resolveHostname);
    EXPECT_EQ(applied.windowClass, "");
    EXPECT_EQ(applied.priority, 1);
    EXPECT_EQ(applied.minRemake, 3);
    EXPECT_FALSE(TempDir::Exists(path));
}

// The shared loader keeps the panel's rules; applying caps the quality and cuts the texts the panel's
// fields would cut.
TEST(SettingsLoad, ReadsValuesWithThePanelsEncodings) {
    TempDir folder;
    const std::string path = folder.File("current.ini");
    const std::string longText(250, 'x');
    const std::string file =
        "[IMAGE]\nQuality=250\n"
        "[WWW]\nPort=8080\nRealm=" +
        longText + "\nUser=" + longText +
        "\nPass=secret\n"
        "Authenticate=yes\nRun=no\n"
        "[QV]\nEnableClick=Yes\nPriority=9\nMinRemake=-1\nScaleDwonImage=y\nDrawTime=no\n"
        "ResolveHostname=yup\n"
        "[TARGET]\nDesktop=no\nWinClass=" +
        longText + "\n";
    TempDir::WriteFile(path, file);
    const Settings loaded = settings::Load(path.c_str());
    EXPECT_EQ(loaded.port, 8080);
    EXPECT_EQ(loaded.priority, 9);
    EXPECT_EQ(loaded.realm, longText.substr(0, 199));

    CaptureService service(folder.File("qvserver-headless"));
    ASSERT_TRUE(service.ApplySettings(loaded));
    const Settings& applied = service.CurrentSettings();
    EXPECT_EQ(applied.quality, 100);
    // The panel's realm, user and password fields give at most 99 bytes each.
    EXPECT_EQ(applied.realm, longText.substr(0, 99));
    EXPECT_EQ(std::string(service.Credentials()), longText.substr(0, 99) + ":secret");
    EXPECT_TRUE(applied.authenticate);
    EXPECT_FALSE(applied.enableClick);
    EXPECT_EQ(static_cast<std::uint32_t>(applied.minRemake), 4294967295u);
    EXPECT_TRUE(applied.scaleDown);
    EXPECT_FALSE(applied.drawTime);
    EXPECT_TRUE(applied.resolveHostname);
    EXPECT_FALSE(applied.targetDesktop);
    EXPECT_EQ(applied.windowClass, longText.substr(0, 199));
    EXPECT_EQ(TempDir::ReadFile(path), file);

    // The headless host takes none of it: the first key it cannot honour is named.
    const headless::LoadedSettings strict = headless::LoadSettings(path.c_str());
    EXPECT_FALSE(strict.settings.has_value());
    EXPECT_EQ(strict.error, path + ": [IMAGE] Quality=250 is not accepted: a whole number from 0 to 100 is");
}

// What the headless host refuses, and the odd values it still takes. Each file holds one key; a refusal
// names the key and the value and says what is accepted.
TEST(HeadlessSettings, RefusesNumbersItCannotHonour) {
    struct NumberCase {
        const char* section;
        const char* key;
        const char* value;
        const char* accepted;  // the range a refusal names; null when the value is taken
        std::int32_t expected;
    };
    const NumberCase cases[] = {
        {"IMAGE", "Quality", "100", nullptr, 100},
        {"IMAGE", "Quality", "101", "0 to 100", 0},
        {"IMAGE", "Quality", "-5", "0 to 100", 0},
        {"IMAGE", "Quality", "", "0 to 100", 0},
        {"IMAGE", "Quality", "0", nullptr, 0},
        {"WWW", "Port", "65535", nullptr, 65535},
        {"WWW", "Port", " 443 ", nullptr, 443},
        {"WWW", "Port", "+80", nullptr, 80},
        {"WWW", "Port", "http", "1 to 65535", 0},
        {"WWW", "Port", "70000", "1 to 65535", 0},
        {"WWW", "Port", "-1", "1 to 65535", 0},
        {"WWW", "Port", "0", "1 to 65535", 0},
        {"WWW", "Port", "80x", "1 to 65535", 0},
        {"WWW", "Port", "99999999999999999999", "1 to 65535", 0},
        {"QV", "Priority", "0", nullptr, 0},
        {"QV", "Priority", "4", nullptr, 4},
        {"QV", "Priority", "-2", "0 to 4", 0},
        {"QV", "Priority", "3x", "0 to 4", 0},
        {"QV", "Priority", "5", "0 to 4", 0},
        {"QV", "MinRemake", "0", nullptr, 0},
        {"QV", "MinRemake", "-1", "0 to 4294967", 0},
        // The largest interval whose milliseconds still fit 32 bits, and the first that wraps.
        {"QV", "MinRemake", "4294967", nullptr, 4294967},
        {"QV", "MinRemake", "4294968", "0 to 4294967", 0},
    };
    for (const NumberCase& testCase : cases) {
        TempDir folder;
        const std::string path = folder.File("current.ini");
        TempDir::WriteFile(
            path, std::string("[") + testCase.section + "]\n" + testCase.key + "=" + testCase.value + "\n");
        const headless::LoadedSettings loaded = headless::LoadSettings(path.c_str());
        const std::string name = std::string(testCase.key) + "=" + testCase.value;
        if (testCase.accepted == nullptr) {
            ASSERT_TRUE(loaded.settings.has_value()) << name << ": " << loaded.error;
            EXPECT_EQ(FormatValue(*settings::FindKey(testCase.section, testCase.key), *loaded.settings),
                      std::to_string(testCase.expected))
                << name;
        } else {
            EXPECT_FALSE(loaded.settings.has_value()) << name;
            EXPECT_EQ(loaded.error, path + ": [" + testCase.section + "] " + name +
                                        " is not accepted: a whole number from " + testCase.accepted + " is")
                << name;
        }
    }
}

// A password that the panel's field could not hold can never match: the host refuses it rather than cut
// it, without showing it. One that fits arrives whole.
TEST(HeadlessSettings, RefusesCredentialsLongerThanCanMatch) {
    TempDir folder;
    const std::string path = folder.File("current.ini");
    const std::string fits(99, 'p');
    TempDir::WriteFile(path,
                       "[WWW]\nUser=" + std::string(99, 'u') + "\nPass=" + fits + "\nAuthenticate=yes\n");
    const headless::LoadedSettings loaded = headless::LoadSettings(path.c_str());
    ASSERT_TRUE(loaded.settings.has_value()) << loaded.error;
    EXPECT_EQ(loaded.settings->password, fits);

    for (const std::size_t length : {100u, 150u, 300u}) {
        const std::string tooLong(length, 'q');
        TempDir::WriteFile(path, "[WWW]\nPass=" + tooLong + "\n");
        const headless::LoadedSettings refused = headless::LoadSettings(path.c_str());
        EXPECT_FALSE(refused.settings.has_value()) << length;
        EXPECT_EQ(refused.error, path + ": [WWW] Pass is " + std::to_string(length) +
                                     " bytes long and could never match: at most 99 bytes are accepted");
        EXPECT_EQ(refused.error.find("qq"), std::string::npos);
    }
    TempDir::WriteFile(path, "[WWW]\nUser=" + std::string(100, 'u') + "\n");
    EXPECT_NE(headless::LoadSettings(path.c_str()).error.find("[WWW] User is 100 bytes long"),
              std::string::npos);
}

TEST(HeadlessSettings, SaysHowItReadDoubtfulFlagsAndWarnsOfOpenClicks) {
    TempDir folder;
    const std::string path = folder.File("current.ini");
    TempDir::WriteFile(path,
                       "[QV]\nEnableClick=Yes\nDrawTime=true\nScaleDwonImage=yup\nResolveHostname=no\n"
                       "[WWW]\nAuthenticate=1\n");
    headless::LoadedSettings loaded = headless::LoadSettings(path.c_str());
    ASSERT_TRUE(loaded.settings.has_value());
    EXPECT_FALSE(loaded.settings->enableClick);
    EXPECT_TRUE(loaded.settings->scaleDown);
    EXPECT_TRUE(HasNote(loaded, "[QV] EnableClick=Yes read as \"no\""));
    EXPECT_TRUE(HasNote(loaded, "[QV] DrawTime=true read as \"no\""));
    EXPECT_TRUE(HasNote(loaded, "[QV] ScaleDwonImage=yup read as \"yes\""));
    EXPECT_TRUE(HasNote(loaded, "[WWW] Authenticate=1 read as \"no\""));
    EXPECT_FALSE(HasNote(loaded, "ResolveHostname"));
    EXPECT_FALSE(HasNote(loaded, "can click"));
    EXPECT_EQ(loaded.notes.size(), 4u);

    TempDir::WriteFile(path, "[WWW]\nPort=8080\nAuthenticate=no\n[QV]\nEnableClick=yes\n");
    loaded = headless::LoadSettings(path.c_str());
    ASSERT_EQ(loaded.notes.size(), 1u);
    EXPECT_EQ(
        loaded.notes[0],
        "authentication is off and remote clicks are on: anyone who can reach port 8080 can click on this "
        "screen");

    // A file of something else entirely is no settings file.
    TempDir::WriteFile(path, "[Desktop Entry]\nName=QV Server\nPort=8080\n");
    loaded = headless::LoadSettings(path.c_str());
    EXPECT_TRUE(HasNote(loaded, "no settings found in " + path));
}

TEST(HeadlessSettings, ReplacesTheSnapshotWithTheStartupPictureAndClearsCrashLeftovers) {
    TempDir folder;
    std::filesystem::create_directories(folder.File("data"));
    TempDir::WriteFile(folder.File("screen.jpg"), "old picture");
    TempDir::WriteFile(folder.File("screen.jpg.a1B2c3"), "half a picture");
    TempDir::WriteFile(folder.File("screen.jpg.Zz9xQ0"), "half a picture");
    TempDir::WriteFile(folder.File("screen.jpg.backup"), "the user's own file");
    TempDir::WriteFile(folder.File("screen.jpg.abc-12"), "the user's own file");
    TempDir::WriteFile(folder.File("other.jpg.a1B2c3"), "someone else's");
    TempDir::WriteFile(folder.File("data/wait.jpg"), "start-up picture");
    const CaptureService service(folder.File("qvserver-headless"));
    service.ShowStartupPicture();
    EXPECT_EQ(TempDir::ReadFile(folder.File("screen.jpg")), "start-up picture");
    EXPECT_FALSE(TempDir::Exists(folder.File("screen.jpg.a1B2c3")));
    EXPECT_FALSE(TempDir::Exists(folder.File("screen.jpg.Zz9xQ0")));
    EXPECT_TRUE(TempDir::Exists(folder.File("screen.jpg.backup")));
    EXPECT_TRUE(TempDir::Exists(folder.File("screen.jpg.abc-12")));
    EXPECT_TRUE(TempDir::Exists(folder.File("other.jpg.a1B2c3")));

    std::filesystem::remove(folder.File("data/wait.jpg"));
    service.ShowStartupPicture();
    EXPECT_FALSE(TempDir::Exists(folder.File("screen.jpg")));
}

// The panel saves every key in its save order; on a fresh file that groups the keys by section.
TEST(SettingsFile, FreshFileTakesTheSaveOrdersLayout) {
    TempDir folder;
    const std::string path = folder.File("current.ini");
    for (const settings::SettingKey& key : settings::Keys()) {
        ASSERT_TRUE(platform::profile::WriteString(key.section, key.key, key.defaultValue, path.c_str()));
    }
    EXPECT_EQ(TempDir::ReadFile(path),
              "[IMAGE]\nQuality=75\n\n"
              "[WWW]\nPort=80\nRealm=ORV QV Server\nUser=\nPass=\nAuthenticate=\nRun=\n\n"
              "[QV]\nEnableClick=yes\nPriority=1\nMinRemake=3\nScaleDwonImage=no\nDrawTime="
              "yes\nResolveHostname=yes\n\n"
              "[TARGET]\nDesktop=yes\nWinClass=\n");
}

// What is saved loads back as it was, and a file saved for its owner only is readable by nobody else.
TEST(SettingsFile, SavedSettingsLoadBackAndStayPrivateWhenAsked) {
    TempDir folder;
    const std::string path = folder.File("current.ini");
    Settings values = settings::Defaults();
    values.quality = -5;
    values.port = 8080;
    values.password = "p=a;s s";
    values.authenticate = true;
    values.run = true;
    values.minRemake = -1;
    values.windowClass = "Notepad";
    ASSERT_TRUE(settings::Save(values, path.c_str(), true));
    bool foundAny = false;
    EXPECT_EQ(settings::Load(path.c_str(), &foundAny), values);
    EXPECT_TRUE(foundAny);
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    const std::string shared = folder.File("template.ini");
    ASSERT_TRUE(settings::Save(values, shared.c_str(), false));
    ASSERT_EQ(stat(shared.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
}

// The service runs with the copy it had at Start; nothing changes it until the server stops.
TEST(ServiceSettings, AreKeptUnchangedWhileTheServerRuns) {
    TempDir folder;
    CaptureService service(folder.File("qvserver"));
    Settings values = settings::Defaults();
    values.port = 0;
    values.realm = "First";
    ASSERT_EQ(service.Start(values), StartResult::Started);
    const Settings& running = service.CurrentSettings();
    values.realm = "Second";
    EXPECT_FALSE(service.ApplySettings(values));
    EXPECT_FALSE(service.EditSettings([](Settings& edited) { edited.minRemake = 0; }));
    EXPECT_EQ(service.Start(values), StartResult::AlreadyRunning);
    EXPECT_EQ(service.CurrentSettings().realm, "First");
    EXPECT_EQ(service.CurrentSettings().minRemake, 3);
    ASSERT_TRUE(service.StopAndWait(std::chrono::seconds(5)));
    EXPECT_TRUE(service.ApplySettings(values));
    EXPECT_EQ(service.CurrentSettings().realm, "Second");
    // A worker of the stopped run may still hold the old copy: it stays as it was.
    EXPECT_EQ(running.realm, "First");
}

}  // namespace
