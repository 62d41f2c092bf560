#pragma once

// A critical section: a non-recursive lock for short regions, usable with std::lock_guard and
// std::unique_lock. Whoever holds one never waits for the GUI thread.

#include <mutex>

namespace platform {

class Lock {
  public:
    void lock() { mutex.lock(); }
    void unlock() { mutex.unlock(); }
    bool try_lock() { return mutex.try_lock(); }

  private:
    std::mutex mutex;
};

}  // namespace platform
