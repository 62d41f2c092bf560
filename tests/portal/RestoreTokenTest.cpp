#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/linux/portal/RestoreToken.h"
#include "tests/support/TempDir.h"

namespace {

using platform::linux_portal::kMaxRestoreTokenLength;
using platform::linux_portal::LoadRestoreToken;
using platform::linux_portal::SaveRestoreToken;

constexpr const char* kMarker = "qvserver screen cast restore token\n";

TEST(RestoreToken, SavedTokenComesBackAndOnlyItsOwnerReadsIt) {
    TempDir folder;
    const std::string path = folder.File("token");
    EXPECT_EQ(LoadRestoreToken(path), "");  // missing: ask the user
    ASSERT_TRUE(SaveRestoreToken(path, "a1b2c3d4-0000-4e5f-9a8b-0123456789ab"));
    EXPECT_EQ(LoadRestoreToken(path), "a1b2c3d4-0000-4e5f-9a8b-0123456789ab");
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0077, 0u);

    // The next token replaces the last one.
    ASSERT_TRUE(SaveRestoreToken(path, "second"));
    EXPECT_EQ(LoadRestoreToken(path), "second");
    const std::string longest(kMaxRestoreTokenLength, 'x');
    ASSERT_TRUE(SaveRestoreToken(path, longest));
    EXPECT_EQ(LoadRestoreToken(path), longest);
}

TEST(RestoreToken, DamagedFileGivesNoToken) {
    const std::string marker = kMarker;
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"marker only", marker},
        {"no marker", "token\n"},
        {"other marker", "qvserver screen cast restore token 2\ntoken\n"},
        {"cut off before the line end", marker + "token"},
        {"space inside", marker + "to ken\n"},
        {"second line", marker + "token\nmore\n"},
        {"control character", marker + "tok\x01"
                                       "en\n"},
        {"too long", marker + std::string(kMaxRestoreTokenLength + 1, 'x') + "\n"},
        {"binary", std::string("\0\xff\x10", 3)},
    };
    TempDir folder;
    const std::string path = folder.File("token");
    for (const auto& [name, content] : cases) {
        TempDir::WriteFile(path, content);
        EXPECT_EQ(LoadRestoreToken(path), "") << name;
    }
    // A folder where the file should be cannot be read as one.
    EXPECT_EQ(LoadRestoreToken(folder.Path()), "");
}

TEST(RestoreToken, RefusesWhatThePortalCouldNotHaveGivenAndKeepsTheOldFile) {
    TempDir folder;
    const std::string path = folder.File("token");
    ASSERT_TRUE(SaveRestoreToken(path, "kept"));
    for (const std::string& bad : {std::string(), std::string("two words"), std::string("line\n"),
                                   std::string(kMaxRestoreTokenLength + 1, 'x')}) {
        EXPECT_FALSE(SaveRestoreToken(path, bad)) << bad;
    }
    EXPECT_EQ(LoadRestoreToken(path), "kept");
    // A folder that does not exist cannot take the file.
    EXPECT_FALSE(SaveRestoreToken(folder.File("missing/token"), "t"));
}

}  // namespace
