#include "platform/Thread.h"

#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace platform {
namespace {

// Nice offsets from the priority the thread was created with. Raising a thread (a negative offset) needs
// privileges that a desktop user's process usually lacks; it then silently keeps its priority.
constexpr int kLowestNiceOffset = 10;
constexpr int kAboveNormalNiceOffset = -5;
constexpr int kHighestNiceOffset = -10;

// Heap arenas shared by all threads. By default glibc gives threads up to eight arenas per core, and each
// keeps the memory freed into it; threads that pass large buffers around then hold several copies of the
// largest ones for good. One arena: the threads allocate little per request, so they rarely meet on its lock.
constexpr int kHeapArenas = 1;

void LimitHeapArenas() {
    static std::once_flag limited;
    std::call_once(limited, [] { mallopt(M_ARENA_MAX, kHeapArenas); });
}

void ApplyPriority(ThreadPriority priority) {
    if (priority == ThreadPriority::Idle) {
        sched_param param{};
        param.sched_priority = 0;
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
        return;
    }
    int offset = 0;
    switch (priority) {
        case ThreadPriority::Lowest:
            offset = kLowestNiceOffset;
            break;
        case ThreadPriority::AboveNormal:
            offset = kAboveNormalNiceOffset;
            break;
        case ThreadPriority::Highest:
            offset = kHighestNiceOffset;
            break;
        default:
            return;
    }
    // On Linux the nice value belongs to the thread: PRIO_PROCESS with a thread id changes that thread only.
    const auto threadId = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, threadId);
    if (current == -1 && errno != 0) {
        return;
    }
    setpriority(PRIO_PROCESS, threadId, current + offset);
}

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
    LimitHeapArenas();
    try {
        std::thread([work = std::move(work)] { RunGuarded(work); }).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

std::unique_ptr<JoinableThread> JoinableThread::Start(std::optional<ThreadPriority> priority,
                                                      std::function<void()> work) {
    LimitHeapArenas();
    try {
        std::thread thread([priority, work = std::move(work)] {
            if (priority) {
                ApplyPriority(*priority);
            }
            RunGuarded(work);
        });
        return std::make_unique<StdJoinableThread>(std::move(thread));
    } catch (const std::system_error&) {
        return nullptr;
    }
}

}  // namespace platform
