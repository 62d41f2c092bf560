#include "platform/standard/ThreadStart.h"

#include <malloc.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace platform::backend {
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

}  // namespace

void PrepareForThreads() {
    static std::once_flag limited;
    std::call_once(limited, [] { mallopt(M_ARENA_MAX, kHeapArenas); });
}

void TakeThreadPriority(ThreadPriority priority) {
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

}  // namespace platform::backend
