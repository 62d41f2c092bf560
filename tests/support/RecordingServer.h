#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "server/HttpServer.h"
#include "tests/support/LoopbackClient.h"

// What HookLogAccess received for one response.
struct LogEntry {
    int status = 0;
    int length = 0;
    std::string requestText;
    std::string peerAddress;
};

// A real HttpServer with the base answers that records what reaches its hooks, and optionally asks for
// credentials on every path.
class RecordingServer : public HttpServer {
  public:
    ~RecordingServer() override { Shutdown(); }

    // Starts on a port free on every interface, trying again when someone else took it first. The port,
    // or 0 when no start worked.
    int StartOnFreePort();
    int Port() const { return port; }

    // Every path then needs these credentials ("user:password"); realm may be null.
    void RequireCredentials(const char* realmText, std::string expected);

    std::vector<LogEntry> Entries();
    std::vector<std::string> HandledPaths();
    // For the path /body the request hook reads four bytes behind the head: what it found there.
    std::string BodyAfterHead();
    // Waits until at least count responses were logged, at most timeout.
    bool WaitForEntries(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

    using HttpServer::SetHeadTimeout;

  protected:
    int HookAuthenticate(const char* path, const char** realmOut, const char** credentialsOut) override;
    int HookHandleRequest(const char* path, TcpSocket& connection) override;
    int HookLogAccess(TcpSocket& connection, int status, int length, const char* requestText) override;

  private:
    int port = 0;
    bool requireCredentials = false;
    const char* realm = nullptr;
    std::string credentials;

    std::mutex recordLock;
    std::condition_variable recorded;
    std::vector<LogEntry> entries;          // guarded by recordLock
    std::vector<std::string> handledPaths;  // guarded by recordLock
    std::string bodyAfterHead;              // guarded by recordLock
};

// The exact bytes of the engine's fixed answers.
std::string BadRequestAnswer();
std::string ServiceUnavailableAnswer();
std::string NotFoundAnswer();
std::string UnauthorizedAnswer(const char* realm);
