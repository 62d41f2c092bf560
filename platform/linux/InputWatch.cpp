#include "platform/InputWatch.h"

#include <sched.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

// One epoll set shared by every waiting thread. The kernel wakes one waiter per ready socket, and a
// thread that comes back to wait while sockets are ready takes the next one without going to sleep. When
// none is ready, a waiter lets the threads that are ready run first and looks once more before it
// sleeps: on a busy machine the clients' next requests often arrive meanwhile, and a sleep with its
// wake-up costs more than the look.
// Each socket is watched one-shot, so it is reported once. The interruption is an eventfd that stays
// readable while set; it is watched level-triggered, so every waiter sees it in turn.
namespace platform::net {
namespace {

// The interruption's token: callers number their sockets from 0 upwards and never reach it.
constexpr std::uint64_t kInterruptionToken = ~std::uint64_t{0};

}  // namespace

struct InputWatch::State {
    int events = -1;
    int interruption = -1;

    ~State() {
        if (events >= 0) {
            close(events);
        }
        if (interruption >= 0) {
            close(interruption);
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
    epoll_event ready{};
    bool yielded = timeoutMilliseconds == 0;
    for (;;) {
        const int count = epoll_wait(state->events, &ready, 1, yielded ? timeoutMilliseconds : 0);
        if (count == 1) {
            break;
        }
        if (count == 0 && !yielded) {
            yielded = true;
            sched_yield();
            continue;
        }
        if (count == 0) {
            return Outcome::TimedOut;
        }
        if (errno != EINTR) {
            return Outcome::TimedOut;
        }
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
    } else {
        std::uint64_t count = 0;
        while (read(state->interruption, &count, sizeof count) < 0 && errno == EINTR) {
        }
    }
}

}  // namespace platform::net
