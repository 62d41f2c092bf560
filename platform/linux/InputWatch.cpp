#include "platform/InputWatch.h"

#include <sched.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

// One epoll set shared by every waiting thread, and at most one of them asleep in it: the watcher. The
// others that find nothing ready park on a condition variable until the role is theirs. So a socket's
// input wakes at most one thread, and a thread that comes back to wait while sockets are ready takes the
// next one without going to sleep. Were every idle thread asleep in the set, each arrival would wake one
// of them even while the busy ones were about to come back for it, and nearly every answer would end
// with its thread going back to sleep and another being woken for the next: more work than the answer.
// A watcher that leaves, with a socket or at its time limit, hands the role on to a parked thread, so
// the set is watched whenever a thread is parked, however long the busy ones take.
// When none is ready, a thread lets the threads that are ready run first and looks once more before it
// sleeps: on a busy machine the clients' next requests often arrive meanwhile.
// Each socket is watched one-shot, so it is reported once. The interruption is an eventfd that stays
// readable while set; it is watched level-triggered, so every watcher sees it in turn, and it wakes the
// parked threads as well.
namespace platform::net {
namespace {

// The interruption's token: callers number their sockets from 0 upwards and never reach it.
constexpr std::uint64_t kInterruptionToken = ~std::uint64_t{0};

using WaitClock = std::chrono::steady_clock;

}  // namespace

struct InputWatch::State {
    int events = -1;
    int interruption = -1;

    std::mutex lock;
    std::condition_variable roleHandedOn;
    bool watched = false;      // guarded by lock: a thread holds the watcher's role, or is about to take it
    int parked = 0;            // guarded by lock: threads waiting for the role
    bool handedOn = false;     // guarded by lock: the role waits for a parked thread to take it
    bool interrupted = false;  // guarded by lock

    ~State() {
        if (events >= 0) {
            close(events);
        }
        if (interruption >= 0) {
            close(interruption);
        }
    }

    // Takes a ready socket's event if there is one within timeoutMilliseconds (negative: no limit).
    bool TakeReady(epoll_event* ready, int timeoutMilliseconds) const {
        for (;;) {
            const int count = epoll_wait(events, ready, 1, timeoutMilliseconds);
            if (count >= 0 || errno != EINTR) {
                return count == 1;
            }
        }
    }

    // Takes the watcher's role: at once when nobody holds it, or else once it is handed on, parked until
    // then. False when the time ran out or the watch was interrupted first. Even an interrupted thread
    // takes a role handed to it, and the set shows it the interruption.
    bool TakeRole(std::unique_lock<std::mutex>& guard, std::optional<WaitClock::time_point> deadline) {
        if (!watched) {
            watched = true;
            return true;
        }
        ++parked;
        const auto roleOrInterruption = [this] { return handedOn || interrupted; };
        if (deadline) {
            roleHandedOn.wait_until(guard, *deadline, roleOrInterruption);
        } else {
            roleHandedOn.wait(guard, roleOrInterruption);
        }
        --parked;
        const bool taken = handedOn;
        handedOn = false;
        return taken;
    }

    // Gives the watcher's role up, to a parked thread if there is one.
    void LeaveRole() {
        if (parked > 0) {
            handedOn = true;
            roleHandedOn.notify_one();
        } else {
            watched = false;
        }
    }
};

std::unique_ptr<InputWatch> InputWatch::Open() {
    auto state = std::make_unique<State>();
    state->events = epoll_create1(EPOLL_CLOEXEC);
    state->interruption = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state->events < 0 || state->interruption < 0) {
        return nullptr;
    }
    epoll_event interest{};
    interest.events = EPOLLIN;
    interest.data.u64 = kInterruptionToken;
    if (epoll_ctl(state->events, EPOLL_CTL_ADD, state->interruption, &interest) != 0) {
        return nullptr;
    }
    return std::unique_ptr<InputWatch>(new InputWatch(std::move(state)));
}

InputWatch::InputWatch(std::unique_ptr<State> state) : state(std::move(state)) {}

InputWatch::~InputWatch() = default;

bool InputWatch::Watch(SocketHandle socket, std::uint64_t token) {
    epoll_event interest{};
    interest.events = EPOLLIN | EPOLLRDHUP | EPOLLONESHOT;
    interest.data.u64 = token;
    return epoll_ctl(state->events, EPOLL_CTL_ADD, static_cast<int>(socket), &interest) == 0;
}

InputWatch::Outcome InputWatch::Wait(std::uint64_t* token, int timeoutMilliseconds) {
    std::optional<WaitClock::time_point> deadline;
    if (timeoutMilliseconds >= 0) {
        deadline = WaitClock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    }
    epoll_event ready{};
    bool taken = state->TakeReady(&ready, 0);
    if (!taken && timeoutMilliseconds != 0) {
        sched_yield();
        taken = state->TakeReady(&ready, 0);
    }
    if (!taken && timeoutMilliseconds != 0) {
        std::unique_lock guard(state->lock);
        if (!state->TakeRole(guard, deadline)) {
            return state->interrupted ? Outcome::Interrupted : Outcome::TimedOut;
        }
        guard.unlock();
        int left = -1;
        if (deadline) {
            const auto rest = std::chrono::ceil<std::chrono::milliseconds>(*deadline - WaitClock::now());
            left = static_cast<int>(std::max<std::chrono::milliseconds::rep>(rest.count(), 0));
        }
        taken = state->TakeReady(&ready, left);
        guard.lock();
        state->LeaveRole();
    }
    if (!taken) {
        return Outcome::TimedOut;
    }
    if (ready.data.u64 == kInterruptionToken) {
        return Outcome::Interrupted;
    }
    *token = ready.data.u64;
    return Outcome::Ready;
}

void InputWatch::SetInterrupted(bool interrupted) {
    if (interrupted) {
        const std::uint64_t one = 1;
        while (write(state->interruption, &one, sizeof one) < 0 && errno == EINTR) {
        }
        std::lock_guard guard(state->lock);
        state->interrupted = true;
        state->roleHandedOn.notify_all();
    } else {
        {
            std::lock_guard guard(state->lock);
            state->interrupted = false;
        }
        std::uint64_t count = 0;
        while (read(state->interruption, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }
}

}  // namespace platform::net
