#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/Files.h"
#include "tests/support/ServiceFixture.h"

namespace {

const std::string kViewerPage =
    "<html><head><title>QV Server</title></head><body><a href=\"./\">Reload</a> | <a "
    "href=\"./screen\">Image</a>"
    "<br><a href=\"./click\"><img src=\"./screen\" ISMAP border=\"0\"></a></body></html>";
const std::string kNotFoundPage =
    "<html><head><title>Error 404</title></head><body><b>HTTP/1.1 404 File Not Found. </b></body></html>";
const std::string kServerErrorPage =
    "<html><head><title>Error 500</title></head><body><b>HTTP/1.1 500 Internal Server Error. "
    "</b></body></html>";

std::string Head(const std::string& statusLine, std::size_t length, const std::string& type) {
    std::string head = "HTTP/1.1 " + statusLine + "\r\nServer: ORV-HTTPD/0.1\r\nConnection: close\r\n";
    if (length != 0) {
        head += "Content-Length: " + std::to_string(length) + "\r\n";
    }
    return head + "Content-Type: " + type + "\r\n\r\n";
}

std::string Bytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (std::size_t index = 0; index < size; ++index) {
        bytes[index] = static_cast<char>((index * 131 + seed * 7 + index / 251) & 0xff);
    }
    return bytes;
}

TEST(RouteRequest, WholePathsExactlyAndClicksByPrefixAndQueryMark) {
    using pages::Route;
    const std::pair<const char*, Route> cases[] = {
        {"/", Route::ViewerPage},        {"/click?5,5", Route::Click},   {"/click?", Route::Click},
        {"/clickety?1,2", Route::Click}, {"/click/x?1", Route::Click},   {"/screen", Route::Snapshot},
        {"/screen/", Route::Snapshot},   {"/click", Route::NotFound},    {"/clic?1,2", Route::NotFound},
        {"/?x", Route::NotFound},        {"/screen?1", Route::NotFound}, {"/Screen", Route::NotFound},
        {"/screen//", Route::NotFound},  {"", Route::NotFound},          {"/CLICK?1,2", Route::NotFound},
    };
    for (const auto& [path, route] : cases) {
        EXPECT_EQ(pages::RouteRequest(path), route) << path;
    }
}

class RequestRouting : public testing::Test {
  protected:
    // Every request starts at the same tick: the first snapshot request captures, later ones do not.
    void SetUp() override {
        std::filesystem::create_directories(harness.folder.File("data"));
        TempDir::WriteFile(harness.folder.File("screen.jpg"), picture);
        harness.service.SetTickSource([] { return std::uint32_t{10'000'000}; });
        harness.service.EditSettings([&](Settings& settings) { settings.minRemake = 3; });
    }

    HttpAnswer Fetch(const std::string& path) { return Get(harness.port, path); }

    ServiceHarness<> harness;
    const std::string picture = Bytes(150000, 1);
};

TEST_F(RequestRouting, AnswersEveryPathWithItsFixedRoute) {
    ASSERT_TRUE(harness.Start());
    struct RouteCase {
        const char* path;
        std::string expected;
    };
    const RouteCase cases[] = {
        {"/", Head("200 OK", 180, "text/html") + kViewerPage},
        {"/click?5,5", Head("200 OK", 180, "text/html") + kViewerPage},
        {"/click?", Head("200 OK", 180, "text/html") + kViewerPage},
        {"/clickety?1,2", Head("200 OK", 180, "text/html") + kViewerPage},
        {"/screen", Head("200 OK", picture.size(), "image/jpeg") + picture},
        {"/screen/", Head("200 OK", picture.size(), "image/jpeg") + picture},
        {"/click", Head("404 Not Found", 99, "text/html") + kNotFoundPage},
        {"/clic?1,2", Head("404 Not Found", 99, "text/html") + kNotFoundPage},
        {"/index.html", Head("404 Not Found", 99, "text/html") + kNotFoundPage},
        {"/?x", Head("404 Not Found", 99, "text/html") + kNotFoundPage},
        {"/screen?1", Head("404 Not Found", 99, "text/html") + kNotFoundPage},
        {"/Screen", Head("404 Not Found", 99, "text/html") + kNotFoundPage},
        {"/screen.jpg", Head("404 Not Found", 99, "text/html") + kNotFoundPage},
        {"/../log.txt", Head("404 Not Found", 99, "text/html") + kNotFoundPage},
        {"/data/top.html", Head("404 Not Found", 99, "text/html") + kNotFoundPage},
    };
    for (const RouteCase& testCase : cases) {
        EXPECT_EQ(Fetch(testCase.path).raw, testCase.expected) << testCase.path;
    }
    EXPECT_EQ(harness.service.captures.load(), 1);
}

TEST_F(RequestRouting, SendsTheTemplateByteForByteWhateverItsSize) {
    ASSERT_TRUE(harness.Start());
    const std::string templatePath = harness.folder.File("data/top.html");
    for (const std::size_t size :
         {std::size_t{1}, std::size_t{1023}, std::size_t{65536}, std::size_t{65537}, std::size_t{300000}}) {
        const std::string page = Bytes(size, static_cast<unsigned>(size));
        TempDir::WriteFile(templatePath, page);
        EXPECT_EQ(Fetch("/").raw, Head("200 OK", size, "text/html") + page) << size;
        EXPECT_EQ(Fetch("/click?1,2").raw, Head("200 OK", size, "text/html") + page) << size;
    }
}

TEST_F(RequestRouting, AnswersEmptyFilesWithoutContentLength) {
    TempDir::WriteFile(harness.folder.File("data/top.html"), "");
    TempDir::WriteFile(harness.folder.File("screen.jpg"), "");
    ASSERT_TRUE(harness.Start());
    EXPECT_EQ(Fetch("/").raw, Head("200 OK", 0, "text/html"));
    EXPECT_EQ(Fetch("/screen").raw, Head("200 OK", 0, "image/jpeg"));
    const std::string log = harness.LogText();
    EXPECT_NE(log.find(" / 200 0 - 127.0.0.1\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" /screen 200 0 - 127.0.0.1\r\n"), std::string::npos) << log;
}

TEST_F(RequestRouting, AnswersAMissingSnapshotWith500AndStillCountsTheHit) {
    RecordingStatusSink sink;
    harness.service.SetStatusSink(&sink);
    ASSERT_TRUE(harness.Start());
    std::filesystem::remove(harness.folder.File("screen.jpg"));
    EXPECT_EQ(Fetch("/screen").raw, Head("500 Internal Server Error", 106, "text/html") + kServerErrorPage);
    EXPECT_EQ(Fetch("/screen/").status, 500);
    EXPECT_EQ(harness.service.hitCount, 2u);
    harness.service.StopAndWait(std::chrono::seconds(5));
    harness.service.SetStatusSink(nullptr);
    const std::vector<std::string> expected = {"client:(127.0.0.1)", "hits:1",
                                               "activity:", "client:(127.0.0.1)", "hits:2"};
    EXPECT_EQ(sink.Events(), expected);
}

TEST_F(RequestRouting, ServesTheStartupPictureAfterACaptureThatWroteNothing) {
    ASSERT_TRUE(harness.Start());
    const HttpAnswer answer = Fetch("/screen");
    EXPECT_EQ(answer.Field("Content-Type"), "image/jpeg");
    EXPECT_EQ(answer.Field("Content-Length"), std::to_string(picture.size()));
    EXPECT_EQ(answer.body, picture);
    EXPECT_EQ(harness.service.captures.load(), 1);
}

// While one capture replaces the picture, every reader gets one whole version: the one it opened.
TEST_F(RequestRouting, ConcurrentSnapshotRequestsEachGetAWholePicture) {
    const std::string versions[] = {Bytes(200000, 2), Bytes(90000, 3)};
    std::atomic<int> next{0};
    std::atomic<std::uint32_t> tick{1};
    harness.service.SetTickSource([&] { return tick.fetch_add(1); });
    harness.service.EditSettings([&](Settings& settings) { settings.minRemake = 0; });
    harness.service.writer = [&](const char* fileName) {
        const std::string& version = versions[next++ % 2];
        auto replacement = platform::files::ReplacementFile::Create(fileName);
        ASSERT_TRUE(replacement);
        std::fwrite(version.data(), 1, version.size(), replacement->Stream());
        ASSERT_TRUE(replacement->Commit());
    };
    ASSERT_TRUE(harness.Start());

    constexpr int kClients = 20;
    std::vector<HttpAnswer> answers(kClients);
    std::vector<std::thread> clients;
    for (int client = 0; client < kClients; ++client) {
        clients.emplace_back([&, client] { answers[client] = Fetch("/screen"); });
    }
    for (std::thread& thread : clients) {
        thread.join();
    }
    for (const HttpAnswer& answer : answers) {
        ASSERT_EQ(answer.status, 200);
        EXPECT_EQ(answer.Field("Content-Length"), std::to_string(answer.body.size()));
        EXPECT_TRUE(answer.body == versions[0] || answer.body == versions[1]);
    }
    EXPECT_EQ(harness.service.hitCount, static_cast<std::uint32_t>(kClients));
    EXPECT_EQ(harness.service.captures.load(), kClients);
}

TEST_F(RequestRouting, DemandsCredentialsOnlyWhenAuthenticationIsOn) {
    harness.service.SetCredentials("Private", "", "");
    harness.service.EditSettings([&](Settings& settings) { settings.authenticate = 0; });
    ASSERT_TRUE(harness.Start());
    EXPECT_EQ(Fetch("/").status, 200);
    harness.service.StopAndWait(std::chrono::seconds(5));
    harness.service.EditSettings([&](Settings& settings) { settings.authenticate = 1; });
    ASSERT_TRUE(harness.Start());
    const HttpAnswer refused = Fetch("/");
    EXPECT_EQ(refused.status, 401);
    EXPECT_EQ(refused.Field("WWW-Authenticate"), "Basic realm=\"Private\"");
    // The expected credentials of an empty user and password are ":", "Og==" in Base64.
    EXPECT_EQ(Exchange(harness.port, "GET / HTTP/1.0\r\nAuthorization: Basic Og==\r\n\r\n").status, 200);
}

}  // namespace
