#include <gtest/gtest.h>

#include <string>

#include "common/ModulePath.h"

namespace {

TEST(ModulePath, ReplacesTheExecutableNameWithTheFileName) {
    EXPECT_EQ(ModulePath("/opt/qv/bin/qvserver", "log.txt", '/'), "/opt/qv/bin/log.txt");
    EXPECT_EQ(ModulePath("/opt/qv/bin/qvserver", "data/top.html", '/'), "/opt/qv/bin/data/top.html");
    EXPECT_EQ(ModulePath("C:\\QV\\qvserver.exe", "current.ini", '\\'), "C:\\QV\\current.ini");
}

TEST(ModulePath, PathWithoutSeparatorLeavesTheBareFileName) {
    EXPECT_EQ(ModulePath("qvserver", "screen.jpg", '/'), "screen.jpg");
    EXPECT_EQ(ModulePath("", "screen.jpg", '/'), "screen.jpg");
}

// A folder deeper than the old 260-byte bound used to lose its last parts, so the files were looked up
// in a parent folder.
TEST(ModulePath, DeepFolderKeepsEveryPart) {
    std::string folder;
    for (int level = 0; level < 40; ++level) {
        folder += "/folder" + std::to_string(level);
    }
    ASSERT_GT(folder.size(), 300u);
    EXPECT_EQ(ModulePath(folder + "/qvserver", "log.txt", '/'), folder + "/log.txt");
}

TEST(ModulePath, LongFileNamesComeOutWhole) {
    const std::string name(300, 'n');
    EXPECT_EQ(ModulePath("/x/qvserver", name, '/'), "/x/" + name);
    EXPECT_EQ(ModulePath("/x/qvserver", "", '/'), "/x/");
}

}  // namespace
