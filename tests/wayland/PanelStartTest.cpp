#include <gtest/gtest.h>

#include <stdlib.h>

#include "tests/ui/PanelFixture.h"

namespace {

// The panel's Start in a session whose WAYLAND_DISPLAY names no compositor: the warning says why, in
// one line under the usual text, and the service stays stopped.
class PanelStartWithoutCompositor : public PanelFixture {
  protected:
    void SetUp() override {
        setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
        setenv("WAYLAND_DISPLAY", "wayland-qv-missing", 1);
        unsetenv("XDG_SESSION_TYPE");
    }
    TempDir runtime;
};

TEST_F(PanelStartWithoutCompositor, WarnsWithTheReasonAndDoesNotStart) {
    Run([&](FakeDialogWindow& dialog) {
        dialog.Click(IDOK);
        ASSERT_EQ(dialog.messageBoxes.size(), 1u);
        EXPECT_EQ(dialog.messageBoxes[0].text,
                  "サービスを開始できませんでした。\n"
                  "WAYLAND_DISPLAY=wayland-qv-missing names no running Wayland compositor");
        EXPECT_EQ(dialog.messageBoxes[0].icon, MessageIcon::Warning);
        EXPECT_TRUE(dialog.At(IDOK).enabled);
        EXPECT_FALSE(dialog.At(IDC_STOP).enabled);
        Close(dialog);
    });
    EXPECT_FALSE(service.IsRunning());
}

}  // namespace
