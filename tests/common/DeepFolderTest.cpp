#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "service/CaptureService.h"
#include "service/HeadlessSettings.h"
#include "service/Pages.h"
#include "service/SettingsKeys.h"
#include "tests/support/TempDir.h"

namespace {

// An executable in a folder far deeper than 260 bytes finds its settings, its start-up picture and its
// log in its own folder, not in a parent folder whose path happened to fit.
TEST(DeepFolder, WorkingFilesStayInTheExecutablesOwnFolder) {
    TempDir root;
    std::string deep = root.Path();
    for (int level = 0; deep.size() < 400; ++level) {
        deep += "/level" + std::to_string(level);
    }
    std::filesystem::create_directories(deep + "/data");
    TempDir::WriteFile(deep + "/data/wait.jpg", "start-up picture");
    TempDir::WriteFile(deep + "/current.ini", "[WWW]\r\nPort=4321\r\n");

    CaptureService service(deep + "/qvserver-headless");
    EXPECT_EQ(service.logPath, deep + "/log.txt");
    const headless::LoadedSettings loaded =
        headless::LoadSettings(service.WorkingFilePath(settings::kCurrentFileName).c_str());
    ASSERT_TRUE(loaded.settings.has_value());
    EXPECT_EQ(loaded.settings->port, 4321);
    service.ShowStartupPicture();
    EXPECT_EQ(TempDir::ReadFile(deep + "/screen.jpg"), "start-up picture");
}

}  // namespace
