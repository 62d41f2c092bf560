// The engine alone, with its base answers, for load measurements: serves every GET with the 404 page on
// the given port until SIGTERM or SIGINT, then prints how many answers of each status it gave; SIGUSR1
// prints the counts so far without stopping.
//
//     engine_bench_host PORT

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "server/HttpServer.h"

namespace {

class BenchServer final : public HttpServer {
  public:
    ~BenchServer() override { Shutdown(); }

    void PrintCounts() const {
        std::printf("404 %ld\n400 %ld\n503 %ld\nother %ld\n", notFound.load(), badRequest.load(),
                    unavailable.load(), other.load());
        std::fflush(stdout);
    }

  protected:
    int HookLogAccess(TcpSocket&, int status, int, const char*) override {
        switch (status) {
            case 404:
                notFound.fetch_add(1, std::memory_order_relaxed);
                break;
            case 400:
                badRequest.fetch_add(1, std::memory_order_relaxed);
                break;
            case 503:
                unavailable.fetch_add(1, std::memory_order_relaxed);
                break;
            default:
                other.fetch_add(1, std::memory_order_relaxed);
                break;
        }
        return 1;
    }

  private:
    std::atomic<long> notFound{0};
    std::atomic<long> badRequest{0};
    std::atomic<long> unavailable{0};
    std::atomic<long> other{0};
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    // Every thread the server starts inherits this mask, so the signals reach sigwait below only.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    BenchServer server;
    server.StartWinsock(1, 1);
    if (server.Start(std::atoi(argv[1])) != StartResult::Started) {
        std::fprintf(stderr, "cannot listen on port %s\n", argv[1]);
        return 1;
    }
    std::printf("listening %s\n", argv[1]);
    std::fflush(stdout);
    int received = 0;
    while (sigwait(&stopSignals, &received) == 0 && received == SIGUSR1) {
        server.PrintCounts();
    }
    server.Shutdown();
    server.PrintCounts();
    server.CleanupWinsock();
    return 0;
}
