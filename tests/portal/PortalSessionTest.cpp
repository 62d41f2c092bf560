// The portal client's whole call sequence against a stand-in portal on a private bus: what it asks for,
// the answers it takes in, the PipeWire remote it receives, and its pointer calls.

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <unistd.h>

#include "platform/linux/portal/PortalSession.h"
#include "tests/portal/FakePortal.h"

namespace {

using platform::linux_portal::BusValue;
using platform::linux_portal::PortalRequest;
using platform::linux_portal::PortalSession;
using portal_test::FakePortal;
using portal_test::PortalBehaviour;
using portal_test::PrivateBus;

std::uint64_t NumberOf(const BusValue& options, const char* key) {
    const BusValue* value = options.Member(key);
    return value != nullptr ? value->unsignedValue : 0;
}

std::string TextOf(const BusValue& options, const char* key) {
    const BusValue* value = options.Member(key);
    return value != nullptr ? value->text : "<missing>";
}

class PortalSessionTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(bus.Address().empty()) << "dbus-daemon did not start"; }

    std::unique_ptr<PortalSession> Start(const PortalBehaviour& behaviour, const std::string& token) {
        portal = std::make_unique<FakePortal>(bus.Address(), behaviour);
        EXPECT_TRUE(portal->Running());
        PortalRequest request;
        request.busAddress = bus.Address();
        request.restoreToken = token;
        request.answerWait = std::chrono::seconds(10);
        return PortalSession::Start(request, problem);
    }

    PrivateBus bus;
    std::unique_ptr<FakePortal> portal;
    std::string problem;
};

TEST_F(PortalSessionTest, ScreenCastAloneKeepsTheChoiceAndHandsOverTheRemote) {
    std::unique_ptr<PortalSession> session = Start(PortalBehaviour{}, "earlier-token");
    ASSERT_NE(session, nullptr) << problem;

    std::vector<std::string> methods;
    for (const portal_test::ReceivedCall& call : portal->Calls()) {
        methods.push_back(call.method);
        if (call.method != "CreateSession") {
            EXPECT_EQ(call.interface, "org.freedesktop.portal.ScreenCast") << call.method;
        }
    }
    EXPECT_EQ(methods, (std::vector<std::string>{"CreateSession", "SelectSources", "Start"}));
    const BusValue sources = portal->Call("SelectSources").options;
    EXPECT_EQ(NumberOf(sources, "types"), 1u);        // monitors
    EXPECT_EQ(NumberOf(sources, "cursor_mode"), 1u);  // hidden, as the other backends capture
    EXPECT_EQ(NumberOf(sources, "persist_mode"), 2u);
    EXPECT_EQ(TextOf(sources, "restore_token"), "earlier-token");
    // The session handle from CreateSession's answer is what the later calls name.
    const BusValue start = portal->Call("Start").arguments;
    ASSERT_GE(start.items.size(), 2u);
    EXPECT_EQ(start.items[0].text, "/org/freedesktop/portal/desktop/session/test/1");

    EXPECT_EQ(session->Stream().node, FakePortal::kNode);
    ASSERT_TRUE(session->Stream().size.has_value());
    EXPECT_EQ(*session->Stream().size, (Point{FakePortal::kWidth, FakePortal::kHeight}));
    EXPECT_EQ(session->RestoreToken(), "fresh-token");
    EXPECT_FALSE(session->HasPointer());
    EXPECT_NE(session->PointerProblem().find("no RemoteDesktop"), std::string::npos);

    const int remote = session->OpenPipeWireRemote();
    ASSERT_GE(remote, 0);
    char carried = 0;
    EXPECT_EQ(read(remote, &carried, 1), 1);
    EXPECT_EQ(carried, FakePortal::kRemoteByte);
    close(remote);

    // Without a pointer, clicks send nothing; closing the session tells the portal.
    session->MovePointer(1, 2);
    session->PressLeft(true);
    session.reset();
    const std::vector<portal_test::ReceivedCall> calls = portal->Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().method, "Close");
    EXPECT_EQ(calls.back().path, "/org/freedesktop/portal/desktop/session/test/1");
}

TEST_F(PortalSessionTest, RemoteDesktopSessionCarriesThePointer) {
    PortalBehaviour behaviour;
    behaviour.remoteDesktop = true;
    std::unique_ptr<PortalSession> session = Start(behaviour, "");
    ASSERT_NE(session, nullptr) << problem;

    EXPECT_EQ(portal->Call("CreateSession").interface, "org.freedesktop.portal.RemoteDesktop");
    EXPECT_EQ(portal->Call("Start").interface, "org.freedesktop.portal.RemoteDesktop");
    const BusValue devices = portal->Call("SelectDevices").options;
    EXPECT_EQ(NumberOf(devices, "types"), 2u);  // the pointer
    // The remote desktop keeps the choice; the screen cast on its session must not ask for it.
    EXPECT_EQ(NumberOf(devices, "persist_mode"), 2u);
    EXPECT_EQ(devices.Member("restore_token"), nullptr);
    EXPECT_EQ(portal->Call("SelectSources").options.Member("persist_mode"), nullptr);
    ASSERT_TRUE(session->HasPointer());

    session->MovePointer(640.5, 360);
    session->PressLeft(true);
    session->PressLeft(false);
    const BusValue motion = portal->Call("NotifyPointerMotionAbsolute").arguments;
    ASSERT_EQ(motion.items.size(), 5u);
    EXPECT_EQ(motion.items[2].unsignedValue, FakePortal::kNode);
    EXPECT_DOUBLE_EQ(motion.items[3].real, 640.5);
    EXPECT_DOUBLE_EQ(motion.items[4].real, 360);
    std::vector<std::pair<std::int64_t, std::uint64_t>> buttons;
    for (const portal_test::ReceivedCall& call : portal->Calls()) {
        if (call.method == "NotifyPointerButton" && call.arguments.items.size() == 4) {
            buttons.emplace_back(call.arguments.items[2].signedValue, call.arguments.items[3].unsignedValue);
        }
    }
    EXPECT_EQ(buttons, (std::vector<std::pair<std::int64_t, std::uint64_t>>{{BTN_LEFT, 1}, {BTN_LEFT, 0}}));
}

TEST_F(PortalSessionTest, PointerRefusedByTheUserLeavesTheScreenCast) {
    PortalBehaviour behaviour;
    behaviour.remoteDesktop = true;
    behaviour.grantedDevices = 0;
    std::unique_ptr<PortalSession> session = Start(behaviour, "");
    ASSERT_NE(session, nullptr) << problem;
    EXPECT_FALSE(session->HasPointer());
    EXPECT_FALSE(session->PointerProblem().empty());
    session->MovePointer(1, 1);
    EXPECT_TRUE(portal->Call("NotifyPointerMotionAbsolute").method.empty());
}

TEST_F(PortalSessionTest, RefusalAndMissingPortalAreReportedInOneLine) {
    PortalBehaviour cancelled;
    cancelled.startResponse = 1;
    EXPECT_EQ(Start(cancelled, ""), nullptr);
    EXPECT_NE(problem.find("refused at Start"), std::string::npos) << problem;

    portal.reset();
    PortalRequest request;
    request.busAddress = bus.Address();
    EXPECT_EQ(PortalSession::Start(request, problem), nullptr);
    EXPECT_NE(problem.find("ScreenCast"), std::string::npos) << problem;
    EXPECT_EQ(problem.find('\n'), std::string::npos);
}

}  // namespace
