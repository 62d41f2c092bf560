#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

// Tests that need a screen talk to the build's private Xvfb, whose display name the xvfb fixture wrote to
// the file named by QV_TEST_DISPLAY_FILE. Without that file, DISPLAY is used as it stands.
int main(int argc, char** argv) {
    if (const char* displayFile = std::getenv("QV_TEST_DISPLAY_FILE")) {
        std::ifstream in(displayFile);
        std::string display;
        if (in >> display) {
            setenv("DISPLAY", display.c_str(), 1);
        }
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
