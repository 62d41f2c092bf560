// Pictures replaced while many clients read them: every reader gets one whole version, and no replacement
// fails because a reader had the file open.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "tests/support/TempDir.h"

namespace files = platform::files;

namespace {

constexpr int kReaders = 20;
constexpr int kReplacements = 50;
// Clients come and go; a reader that never pauses would be a client flood, not a reader.
constexpr auto kReaderPause = std::chrono::milliseconds(2);

// Version n: n repeated over a size that differs from version to version, so a torn mix shows.
std::string Version(int n) { return std::string(50000 + (n % 7) * 3000, static_cast<char>('a' + n % 26)); }

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
