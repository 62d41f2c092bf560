#include <string>
#include <thread>
#include <vector>

#include "PanelFixture.h"

namespace {

using PanelStatus = PanelFixture;

TEST_F(PanelStatus, NewsFromAnotherThreadArriveInOrderOnceTheGuiThreadLooks) {
    constexpr int kUpdates = 300;
    Run([&](FakeDialogWindow& dialog) {
        // The GUI thread does nothing while the worker reports: every call must return on its own.
        std::thread worker([&] {
            for (int index = 0; index < kUpdates; ++index) {
                const std::string client = "client " + std::to_string(index);
                panel.SetStatusClient(client.c_str());
                panel.SetStatusActivity(index % 2 == 0 ? "JPEG圧縮中" : "");
            }
            panel.SetHitCount(4294967295u);
        });
        worker.join();
        EXPECT_TRUE(dialog.statusHistory.empty());
        EXPECT_EQ(dialog.WorkerNotifyCount(), 1);  // one wake-up for the whole batch

        dialog.RunPosted();
        ASSERT_EQ(dialog.statusHistory.size(), 2u * kUpdates);
        for (int index = 0; index < kUpdates; ++index) {
            const auto& client = dialog.statusHistory[2 * static_cast<std::size_t>(index)];
            const auto& activity = dialog.statusHistory[2 * static_cast<std::size_t>(index) + 1];
            EXPECT_EQ(client, std::make_pair(0, "client " + std::to_string(index)));
            EXPECT_EQ(activity, std::make_pair(1, std::string(index % 2 == 0 ? "JPEG圧縮中" : "")));
        }
        EXPECT_EQ(dialog.At(IDC_HITCOUNT).text, "4294967295");
        Close(dialog);
    });
}

TEST_F(PanelStatus, AFloodKeepsTheLatestNewsWithinABound) {
    Run([&](FakeDialogWindow& dialog) {
        for (std::uint32_t count = 1; count <= 5000; ++count) {
            panel.SetHitCount(count);
        }
        dialog.RunPosted();
        EXPECT_LE(dialog.statusHistory.size(), 1024u);
        EXPECT_EQ(dialog.At(IDC_HITCOUNT).text, "5000");
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
