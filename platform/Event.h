#pragma once

// An auto-reset event: Set lets exactly one waiter (now or the next to come) pass and resets itself.
// Any thread may set or wait.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class AutoResetEvent {
  public:
    // Notifies under the lock: a waiter that wakes may destroy the event at once, so Set must not touch
    // it after releasing the mutex.
    void Set() {
        std::lock_guard guard(mutex);
        signalled = true;
        changed.notify_one();
    }
    void Reset() {
        std::lock_guard guard(mutex);
        signalled = false;
    }
    void Wait() {
        std::unique_lock guard(mutex);
        changed.wait(guard, [this] { return signalled; });
        signalled = false;
    }
    // False when the time ran out before the event was set.
    bool WaitFor(std::chrono::milliseconds timeout) {
        std::unique_lock guard(mutex);
        if (!changed.wait_for(guard, timeout, [this] { return signalled; })) {
            return false;
        }
        signalled = false;
        return true;
    }

  private:
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;  // guarded by mutex
};

}  // namespace platform
