#include <gtest/gtest.h>

#include <filesystem>

#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "tests/support/TempDir.h"

namespace files = platform::files;

namespace {

std::string ReadAll(files::InputFile& file) {
    std::string contents;
    char block[7];  // an odd block size exercises partial reads
    while (std::size_t got = file.Read(block, sizeof block)) {
        contents.append(block, got);
    }
    return contents;
}

TEST(InputFile, ReadsWholeFileAndReportsItsSize) {
    TempDir dir;
    TempDir::WriteFile(dir.File("a.bin"), std::string("abc\0def\r\n", 9));
    auto file = files::InputFile::Open(dir.File("a.bin").c_str());
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Size(), 9u);
    EXPECT_EQ(ReadAll(*file), std::string("abc\0def\r\n", 9));
}

TEST(InputFile, RefusesMissingFilesAndFolders) {
    TempDir dir;
    EXPECT_EQ(files::InputFile::Open(dir.File("missing").c_str()), nullptr);
    EXPECT_EQ(files::InputFile::Open(dir.Path().c_str()), nullptr);
}

// A file whose size does not fit the length an answer announces is not opened, whether its size would
// turn negative there or wrap to a small one. The files are sparse: no disk is used.
TEST(InputFile, RefusesFilesLargerThanAnAnswerCanAnnounce) {
    TempDir dir;
    const std::string path = dir.File("huge.html");
    TempDir::WriteFile(path, "x");
    for (const std::uintmax_t size :
         {std::uintmax_t{files::kMaxInputFileBytes} + 1, (std::uintmax_t{1} << 32) + 9}) {
        std::filesystem::resize_file(path, size);
        EXPECT_EQ(files::InputFile::Open(path.c_str()), nullptr) << size;
    }
}

TEST(ReplacementFile, ReaderOfTheOldVersionKeepsItWholeAndNewReadersSeeTheNewOne) {
    TempDir dir;
    const std::string target = dir.File("screen.jpg");
    TempDir::WriteFile(target, "old picture");
    auto oldReader = files::InputFile::Open(target.c_str());
    ASSERT_NE(oldReader, nullptr);

    auto replacement = files::ReplacementFile::Create(target.c_str());
    ASSERT_NE(replacement, nullptr);
    std::fputs("new picture, longer", replacement->Stream());
    EXPECT_EQ(TempDir::ReadFile(target), "old picture") << "nothing shows before the commit";
    ASSERT_TRUE(replacement->Commit());

    EXPECT_EQ(ReadAll(*oldReader), "old picture");
    EXPECT_EQ(TempDir::ReadFile(target), "new picture, longer");
}

TEST(ReplacementFile, AbandonedOrFailedReplacementLeavesTargetAndNoLitter) {
    TempDir dir;
    const std::string target = dir.File("screen.jpg");
    TempDir::WriteFile(target, "old");
    {
        auto replacement = files::ReplacementFile::Create(target.c_str());
        ASSERT_NE(replacement, nullptr);
        std::fputs("half", replacement->Stream());
    }
    EXPECT_EQ(TempDir::ReadFile(target), "old");
    EXPECT_EQ(files::ReplacementFile::Create(dir.File("no-such-folder/screen.jpg").c_str()), nullptr);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"screen.jpg"});
}

TEST(CopyFileUnlessExists, CopiesOnceAndNeverOverwrites) {
    TempDir dir;
    TempDir::WriteFile(dir.File("wait.jpg"), "start-up");
    EXPECT_TRUE(files::CopyFileUnlessExists(dir.File("wait.jpg").c_str(), dir.File("screen.jpg").c_str()));
    EXPECT_EQ(TempDir::ReadFile(dir.File("screen.jpg")), "start-up");
    TempDir::WriteFile(dir.File("screen.jpg"), "captured");
    EXPECT_FALSE(files::CopyFileUnlessExists(dir.File("wait.jpg").c_str(), dir.File("screen.jpg").c_str()));
    EXPECT_EQ(TempDir::ReadFile(dir.File("screen.jpg")), "captured");
    EXPECT_FALSE(files::CopyFileUnlessExists(dir.File("missing").c_str(), dir.File("x").c_str()));
    EXPECT_FALSE(TempDir::Exists(dir.File("x")));
}

TEST(AppendToFile, CreatesThenAppendsAndLinesFromManyThreadsNeverInterleave) {
    TempDir dir;
    const std::string log = dir.File("log.txt");
    constexpr int kThreads = 8;
    constexpr int kLinesEach = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            const std::string head = "thread " + std::to_string(t) + " ";
            const std::string tail(100, static_cast<char>('a' + t));
            for (int i = 0; i < kLinesEach; ++i) {
                const std::string_view pieces[] = {head, tail, "\r\n"};
                files::AppendToFile(log.c_str(), pieces, 3);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const std::string contents = TempDir::ReadFile(log);
    std::size_t lines = 0;
    for (std::size_t start = 0; start < contents.size();) {
        const std::size_t end = contents.find("\r\n", start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = contents.substr(start, end - start);
        const int t = line[7] - '0';
        EXPECT_EQ(line, "thread " + std::to_string(t) + " " + std::string(100, static_cast<char>('a' + t)));
        ++lines;
        start = end + 2;
    }
    EXPECT_EQ(lines, static_cast<std::size_t>(kThreads * kLinesEach));
}

TEST(AppendToFile, UnopenableFileReportsFailure) {
    TempDir dir;
    const std::string_view piece = "x";
    EXPECT_FALSE(files::AppendToFile(dir.File("missing/log.txt").c_str(), &piece, 1));
}

TEST(ExecutablePath, NamesThisTestAndHonoursTheLimit) {
    const std::string path = files::ExecutablePath(260);
    EXPECT_NE(path.find("platform_files_tests"), std::string::npos) << path;
    EXPECT_EQ(files::ExecutablePath(5).size(), 4u);
}

}  // namespace
