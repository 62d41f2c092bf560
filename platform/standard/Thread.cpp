#include "platform/Thread.h"

#include <system_error>
#include <thread>
#include <utility>

#include "platform/standard/ThreadStart.h"

namespace platform {
namespace {

void RunGuarded(const std::function<void()>& work) {
    try {
        work();
    } catch (...) {
        // A thread's work reports through its own results; nothing may escape and end the process.
    }
}

class StdJoinableThread final : public JoinableThread {
  public:
    explicit StdJoinableThread(std::thread started) : thread(std::move(started)) {}
    ~StdJoinableThread() override { Join(); }
    void Join() override {
        if (thread.joinable()) {
            thread.join();
        }
    }

  private:
    std::thread thread;
};

}  // namespace

bool StartDetachedThread(std::function<void()> work) {
    backend::PrepareForThreads();
    try {
        std::thread([work = std::move(work)] {
            backend::TakeServingScheduling();
            RunGuarded(work);
        }).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

std::unique_ptr<JoinableThread> JoinableThread::Start(std::optional<ThreadPriority> priority,
                                                      std::function<void()> work) {
    backend::PrepareForThreads();
    try {
        std::thread thread([priority, work = std::move(work)] {
            if (priority) {
                backend::TakeThreadPriority(*priority);
            }
            RunGuarded(work);
        });
        return std::make_unique<StdJoinableThread>(std::move(thread));
    } catch (const std::system_error&) {
        return nullptr;
    }
}

}  // namespace platform
