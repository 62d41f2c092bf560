#include "platform/InputWatch.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

// Windows has no readiness set that many threads can wait on together, so each token is reported at
// once, in the order the sockets were watched, and the thread that receives it waits for the input in
// its own read.
namespace platform::net {

struct InputWatch::State {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::uint64_t> tokens;  // guarded by lock
    bool interrupted = false;          // guarded by lock
};

std::unique_ptr<InputWatch> InputWatch::Open() {
    return std::unique_ptr<InputWatch>(new InputWatch(std::make_unique<State>()));
}

InputWatch::InputWatch(std::unique_ptr<State> state) : state(std::move(state)) {}

InputWatch::~InputWatch() = default;

bool InputWatch::Watch(SocketHandle, std::uint64_t token) {
    std::lock_guard guard(state->lock);
    state->tokens.push_back(token);
    state->changed.notify_one();
    return true;
}

InputWatch::Outcome InputWatch::Wait(std::uint64_t* token, int timeoutMilliseconds) {
    std::unique_lock guard(state->lock);
    const auto ready = [this] { return state->interrupted || !state->tokens.empty(); };
    if (timeoutMilliseconds < 0) {
        state->changed.wait(guard, ready);
    } else if (!state->changed.wait_for(guard, std::chrono::milliseconds(timeoutMilliseconds), ready)) {
        return Outcome::TimedOut;
    }
    if (state->interrupted) {
        return Outcome::Interrupted;
    }
    *token = state->tokens.front();
    state->tokens.pop_front();
    return Outcome::Ready;
}

void InputWatch::SetInterrupted(bool interrupted) {
    std::lock_guard guard(state->lock);
    state->interrupted = interrupted;
    state->changed.notify_all();
}

}  // namespace platform::net
