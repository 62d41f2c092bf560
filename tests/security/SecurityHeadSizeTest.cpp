#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>

#include "tests/support/LoopbackClient.h"
#include "tests/support/ServiceFixture.h"

// This test program counts the bytes held through operator new, so that a request can be shown not to
// make the server hold memory in proportion to what the client sends.
namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

void* Allocate(std::size_t size) noexcept {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) {
        const std::size_t live = liveBytes.fetch_add(malloc_usable_size(block)) + malloc_usable_size(block);
        std::size_t peak = peakBytes.load();
        while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
        }
    }
    return block;
}

void Release(void* block) noexcept {
    if (block != nullptr) {
        liveBytes.fetch_sub(malloc_usable_size(block));
        std::free(block);
    }
}

}  // namespace

void* operator new(std::size_t size) {
    void* block = Allocate(size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* block) noexcept {
    Release(block);
}
void operator delete[](void* block) noexcept {
    Release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    Release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    Release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    Release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    Release(block);
}

namespace {

const std::string kBadRequest =
    "HTTP/1.1 400 Bad Request\r\nServer: ORV-HTTPD/0.1\r\nContent-Length: 89\r\n\r\n"
    "<html><head><title>Error 400</title></head><body>HTTP/1.1 400 Bad Request. </body></html>";
// Memory a request may take, whatever its head: a worker, its head buffer, its log line.
constexpr std::size_t kRequestMemoryBound = 256 * 1024;
constexpr std::size_t kHugeHead = 1 << 20;

// A head that never ends is cut off at 1024 bytes with the 400 answer, while the client is still sending
// the rest; the server holds no more memory for it than for a small request.
TEST(HeadSize, MegabyteHeadIsAnswered400WithoutGrowingMemory) {
    ServiceHarness<> harness;
    ASSERT_TRUE(harness.Start());
    const std::string huge = "GET /" + std::string(kHugeHead, 'a');
    ASSERT_EQ(Get(harness.port, "/").status, 200);  // the lazily made parts exist before measuring

    const std::size_t before = liveBytes.load();
    peakBytes.store(before);
    LoopbackClient client(harness.port);
    ASSERT_TRUE(client.Connected());
    std::thread sender([&] { client.Send(huge); });
    const std::string answer = client.ReceiveUntilClosed().bytes;
    sender.join();
    const std::size_t peak = peakBytes.load();

    EXPECT_EQ(answer, kBadRequest);
    EXPECT_LT(peak - before, kRequestMemoryBound);
    EXPECT_EQ(Get(harness.port, "/").status, 200) << "the server serves on";
}

// The bound itself ends the wait: 1024 bytes without a blank line are answered at once, not when the
// client closes or the head deadline passes.
TEST(HeadSize, BoundIsAnsweredWithoutWaitingForTheClient) {
    ServiceHarness<> harness;
    ASSERT_TRUE(harness.Start());
    LoopbackClient client(harness.port);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send("GET /" + std::string(1019, 'a')));
    const LoopbackClient::Answer answer = client.ReceiveUntilClosed(std::chrono::seconds(10));
    EXPECT_EQ(answer.bytes, kBadRequest);
    EXPECT_EQ(answer.end, LoopbackClient::End::Closed);
}

}  // namespace
