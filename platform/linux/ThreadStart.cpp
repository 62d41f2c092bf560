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
    // The levels above idle are nice offsets within the normal policy, which a thread started from a
    // server thread (batch, below) does not have yet.
    const sched_param param{};
    pthread_setschedparam(pthread_self(), priority == ThreadPriority::Idle ? SCHED_IDLE : SCHED_OTHER,
                          &param);
    if (priority == ThreadPriority::Idle) {
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

// Batch threads keep their nice value and share the processor as fairly as normal ones, but a batch
// thread that wakes up waits for the running one to sleep or use up its slice instead of preempting it.
// A server has a thread per connection and far fewer cores: preempted on every wake-up, a thread serving
// a request is put aside for one that merely takes the next, often while it holds a lock the other then
// waits for, and each such turn costs two switches. Allowed to every process.
void TakeServingScheduling() {
    const sched_param param{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &param);
}

}  // namespace platform::backend
