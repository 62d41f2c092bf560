#include <string>
#include <thread>
#include <vector>

#include "PanelFixture.h"

namespace {

using PanelStatus = PanelFixture;

TEST_F(PanelStatus, NewsFromAnotherThreadNeverWaitsAndTheLatestOfEachKindIsShown) {
    constexpr int kUpdates = 300;
    Run([&](FakeDialogWindow& dialog) {
        // The GUI thread does nothing while the worker reports: every call must return on its own.
        std::thread worker([&] {
            for (int index = 0; index < kUpdates; ++index) {
                const std::string client = "client " + std::to_string(index);
                panel.SetStatusClient(client.c_str());
                panel.SetHitCount(static_cast<std::uint32_t>(index));
            }
        });
        worker.join();
        EXPECT_TRUE(dialog.statusHistory.empty());
        EXPECT_EQ(dialog.WorkerNotifyCount(), 1);  // one wake-up for the whole batch
        EXPECT_EQ(dialog.UrgentNotifyCount(), 0);

        // A change of activity asks for a look at once, even with other news already waiting.
        panel.SetStatusActivity("");
        EXPECT_EQ(dialog.UrgentNotifyCount(), 1);

        dialog.RunPosted();
        const std::vector<std::pair<int, std::string>> shown = {{0, "client 299"}, {1, ""}};
        EXPECT_EQ(dialog.statusHistory, shown);
        EXPECT_EQ(dialog.At(IDC_HITCOUNT).text, "299");

        // News after the GUI thread has looked asks for a new look, and is shown in its turn.
        panel.SetStatusActivity("JPEG圧縮中");
        panel.SetHitCount(4294967295u);
        EXPECT_EQ(dialog.WorkerNotifyCount(), 3);
        EXPECT_EQ(dialog.UrgentNotifyCount(), 2);
        dialog.RunPosted();
        EXPECT_EQ(dialog.statusHistory.back(), std::make_pair(1, std::string("JPEG圧縮中")));
        EXPECT_EQ(dialog.At(IDC_HITCOUNT).text, "4294967295");
        Close(dialog);
    });
}

TEST_F(PanelStatus, ShownNewsNeverGoesBackToOlderNews) {
    Run([&](FakeDialogWindow& dialog) {
        std::thread worker([&] {
            for (std::uint32_t count = 1; count <= 20000; ++count) {
                panel.SetHitCount(count);
            }
        });
        // The GUI thread looks now and then while the worker reports.
        std::uint32_t lastShown = 0;
        for (int look = 0; look < 200; ++look) {
            dialog.RunPosted();
            const std::uint32_t shown =
                static_cast<std::uint32_t>(std::stoul("0" + dialog.At(IDC_HITCOUNT).text));
            EXPECT_GE(shown, lastShown);
            lastShown = shown;
            std::this_thread::yield();
        }
        worker.join();
        dialog.RunPosted();
        EXPECT_EQ(dialog.At(IDC_HITCOUNT).text, "20000");
        Close(dialog);
    });
}

TEST_F(PanelStatus, NewsBeforeTheDialogAndAfterItAreDropped) {
    panel.SetStatusClient("too early");
    Run([&](FakeDialogWindow& dialog) {
        dialog.RunPosted();
        EXPECT_TRUE(dialog.statusHistory.empty());
        EXPECT_EQ(dialog.At(IDC_HITCOUNT).text, "");
        Close(dialog);
    });
    panel.SetStatusClient("too late");
    panel.SetHitCount(3);
}

}  // namespace
