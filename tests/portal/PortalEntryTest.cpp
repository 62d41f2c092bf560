// The backend's entry points on a private session bus: the capture check, one session shared by every
// pointer, and the restore token carried from one session to the next.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/Input.h"
#include "platform/linux/portal/PortalBackend.h"
#include "platform/linux/portal/RestoreToken.h"
#include "tests/portal/FakePortal.h"

namespace {

using namespace platform::linux_portal;
using portal_test::FakePortal;
using portal_test::PortalBehaviour;
using portal_test::PrivateBus;

int CountCalls(FakePortal& portal, const std::string& method) {
    int count = 0;
    for (const portal_test::ReceivedCall& call : portal.Calls()) {
        count += call.method == method ? 1 : 0;
    }
    return count;
}

// The entry points use the session bus the environment names, and the token file in the state folder
// (beside the test program, whose folder is writable).
class PortalEntryTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(bus.Address().empty()) << "dbus-daemon did not start";
        setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);
        RemoveToken();
    }
    void TearDown() override { RemoveToken(); }
    static void RemoveToken() { std::remove(RestoreTokenPath().c_str()); }

    PrivateBus bus;
};

TEST_F(PortalEntryTest, WithoutAPortalNothingCapturesAndNothingClicks) {
    EXPECT_EQ(PortalCaptureProblem(), "Wayland session without screencopy or ScreenCast portal");
    EXPECT_EQ(OpenPortalPointer(), nullptr);
}

TEST_F(PortalEntryTest, PointersShareOneSessionAndTheNextSessionRestoresTheChoice) {
    PortalBehaviour behaviour;
    behaviour.remoteDesktop = true;
    FakePortal portal(bus.Address(), behaviour);
    ASSERT_TRUE(portal.Running());
    EXPECT_EQ(PortalCaptureProblem(), "");

    std::unique_ptr<platform::PointerInput> first = OpenPortalPointer();
    std::unique_ptr<platform::PointerInput> second = OpenPortalPointer();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(CountCalls(portal, "CreateSession"), 1);
    EXPECT_EQ(LoadRestoreToken(RestoreTokenPath()), "fresh-token");

    // No picture has been seen yet, so the point goes as it is.
    second->MoveTo(Point{100, 50});
    const BusValue motion = portal.Call("NotifyPointerMotionAbsolute").arguments;
    ASSERT_EQ(motion.items.size(), 5u);
    EXPECT_DOUBLE_EQ(motion.items[3].real, 100);
    EXPECT_DOUBLE_EQ(motion.items[4].real, 50);

    first.reset();
    second.reset();
    EXPECT_EQ(CountCalls(portal, "Close"), 1);

    // A new session (as after a restart) hands the kept token back instead of asking again.
    ASSERT_NE(OpenPortalPointer(), nullptr);
    EXPECT_EQ(CountCalls(portal, "CreateSession"), 2);
    const std::vector<portal_test::ReceivedCall> calls = portal.Calls();
    const BusValue* restored = nullptr;
    for (const portal_test::ReceivedCall& call : calls) {
        if (call.method == "SelectDevices") {
            restored = call.options.Member("restore_token");
        }
    }
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(restored->text, "fresh-token");
}

}  // namespace
