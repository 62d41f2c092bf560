#include <gtest/gtest.h>

#include "common/FileLocations.h"

namespace {

LocationFacts Installed() {
    LocationFacts facts;
    facts.executablePath = "/usr/bin/qvserver";
    facts.executableFolderWritable = false;
    facts.dataBesideExecutable = false;
    facts.home = "/home/ann";
    return facts;
}

TEST(FileLocations, WritableFolderKeepsEverythingBesideTheExecutable) {
    LocationFacts facts = Installed();
    facts.executablePath = "/home/ann/qv/qvserver";
    facts.executableFolderWritable = true;
    facts.dataBesideExecutable = true;
    facts.configHome = "/home/ann/.cfg";
    const FileLocations files = ChooseFileLocations(facts);
    EXPECT_EQ(files.PathOf("current.ini"), "/home/ann/qv/current.ini");
    EXPECT_EQ(files.PathOf("default.ini"), "/home/ann/qv/default.ini");
    EXPECT_EQ(files.PathOf("log.txt"), "/home/ann/qv/log.txt");
    EXPECT_EQ(files.PathOf("screen.jpg"), "/home/ann/qv/screen.jpg");
    EXPECT_EQ(files.PathOf("data/top.html"), "/home/ann/qv/data/top.html");
}

TEST(FileLocations, InstalledProgramUsesTheUserFoldersAndTheShareFolder) {
    const FileLocations files = ChooseFileLocations(Installed());
    EXPECT_EQ(files.PathOf("current.ini"), "/home/ann/.config/qvserver/current.ini");
    EXPECT_EQ(files.PathOf("default.ini"), "/home/ann/.config/qvserver/default.ini");
    EXPECT_EQ(files.PathOf("log.txt"), "/home/ann/.local/state/qvserver/log.txt");
    EXPECT_EQ(files.PathOf("screen.jpg"), "/home/ann/.local/state/qvserver/screen.jpg");
    EXPECT_EQ(files.PathOf("data/wait.jpg"), "/usr/share/qvserver/data/wait.jpg");
}

TEST(FileLocations, XdgVariablesWinWhenAbsolute) {
    LocationFacts facts = Installed();
    facts.executablePath = "/opt/qv/bin/qvserver-headless";
    facts.configHome = "/cfg/";
    facts.stateHome = "/var/lib/ann";
    FileLocations files = ChooseFileLocations(facts);
    EXPECT_EQ(files.PathOf("current.ini"), "/cfg/qvserver/current.ini");
    EXPECT_EQ(files.PathOf("log.txt"), "/var/lib/ann/qvserver/log.txt");
    EXPECT_EQ(files.PathOf("data/top.html"), "/opt/qv/share/qvserver/data/top.html");

    // A relative value is ignored, as the base-directory rules ask.
    facts.configHome = "cfg";
    facts.stateHome = "state";
    files = ChooseFileLocations(facts);
    EXPECT_EQ(files.PathOf("current.ini"), "/home/ann/.config/qvserver/current.ini");
    EXPECT_EQ(files.PathOf("screen.jpg"), "/home/ann/.local/state/qvserver/screen.jpg");
}

TEST(FileLocations, ShippedFilesBesideAnUnwritableExecutableAreUsed) {
    LocationFacts facts = Installed();
    facts.executablePath = "/opt/qv/qvserver";
    facts.dataBesideExecutable = true;
    const FileLocations files = ChooseFileLocations(facts);
    EXPECT_EQ(files.PathOf("data/wait.jpg"), "/opt/qv/data/wait.jpg");
    EXPECT_EQ(files.PathOf("current.ini"), "/home/ann/.config/qvserver/current.ini");
}

TEST(FileLocations, WithoutAnyHomeTheExecutableFolderIsStillUsed) {
    LocationFacts facts = Installed();
    facts.home.clear();
    const FileLocations files = ChooseFileLocations(facts);
    EXPECT_EQ(files.PathOf("current.ini"), "/usr/bin/current.ini");
    EXPECT_EQ(files.PathOf("log.txt"), "/usr/bin/log.txt");
}

TEST(FileLocations, OnlyTheDataFolderCountsAsShipped) {
    const FileLocations files = ChooseFileLocations(Installed());
    EXPECT_EQ(files.PathOf("database.txt"), "/home/ann/.local/state/qvserver/database.txt");
    EXPECT_EQ(files.PathOf("notes.ini.txt"), "/home/ann/.local/state/qvserver/notes.ini.txt");
}

}  // namespace
