#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "platform/Profile.h"
#include "tests/support/TempDir.h"

namespace {

using platform::profile::ReadString;
using platform::profile::WriteString;

std::string Read(const std::string& path, const char* section, const char* key,
                 const char* defaultValue = "dflt", std::size_t capacity = 200) {
    std::string buffer(capacity, '#');
    const std::size_t copied = ReadString(section, key, defaultValue, buffer.data(), capacity, path.c_str());
    EXPECT_EQ(buffer[copied], '\0');
    return buffer.substr(0, copied);
}

TEST(Profile, MissingFileSectionOrKeyGivesTheDefault) {
    TempDir folder;
    const std::string path = folder.File("settings.ini");
    EXPECT_EQ(Read(path, "WWW", "Port", "80"), "80");
    TempDir::WriteFile(path, "[WWW]\nPort=8080\n");
    EXPECT_EQ(Read(path, "WWW", "Realm", "ORV QV Server"), "ORV QV Server");
    EXPECT_EQ(Read(path, "QV", "Port", ""), "");
    EXPECT_EQ(Read(path, "WWW", "Port", "80"), "8080");
}

TEST(Profile, ReadsNamesWithoutRegardToCaseAndTrimsValues) {
    TempDir folder;
    const std::string path = folder.File("settings.ini");
    TempDir::WriteFile(path,
                       "Port=1\r\n"
                       "; Port=2\r\n"
                       "[ www ]\r\n"
                       "  PORT  =  8080 \t\r\n"
                       "port=9090\r\n"
                       "Realm = a = b \r\n"
                       "Empty=\r\n"
                       "[WWW]\r\n"
                       "User=second section\r\n"
                       "[other]\r\n"
                       "User=other");
    EXPECT_EQ(Read(path, "WWW", "Port"), "8080");
    EXPECT_EQ(Read(path, "WwW", "realm"), "a = b");
    EXPECT_EQ(Read(path, "WWW", "Empty"), "");
    // Only the first section of a name is read.
    EXPECT_EQ(Read(path, "WWW", "User"), "dflt");
    EXPECT_EQ(Read(path, "OTHER", "user"), "other");
}

TEST(Profile, CutsLongValuesToTheBuffer) {
    TempDir folder;
    const std::string path = folder.File("settings.ini");
    const std::string longValue(250, 'r');
    ASSERT_TRUE(WriteString("WWW", "Realm", longValue.c_str(), path.c_str()));
    EXPECT_EQ(Read(path, "WWW", "Realm", "", 200), longValue.substr(0, 199));
    EXPECT_EQ(Read(path, "WWW", "Missing", longValue.c_str(), 200), longValue.substr(0, 199));
    EXPECT_EQ(Read(path, "WWW", "Realm", "", 1), "");
}

TEST(Profile, ChangesAnExistingKeyInPlaceAndKeepsEveryOtherLine) {
    TempDir folder;
    const std::string path = folder.File("settings.ini");
    TempDir::WriteFile(path,
                       "; written by hand\r\n"
                       "[IMAGE]\r\n"
                       "quality = 50\r\n"
                       "not a key line\r\n"
                       "\r\n"
                       "[WWW]\n"
                       "Port=80\n");
    ASSERT_TRUE(WriteString("image", "Quality", "90", path.c_str()));
    ASSERT_TRUE(WriteString("WWW", "PORT", "8080", path.c_str()));
    EXPECT_EQ(TempDir::ReadFile(path),
              "; written by hand\r\n"
              "[IMAGE]\r\n"
              "quality =90\r\n"
              "not a key line\r\n"
              "\r\n"
              "[WWW]\n"
              "Port=8080\n");
}

TEST(Profile, AddsANewKeyBehindTheLastKeyOfItsSection) {
    TempDir folder;
    const std::string path = folder.File("settings.ini");
    TempDir::WriteFile(path,
                       "[WWW]\r\n"
                       "Port=80\r\n"
                       "; about the realm\r\n"
                       "Realm=r\r\n"
                       "\r\n"
                       "; next\r\n"
                       "[QV]\r\n"
                       "[TARGET]\r\n"
                       "Desktop=yes");
    ASSERT_TRUE(WriteString("WWW", "User", "u", path.c_str()));
    ASSERT_TRUE(WriteString("QV", "Priority", "1", path.c_str()));
    ASSERT_TRUE(WriteString("TARGET", "WinClass", "", path.c_str()));
    EXPECT_EQ(TempDir::ReadFile(path),
              "[WWW]\r\n"
              "Port=80\r\n"
              "; about the realm\r\n"
              "Realm=r\r\n"
              "User=u\n"
              "\r\n"
              "; next\r\n"
              "[QV]\r\n"
              "Priority=1\n"
              "[TARGET]\r\n"
              "Desktop=yes\n"
              "WinClass=\n");
}

TEST(Profile, AppendsANewSectionAtTheEnd) {
    TempDir folder;
    const std::string path = folder.File("settings.ini");
    ASSERT_TRUE(WriteString("A", "One", "1", path.c_str()));
    ASSERT_TRUE(WriteString("B", "Two", "2", path.c_str()));
    ASSERT_TRUE(WriteString("a", "Three", "3", path.c_str()));
    EXPECT_EQ(TempDir::ReadFile(path), "[A]\nOne=1\nThree=3\n\n[B]\nTwo=2\n");
    EXPECT_EQ(Read(path, "b", "two"), "2");
}

TEST(Profile, KeepsValuesOnOneLine) {
    TempDir folder;
    const std::string path = folder.File("settings.ini");
    ASSERT_TRUE(WriteString("WWW", "Realm", "first\n[QV]\nEnableClick=yes", path.c_str()));
    EXPECT_EQ(Read(path, "WWW", "Realm"), "first");
    EXPECT_EQ(Read(path, "QV", "EnableClick"), "dflt");
}

// Files from other editors: a UTF-8 byte-order mark before the first section, and lines ended by CR LF,
// LF or a bare CR, mixed. Every key is found; writing keeps the mark and every line's own ending.
TEST(Profile, ReadsAndKeepsAByteOrderMarkAndEveryLineEnding) {
    TempDir folder;
    const std::string path = folder.File("settings.ini");
    const std::string file = "\xEF\xBB\xBF[WWW]\rPort=8080\r\nRealm=r\n\r[QV]\rEnableClick=no";
    TempDir::WriteFile(path, file);
    EXPECT_EQ(Read(path, "WWW", "Port"), "8080");
    EXPECT_EQ(Read(path, "WWW", "Realm"), "r");
    EXPECT_EQ(Read(path, "QV", "EnableClick"), "no");
    EXPECT_EQ(platform::profile::ReadValue("QV", "Missing", path.c_str()), std::nullopt);

    ASSERT_TRUE(WriteString("WWW", "Port", "80", path.c_str()));
    ASSERT_TRUE(WriteString("WWW", "User", "u", path.c_str()));
    ASSERT_TRUE(WriteString("QV", "DrawTime", "yes", path.c_str()));
    EXPECT_EQ(TempDir::ReadFile(path),
              "\xEF\xBB\xBF[WWW]\rPort=80\r\nRealm=r\nUser=u\n\r[QV]\rEnableClick=no\nDrawTime=yes\n");
    // The mark belongs to the file, not to the first section's name.
    TempDir::WriteFile(path, "\xEF\xBB\xBFPort=1\n[WWW]\nPort=2\n");
    EXPECT_EQ(Read(path, "WWW", "Port"), "2");
}

// ReadString cuts to its buffer; ReadValue gives the whole value, so a caller can tell that it is long.
TEST(Profile, ReadValueGivesTheWholeValue) {
    TempDir folder;
    const std::string path = folder.File("settings.ini");
    const std::string longValue(500, 'v');
    TempDir::WriteFile(path, "[WWW]\nPass=" + longValue + "\n");
    EXPECT_EQ(platform::profile::ReadValue("www", "pass", path.c_str()), longValue);
    EXPECT_EQ(Read(path, "WWW", "Pass").size(), 199u);
}

TEST(Profile, WritesOwnerOnlyFilesWhenAsked) {
    TempDir folder;
    const std::string path = folder.File("settings.ini");
    TempDir::WriteFile(path, "[WWW]\nPass=old\n");
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    ASSERT_TRUE(WriteString("WWW", "Pass", "secret", path.c_str(), platform::files::Readers::OwnerOnly));
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(Read(path, "WWW", "Pass"), "secret");
}

TEST(Profile, ReportsAFileThatCannotBeWritten) {
    TempDir folder;
    const std::string path = folder.File("missing-folder/settings.ini");
    EXPECT_FALSE(WriteString("WWW", "Port", "80", path.c_str()));
    EXPECT_FALSE(TempDir::Exists(path));
}

}  // namespace
