#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/ModulePath.h"

namespace {

std::string Build(std::size_t size, std::string_view executable, const char* fileName) {
    std::string buffer(size, '\x7f');
    ModulePath(buffer.data(), size, executable, fileName, '/');
    EXPECT_LT(std::strlen(buffer.c_str()), size) << "the result must end inside the buffer";
    return buffer.c_str();
}

TEST(ModulePath, ReplacesTheExecutableNameWithTheFileName) {
    EXPECT_EQ(Build(kMaxPath, "/opt/qv/bin/qvserver", "log.txt"), "/opt/qv/bin/log.txt");
    EXPECT_EQ(Build(kMaxPath, "/opt/qv/bin/qvserver", "data/top.html"), "/opt/qv/bin/data/top.html");
}

TEST(ModulePath, PathWithoutSeparatorLeavesTheBareFileName) {
    EXPECT_EQ(Build(kMaxPath, "qvserver", "screen.jpg"), "screen.jpg");
    EXPECT_EQ(Build(kMaxPath, "", "screen.jpg"), "screen.jpg");
}

TEST(ModulePath, LongExecutablePathArrivesTruncatedBeforeTheCut) {
    // size 40, name 7: the executable's path is read with a limit of 23, so at most 22 characters
    // ("/aaaaaaaaaa/bbbbbbbbbb"), and the cut falls after the last separator of what arrived.
    const std::string executable = "/aaaaaaaaaa/bbbbbbbbbb/cccccccccc/qvserver";
    EXPECT_EQ(Build(40, executable, "log.txt"), "/aaaaaaaaaa/log.txt");
    EXPECT_EQ(Build(41, executable, "log.txt"), "/aaaaaaaaaa/bbbbbbbbbb/log.txt");
}

TEST(ModulePath, NeverWritesPastTheBuffer) {
    EXPECT_EQ(Build(8, "/x/qvserver", "a-very-long-name.txt"), "a-very-");
    EXPECT_EQ(Build(1, "/x/qvserver", "log.txt"), "");
}

}  // namespace
