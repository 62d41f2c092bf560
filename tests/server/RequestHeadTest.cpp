#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "server/RequestText.h"
#include "tests/support/RecordingServer.h"

namespace {

template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

struct ParseCase {
    std::string head;
    bool get;  // false: the 400 answer applies
    std::string path;
    std::optional<std::string> credentials;
};

TEST(ParseRequestHead, MethodPathAndCredentialsByTheRules) {
    const auto none = std::nullopt;
    const ParseCase cases[] = {
        {"GET / HTTP/1.1\r\nHost: a\r\nAccept: */*\r\n\r\n", true, "/", none},
        {"GET /screen?a=1 HTTP/1.0\r\n\r\n", true, "/screen?a=1", none},
        {"GET /a%20b HTTP/1.1\r\n\r\n", true, "/a%20b", none},
        {"GET  HTTP/1.1\r\n\r\n", true, "", none},
        {"GET /x\r\n\r\n", false, "", none},  // no version
        {"GET\r\n\r\n", false, "", none},
        {"get / HTTP/1.1\r\n\r\n", false, "", none},
        {"HEAD / HTTP/1.1\r\n\r\n", false, "", none},
        {"GETS / HTTP/1.1\r\n\r\n", false, "", none},
        {Bytes("GET\0/ HTTP/1.1\r\n\r\n"), false, "", none},
        {Bytes("GET /a\0b HTTP/1.1\r\n\r\n"), false, "", none},
        // The method also ends at a CR, and the path is taken from the fifth character whatever stood there.
        {"GET\r/x HTTP/1.1\r\n\r\n", true, "/x", none},
        {"GET /" + std::string(1022, 'p') + " HTTP/1.1\r\n\r\n", true, "/" + std::string(1022, 'p'), none},
        {"GET /" + std::string(1023, 'p') + " HTTP/1.1\r\n\r\n", false, "", none},
        // Credentials come from the first Authorization header line, name and scheme in any case.
        {"GET / HTTP/1.1\r\nAuthorization: Basic dXNlcjpwYXNz\r\n\r\n", true, "/", "dXNlcjpwYXNz"},
        {"GET / HTTP/1.1\r\nauthorization: basic dXNlcjpwYXNz\r\n\r\n", true, "/", "dXNlcjpwYXNz"},
        {"GET / HTTP/1.1\r\nAUTHORIZATION: BaSiC dXNlcjpwYXNz\r\n\r\n", true, "/", "dXNlcjpwYXNz"},
        {"GET / HTTP/1.1\r\nAuthorization: Basic one\r\nAuthorization: Basic two\r\n\r\n", true, "/", "one"},
        {"GET / HTTP/1.1\r\nAuthorization: Basic one \r\n\r\n", true, "/", "one "},
        {"GET / HTTP/1.1\r\nAuthorization: Basic \r\n\r\n", true, "/", ""},
        {"GET / HTTP/1.1\r\nAuthorization: Bearer one\r\nAuthorization: Basic two\r\n\r\n", true, "/", none},
        {"GET / HTTP/1.1\r\nAuthorization:  Basic one\r\n\r\n", true, "/", none},
        {"GET / HTTP/1.1\r\nAuthorization: Basicone\r\n\r\n", true, "/", none},
        {"GET / HTTP/1.1\r\nAuthorization:Basic one\r\n\r\n", true, "/", none},
        // Anywhere else in the head the same characters are not credentials.
        {"GET / HTTP/1.1\r\nX-Note: Authorization: Basic one\r\n\r\n", true, "/", none},
        {"GET / Authorization: Basic one\r\n\r\n", true, "/", none},
        {"GET / HTTP/1.1\r\nX: a\nAuthorization: Basic one\r\n\r\n", true, "/", none},
        {Bytes("GET / HTTP/1.1\r\n\0Authorization: Basic one\r\n\r\n"), true, "/", none},
    };
    for (const ParseCase& c : cases) {
        const ParsedRequest parsed = ParseRequestHead(c.head);
        EXPECT_EQ(parsed.fixedAnswer, c.get ? std::nullopt : std::optional(HttpStatusCode::BadRequest))
            << c.head;
        if (c.get) {
            EXPECT_EQ(parsed.method, "GET") << c.head;
            EXPECT_EQ(parsed.path, c.path) << c.head;
            EXPECT_EQ(parsed.basicCredentials, c.credentials) << c.head;
        }
    }
}

// A server shared by the cases of this file; each case checks what its own request produced.
class RequestHeadTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(server.StartOnFreePort(), 0); }

    // Sends the request, returns the answer and checks that exactly one response was logged for it.
    std::string Ask(const std::string& request, LogEntry* logged = nullptr) {
        const std::size_t before = server.Entries().size();
        const std::string answer = Exchange(server.Port(), request).raw;
        EXPECT_TRUE(server.WaitForEntries(before + 1));
        const auto entries = server.Entries();
        EXPECT_EQ(entries.size(), before + 1);
        if (logged != nullptr && !entries.empty()) {
            *logged = entries.back();
        }
        return answer;
    }

    RecordingServer server;
};

TEST_F(RequestHeadTest, PathIsTheRawTextBetweenTheSpaces) {
    const std::pair<std::string, std::string> cases[] = {
        {"GET / HTTP/1.1\r\nHost: a\r\nAccept: */*\r\n\r\n", "/"},
        {"GET /screen?a=1 HTTP/1.0\r\n\r\n", "/screen?a=1"},
        {"GET /a%20b HTTP/1.1\r\n\r\n", "/a%20b"},
        {"GET /click?12,34 HTTP/1.1\r\n\r\n", "/click?12,34"},
        {"GET  HTTP/1.1\r\n\r\n", ""},
        {"GET /" + std::string(1000, 'p') + " HTTP/1.1\r\n\r\n", "/" + std::string(1000, 'p')},
    };
    for (const auto& [request, path] : cases) {
        LogEntry logged;
        EXPECT_EQ(Ask(request, &logged), NotFoundAnswer()) << request;
        EXPECT_EQ(logged.status, 404);
        EXPECT_EQ(logged.requestText, path);
        ASSERT_FALSE(server.HandledPaths().empty());
        EXPECT_EQ(server.HandledPaths().back(), path);
    }
}

TEST_F(RequestHeadTest, EverythingButAWellFormedGetIsABadRequest) {
    const std::string cases[] = {
        "get / HTTP/1.1\r\n\r\n",
        "HEAD / HTTP/1.1\r\n\r\n",
        "POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n",
        "GETS / HTTP/1.1\r\n\r\n",
        "GET\r\n\r\n",
        "GET /index.html\r\n\r\n",  // no version
        Bytes("GET\0/ HTTP/1.1\r\n\r\n"),
        Bytes("GET /a\0b HTTP/1.1\r\n\r\n"),
        Bytes("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n"),
        Bytes("\xff\xfe\xfd\xfc\r\n\r\n"),
        Bytes("\0\0\0\0\r\n\r\n"),
    };
    for (const auto& request : cases) {
        LogEntry logged;
        EXPECT_EQ(Ask(request, &logged), BadRequestAnswer()) << request;
        EXPECT_EQ(logged.status, 400);
        EXPECT_EQ(logged.length, 89);
        EXPECT_EQ(logged.requestText, "-");
    }
    EXPECT_TRUE(server.HandledPaths().empty());
}

// "GET / HTTP/1.1\r\nX: " + padding + "\r\n\r\n" with the total length given.
std::string HeadOfLength(std::size_t total) {
    const std::string start = "GET /edge HTTP/1.1\r\nX: ";
    const std::string end = "\r\n\r\n";
    return start + std::string(total - start.size() - end.size(), 'x') + end;
}

TEST_F(RequestHeadTest, HeadMayTakeExactly1024Bytes) {
    EXPECT_EQ(Ask(HeadOfLength(1024)), NotFoundAnswer());
    EXPECT_EQ(Ask(HeadOfLength(1025)), BadRequestAnswer());
    EXPECT_EQ(Ask(std::string(5000, 'G')), BadRequestAnswer());
}

TEST_F(RequestHeadTest, HeadArrivingInPiecesIsReadWhole) {
    LoopbackClient client(server.Port());
    ASSERT_TRUE(client.Connected());
    const std::string head = "GET /pieces HTTP/1.1\r\nHost: a\r\n\r\n";
    for (char c : head) {
        ASSERT_TRUE(client.Send(std::string(1, c)));
    }
    EXPECT_EQ(client.ReceiveUntilClosed().bytes, NotFoundAnswer());
}

TEST_F(RequestHeadTest, NothingBehindTheBlankLineIsConsumed) {
    EXPECT_EQ(Ask("GET /body HTTP/1.1\r\nContent-Length: 4\r\n\r\nBODY"), NotFoundAnswer());
    EXPECT_EQ(server.BodyAfterHead(), "BODY");
}

TEST_F(RequestHeadTest, ClientClosingMidLineIsLoggedAsBadRequest) {
    {
        LoopbackClient client(server.Port());
        ASSERT_TRUE(client.Connected());
        ASSERT_TRUE(client.Send("GET /hal"));
        client.CloseSending();
        EXPECT_EQ(client.ReceiveUntilClosed().bytes, BadRequestAnswer()) << "the answer is attempted";
    }
    {
        LoopbackClient client(server.Port());
        ASSERT_TRUE(client.Connected());
        ASSERT_TRUE(client.Send("GET /gone HTTP/1.1\r\n"));
    }
    ASSERT_TRUE(server.WaitForEntries(2));
    for (const auto& entry : server.Entries()) {
        EXPECT_EQ(entry.status, 400);
        EXPECT_EQ(entry.requestText, "-");
    }
}

TEST(RequestHeadTimeout, SlowHeadGetsTheBadRequestAndItsSlotBack) {
    RecordingServer server;
    server.SetHeadTimeout(std::chrono::milliseconds(700));
    ASSERT_NE(server.StartOnFreePort(), 0);

    // One that stops in the middle of its head, and one that never sends a byte.
    LoopbackClient silent(server.Port());
    LoopbackClient mute(server.Port());
    ASSERT_TRUE(silent.Connected());
    ASSERT_TRUE(mute.Connected());
    ASSERT_TRUE(silent.Send("GET /sil"));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(silent.ReceiveUntilClosed().bytes, BadRequestAnswer());
    EXPECT_EQ(mute.ReceiveUntilClosed().bytes, BadRequestAnswer());
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));

    // The deadline holds for the whole head, not for each piece of it.
    LoopbackClient trickling(server.Port());
    ASSERT_TRUE(trickling.Connected());
    const std::string head = "GET /trickle HTTP/1.1\r\n\r\n";
    for (std::size_t i = 0; i < head.size() && !trickling.WaitForClosedOrData(std::chrono::milliseconds(60));
         ++i) {
        trickling.Send(head.substr(i, 1));
    }
    EXPECT_EQ(trickling.ReceiveUntilClosed().bytes, BadRequestAnswer());

    EXPECT_EQ(Exchange(server.Port(), "GET /prompt HTTP/1.1\r\n\r\n").raw, NotFoundAnswer());
    ASSERT_TRUE(server.WaitForEntries(4));
    const auto entries = server.Entries();
    for (int index = 0; index < 3; ++index) {
        EXPECT_EQ(entries[index].status, 400);
        EXPECT_EQ(entries[index].requestText, "-");
    }
    EXPECT_EQ(entries[3].status, 404);
}

}  // namespace
