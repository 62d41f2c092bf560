#pragma once

// Threads. StartDetachedThread serves the server's accept and worker threads, which end on their own and
// are scheduled for throughput where the system allows (Linux: as batch work, so that a thread woken for
// a connection does not preempt one that is serving); JoinableThread serves the capture thread, which runs
// at a chosen priority and is joined by the worker that started it. Both may be called from any thread.
// The first thread started limits the process's heap arenas (glibc), so that many threads do not each
// keep their own freed memory.

#include <functional>
#include <memory>
#include <optional>

namespace platform {

// Runs work on a new detached thread with the default stack size. False when no thread could be started;
// work is then destroyed without being run.
bool StartDetachedThread(std::function<void()> work);

enum class ThreadPriority { Idle, Lowest, Normal, AboveNormal, Highest };

class JoinableThread {
  public:
    // Starts work on a new thread that takes the given priority before work begins (nullopt: the priority
    // and scheduling it was created with, those of the calling thread). A priority the process is not
    // allowed to take is silently left as created.
    // Null when no thread could be started.
    static std::unique_ptr<JoinableThread> Start(std::optional<ThreadPriority> priority,
                                                 std::function<void()> work);
    virtual ~JoinableThread() = default;  // joins when not joined yet
    virtual void Join() = 0;
};

}  // namespace platform
