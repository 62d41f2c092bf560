// Pictures replaced while many clients read them: every reader gets one whole version, and no replacement
// fails because a reader had the file open. The log held open while it is moved away; files for their
// owner only in Windows access lists; where the working files go.
#include <windows.h>

// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "platform/Locations.h"
#include "platform/Profile.h"
#include "platform/windows/WindowsLocations.h"
#include "service/Settings.h"
#include "tests/support/TempDir.h"

namespace files = platform::files;

namespace {

constexpr int kReaders = 20;
constexpr int kReplacements = 50;
// Clients come and go; a reader that never pauses would be a client flood, not a reader.
constexpr auto kReaderPause = std::chrono::milliseconds(2);

// Version n: n repeated over a size that differs from version to version, so a torn mix shows.
std::string Version(int n) {
    return std::string(50000 + (n % 7) * 3000, static_cast<char>('a' + n % 26));
}

bool IsWholeVersion(const std::string& content) {
    if (content.empty()) {
        return false;
    }
    for (int n = 0; n < 26; ++n) {
        if (content[0] == 'a' + n) {
            return content.find_first_not_of(content[0]) == std::string::npos && content.size() >= 50000;
        }
    }
    return false;
}

}  // namespace

// The readers are in the replacing process, as the server's readers are in the capture's. Wine (and
// Windows without POSIX renames) refuses to rename over a file that is open, so a replacement moves the
// old picture aside first and the name is missing until the new one takes it; on a loaded machine that
// took longer than a reader's look-again wait. Readers in this process are held back for that moment.
TEST(WindowsFiles, ReadersAlwaysGetAWholePictureWhileCapturesReplaceIt) {
    TempDir folder;
    const std::string path = folder.File("screen.jpg");
    TempDir::WriteFile(path, Version(0));
    std::atomic<bool> replacing{true};
    std::atomic<int> reads{0};
    std::atomic<int> torn{0};
    std::atomic<int> missing{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < kReaders; ++i) {
        readers.emplace_back([&] {
            while (replacing.load()) {
                const auto file = files::InputFile::Open(path.c_str());
                if (!file) {
                    ++missing;
                    continue;
                }
                std::string content(file->Size(), '\0');
                std::size_t filled = 0;
                while (filled < content.size()) {
                    const std::size_t got = file->Read(content.data() + filled, content.size() - filled);
                    if (got == 0) {
                        break;
                    }
                    filled += got;
                }
                content.resize(filled);
                ++reads;
                torn += IsWholeVersion(content) ? 0 : 1;
                std::this_thread::sleep_for(kReaderPause);
            }
        });
    }
    int failedCommits = 0;
    for (int n = 1; n <= kReplacements; ++n) {
        const auto replacement = files::ReplacementFile::Create(path.c_str());
        ASSERT_NE(replacement, nullptr);
        const std::string content = Version(n);
        std::fwrite(content.data(), 1, content.size(), replacement->Stream());
        failedCommits += replacement->Commit() ? 0 : 1;
    }
    replacing.store(false);
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(failedCommits, 0);
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(missing.load(), 0) << "the picture is never absent";
    EXPECT_GT(reads.load(), kReaders);
    EXPECT_EQ(TempDir::ReadFile(path), Version(kReplacements));
}

TEST(WindowsFiles, ExecutablePathSeparatesFoldersWithSlashesAndHonoursTheLimit) {
    const std::string path = files::ExecutablePath(32768);
    ASSERT_GT(path.size(), 3u);
    EXPECT_EQ(path.find('\\'), std::string::npos) << path;
    EXPECT_NE(path.find("/windows_platform_tests.exe"), std::string::npos) << path;
    EXPECT_EQ(files::ExecutablePath(8), path.substr(0, 7));
}

TEST(WindowsFiles, TheLogHeldOpenCanBeMovedAwayAndIsMadeAgain) {
    TempDir folder;
    const std::string path = folder.File("log.txt");
    EXPECT_EQ(files::IdentifyFile(path.c_str()).kind, files::FileIdentity::Kind::Missing);
    EXPECT_EQ(files::IdentifyFile(folder.Path().c_str()).kind, files::FileIdentity::Kind::Other);
    files::AppendOnlyFile log(path);
    const std::string_view first[] = {"one ", "line\n"};
    ASSERT_TRUE(log.Append(first, 2, files::IdentifyFile(path.c_str())));
    const files::FileIdentity written = files::IdentifyFile(path.c_str());
    EXPECT_EQ(written.kind, files::FileIdentity::Kind::Regular);
    EXPECT_EQ(files::IdentifyFile(path.c_str()), written) << "the same file twice";

    // Rotated by a user while the program holds it open: sharing deletion lets the rename through.
    const std::string rotated = folder.File("log.1.txt");
    ASSERT_TRUE(MoveFileExA(path.c_str(), rotated.c_str(), 0)) << GetLastError();
    EXPECT_EQ(files::IdentifyFile(rotated.c_str()), written) << "a move keeps the identity";
    const std::string_view second[] = {"two\n"};
    ASSERT_TRUE(log.Append(second, 1, files::IdentifyFile(path.c_str())));
    EXPECT_NE(files::IdentifyFile(path.c_str()), written);
    EXPECT_EQ(TempDir::ReadFile(rotated), "one line\n");
    EXPECT_EQ(TempDir::ReadFile(path), "two\n");

    // A folder in its place: nothing is written, and the file held is let go.
    const std::string third = folder.File("log.2.txt");
    ASSERT_TRUE(MoveFileExA(path.c_str(), third.c_str(), 0));
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    EXPECT_FALSE(log.Append(second, 1, files::IdentifyFile(path.c_str())));
    EXPECT_TRUE(DeleteFileA(third.c_str())) << "no handle is left on the file that was held";
}

namespace {

std::wstring Wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

std::string ReadWhole(const std::string& path) {
    const auto file = files::InputFile::Open(path.c_str());
    if (!file) {
        return "(cannot open)";
    }
    std::string content(file->Size(), '\0');
    content.resize(file->Read(content.data(), content.size()));
    return content;
}

}  // namespace

// Paths are UTF-8 inside the program: a folder and files with Japanese names are made, replaced, appended
// to and read under exactly those names (checked through the wide API), whatever the ANSI code page. (Not
// in the Japanese-locale suite: there Wine has no Japanese Unix locale to name its files in.)
TEST(WindowsFiles, FilesWithJapaneseNamesAreCreatedReplacedAppendedAndReadBack) {
    TempDir base;
    const std::wstring wideFolder = Wide(base.Path()) + L"/画像フォルダ";
    ASSERT_TRUE(CreateDirectoryW(wideFolder.c_str(), nullptr));
    const std::string folder = base.Path() + "/画像フォルダ/";

    const std::string picture = folder + "画面.jpg";
    for (const char* content : {"first", "second version"}) {
        const auto replacement = files::ReplacementFile::Create(picture.c_str());
        ASSERT_NE(replacement, nullptr);
        std::fputs(content, replacement->Stream());
        ASSERT_TRUE(replacement->Commit());
        EXPECT_EQ(ReadWhole(picture), content);
    }
    EXPECT_NE(GetFileAttributesW((wideFolder + L"/画面.jpg").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(files::IdentifyFile(picture.c_str()).kind, files::FileIdentity::Kind::Regular);

    const std::string log = folder + "記録.txt";
    files::AppendOnlyFile held(log);
    const std::string_view first[] = {"一行目", "\n"};
    ASSERT_TRUE(held.Append(first, 2, files::IdentifyFile(log.c_str())));
    const std::string_view second[] = {"二行目\n"};
    ASSERT_TRUE(files::AppendToFile(log.c_str(), second, 1));
    EXPECT_EQ(ReadWhole(log), "一行目\n二行目\n");
    EXPECT_NE(GetFileAttributesW((wideFolder + L"/記録.txt").c_str()), INVALID_FILE_ATTRIBUTES);

    const std::string copy = folder + "写し.jpg";
    EXPECT_TRUE(files::CopyFileUnlessExists(picture.c_str(), copy.c_str()));
    EXPECT_FALSE(files::CopyFileUnlessExists(log.c_str(), copy.c_str())) << "never overwrites";
    EXPECT_EQ(ReadWhole(copy), "second version");

    // A replacement left behind by a capture that was cut short is found by its Japanese name.
    const std::wstring leftover = wideFolder + L"/画面.jpg.Ab3xYz";
    CloseHandle(CreateFileW(leftover.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_NE(GetFileAttributesW(leftover.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(files::RemoveLeftoverReplacements(picture.c_str()), 1);
    EXPECT_EQ(GetFileAttributesW(leftover.c_str()), INVALID_FILE_ATTRIBUTES);

    EXPECT_TRUE(files::RemoveFile(picture.c_str()));
    EXPECT_EQ(GetFileAttributesW((wideFolder + L"/画面.jpg").c_str()), INVALID_FILE_ATTRIBUTES);

    // The settings file there, with a Japanese default for a key it does not have yet. (The value written
    // is in the ANSI code page of this suite's locale; Japanese values are the Japanese-locale suite's.)
    const std::string settingsPath = folder + "設定.ini";
    char value[64];
    platform::profile::ReadString("TARGET", "WinClass", "既定", value, sizeof value, settingsPath.c_str());
    EXPECT_EQ(std::string(value), "既定");
    ASSERT_TRUE(platform::profile::WriteString("TARGET", "WinClass", "Display", settingsPath.c_str()));
    EXPECT_NE(GetFileAttributesW((wideFolder + L"/設定.ini").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(platform::profile::ReadValue("TARGET", "WinClass", settingsPath.c_str()), "Display");
}

namespace {

// The SIDs a file's access list lets in, as text ("S-1-1-0" is everybody).
std::vector<std::string> AllowedIn(const std::string& path) {
    std::vector<std::string> allowed;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return allowed;
    }
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* entry = nullptr;
        if (GetAce(dacl, i, &entry) && static_cast<ACE_HEADER*>(entry)->AceType == ACCESS_ALLOWED_ACE_TYPE) {
            char* text = nullptr;
            if (ConvertSidToStringSidA(&static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart, &text)) {
                allowed.emplace_back(text);
                LocalFree(text);
            }
        }
    }
    LocalFree(descriptor);
    return allowed;
}

bool LetsIn(const std::vector<std::string>& allowed, const std::string& sid) {
    return std::find(allowed.begin(), allowed.end(), sid) != allowed.end();
}

std::string CurrentUserSid() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    unsigned char user[256];
    DWORD size = sizeof user;
    char* text = nullptr;
    std::string result;
    if (GetTokenInformation(token, TokenUser, user, size, &size) &&
        ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text)) {
        result = text;
        LocalFree(text);
    }
    CloseHandle(token);
    return result;
}

constexpr const char* kEveryoneSid = "S-1-1-0";

}  // namespace

// The settings hold the password: saved for the owner only, they let in neither everybody nor anyone
// else the folder would; templates, and a file saved for everyone again, may be read by all.
TEST(WindowsFiles, SettingsSavedForTheOwnerOnlyLetNobodyElseRead) {
    TempDir folder;
    const std::string user = CurrentUserSid();
    ASSERT_FALSE(user.empty());
    const std::string path = folder.File("current.ini");
    Settings values = settings::Defaults();
    values.password = "p=a;s s";
    values.port = 8080;
    ASSERT_TRUE(settings::Save(values, path.c_str(), true));
    EXPECT_EQ(settings::Load(path.c_str()), values);
    EXPECT_TRUE(LetsIn(AllowedIn(path), user));
    EXPECT_FALSE(LetsIn(AllowedIn(path), kEveryoneSid));
    const std::string shared = folder.File("default.ini");
    ASSERT_TRUE(settings::Save(values, shared.c_str(), false));
    EXPECT_TRUE(LetsIn(AllowedIn(shared), kEveryoneSid));

    // A file everybody could read becomes the owner's alone, keeping its other lines, and back again.
    const std::string profile = folder.File("template.ini");
    TempDir::WriteFile(profile, "; mine\r\n[WWW]\r\nPass=old\r\n");
    ASSERT_TRUE(LetsIn(AllowedIn(profile), kEveryoneSid));
    ASSERT_TRUE(
        platform::profile::WriteString("WWW", "Pass", "secret", profile.c_str(), files::Readers::OwnerOnly));
    EXPECT_FALSE(LetsIn(AllowedIn(profile), kEveryoneSid));
    EXPECT_TRUE(LetsIn(AllowedIn(profile), user));
    EXPECT_EQ(TempDir::ReadFile(profile).rfind("; mine\r\n[WWW]\r\nPass=secret", 0), 0u);
    ASSERT_TRUE(platform::profile::WriteString("WWW", "Pass", "", profile.c_str(), files::Readers::Everyone));
    EXPECT_TRUE(LetsIn(AllowedIn(profile), kEveryoneSid));
    EXPECT_EQ(platform::profile::ReadValue("WWW", "Pass", profile.c_str()), "");
    EXPECT_EQ(platform::profile::ReadValue("WWW", "User", profile.c_str()), std::nullopt);
}

TEST(WindowsFiles, WorkingFilesStayBesideAWritableExecutableElseGoToTheApplicationData) {
    platform::windows::WindowsLocationFacts facts;
    facts.executablePath = "C:/Tools/QV/qvserver.exe";
    facts.roamingAppData = "C:/Users/u/AppData/Roaming";
    facts.localAppData = "C:/Users/u/AppData/Local/";
    facts.executableFolderWritable = true;
    FileLocations chosen = platform::windows::ChooseWindowsFileLocations(facts);
    EXPECT_EQ(chosen.PathOf("current.ini"), "C:/Tools/QV/current.ini");
    EXPECT_EQ(chosen.PathOf("log.txt"), "C:/Tools/QV/log.txt");

    facts.executableFolderWritable = false;
    chosen = platform::windows::ChooseWindowsFileLocations(facts);
    EXPECT_EQ(chosen.PathOf("current.ini"), "C:/Users/u/AppData/Roaming/qvserver/current.ini");
    EXPECT_EQ(chosen.PathOf("screen.jpg"), "C:/Users/u/AppData/Local/qvserver/screen.jpg");
    EXPECT_EQ(chosen.PathOf("data/index.html"), "C:/Tools/QV/data/index.html")
        << "shipped beside the program";

    facts.localAppData.clear();
    chosen = platform::windows::ChooseWindowsFileLocations(facts);
    EXPECT_EQ(chosen.PathOf("log.txt"), "C:/Users/u/AppData/Roaming/qvserver/log.txt");
    facts.roamingAppData.clear();
    chosen = platform::windows::ChooseWindowsFileLocations(facts);
    EXPECT_EQ(chosen.PathOf("current.ini"), "C:/Tools/QV/current.ini") << "nowhere better to go";

    // This test's own folder can be written: everything stays beside it.
    const FileLocations located = platform::LocateFiles();
    const std::string executable = files::ExecutablePath(std::string::npos);
    EXPECT_EQ(located.settingsFolder, executable.substr(0, executable.rfind('/') + 1));
    EXPECT_EQ(located.stateFolder, located.settingsFolder);
}
