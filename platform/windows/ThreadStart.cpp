#include "platform/standard/ThreadStart.h"

#include <windows.h>

namespace platform::backend {
namespace {

int WindowsPriority(ThreadPriority priority) {
    switch (priority) {
        case ThreadPriority::Idle:
            return THREAD_PRIORITY_IDLE;
        case ThreadPriority::Lowest:
            return THREAD_PRIORITY_LOWEST;
        case ThreadPriority::AboveNormal:
            return THREAD_PRIORITY_ABOVE_NORMAL;
        case ThreadPriority::Highest:
            return THREAD_PRIORITY_HIGHEST;
        case ThreadPriority::Normal:
            break;
    }
    return THREAD_PRIORITY_NORMAL;
}

}  // namespace

// Nothing to prepare: the system's heap serves every thread alike.
void PrepareForThreads() {}

// Refused only for a priority class the process may not use; the thread then keeps its own.
void TakeThreadPriority(ThreadPriority priority) {
    SetThreadPriority(GetCurrentThread(), WindowsPriority(priority));
}

// The system's scheduler has no policy for this; the threads keep the normal one.
void TakeServingScheduling() {}

}  // namespace platform::backend
