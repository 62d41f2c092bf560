#include <gtest/gtest.h>

#include <string>

#include "tests/server/AcceptedPair.h"
#include "tests/support/RecordingServer.h"

namespace {

TEST(Response, BaseHookAnswers404AndLogsThePath) {
    RecordingServer server;
    ASSERT_NE(server.StartOnFreePort(), 0);
    EXPECT_EQ(Exchange(server.Port(), "GET /anything HTTP/1.1\r\nHost: x\r\n\r\n").raw, NotFoundAnswer());
    ASSERT_TRUE(server.WaitForEntries(1));
    const auto entries = server.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].status, 404);
    EXPECT_EQ(entries[0].length, 99);
    EXPECT_EQ(entries[0].requestText, "/anything");
    EXPECT_EQ(entries[0].peerAddress, "127.0.0.1");
}

TEST(Response, BadRequestHasItsShortHeadAndLogsADash) {
    RecordingServer server;
    ASSERT_NE(server.StartOnFreePort(), 0);
    EXPECT_EQ(Exchange(server.Port(), "POST / HTTP/1.1\r\n\r\n").raw, BadRequestAnswer());
    ASSERT_TRUE(server.WaitForEntries(1));
    const auto entries = server.Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].status, 400);
    EXPECT_EQ(entries[0].length, 89);
    EXPECT_EQ(entries[0].requestText, "-");
    EXPECT_TRUE(server.HandledPaths().empty());
}

TEST(Response, UnreadBodyDoesNotDestroyTheAnswer) {
    // The body behind the head is never read; the close must still deliver the answer, not a reset.
    RecordingServer server;
    ASSERT_NE(server.StartOnFreePort(), 0);
    LoopbackClient client(server.Port());
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(
        client.Send("GET /upload HTTP/1.1\r\nContent-Length: 20000\r\n\r\n" + std::string(20000, 'b')));
    const auto answer = client.ReceiveUntilClosed();
    EXPECT_EQ(answer.end, LoopbackClient::End::Closed);
    EXPECT_EQ(answer.bytes, NotFoundAnswer());
    EXPECT_EQ(client.PendingError(), 0) << "an orderly close, no reset";
}

struct HeadCase {
    int status;
    int length;
    const char* statusText;
    const char* contentType;
    const char* realm;
    const char* expected;
};

TEST(WriteResponseHead, WritesOnlyTheLinesItsArgumentsAskFor) {
    const HeadCase cases[] = {
        {200, 1234, "OK", "image/jpeg", nullptr,
         "HTTP/1.1 200 OK\r\nServer: ORV-HTTPD/0.1\r\nConnection: close\r\nContent-Length: 1234\r\n"
         "Content-Type: image/jpeg\r\n\r\n"},
        {200, 0, "OK", nullptr, nullptr,
         "HTTP/1.1 200 OK\r\nServer: ORV-HTTPD/0.1\r\nConnection: close\r\n\r\n"},
        {401, 107, "Authorization Required", nullptr, "",
         "HTTP/1.1 401 Authorization Required\r\nServer: ORV-HTTPD/0.1\r\nWWW-Authenticate: Basic "
         "realm=\"\"\r\n"
         "Connection: close\r\nContent-Length: 107\r\n\r\n"},
        {500, -1, "Internal Server Error", "text/html", "QV",
         "HTTP/1.1 500 Internal Server Error\r\nServer: ORV-HTTPD/0.1\r\nWWW-Authenticate: Basic "
         "realm=\"QV\"\r\nConnection: close\r\nContent-Length: -1\r\nContent-Type: text/html\r\n\r\n"},
    };
    HttpServer server;
    for (const auto& c : cases) {
        AcceptedPair pair;
        ASSERT_TRUE(pair.accepted);
        EXPECT_EQ(
            server.WriteResponseHead(pair.server, c.status, c.length, c.statusText, c.contentType, c.realm),
            1);
        pair.server.Close();
        EXPECT_EQ(pair.client->ReceiveUntilClosed().bytes, c.expected);
    }
}

}  // namespace
