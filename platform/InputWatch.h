#pragma once

// Connections waiting for their first input, shared by a pool of threads. Each socket handed to Watch
// is reported once, to exactly one thread in Wait, by the token it was watched with: as soon as input,
// its end or a failure is there. A backend that cannot watch sockets cheaply may report a token at once;
// the thread that receives it then waits for the input in its own read. So a token says "serve this
// connection now", never "its input is complete".
//
// Any thread may watch or wait, many at once. Closing a watched socket is allowed; its token may still
// be reported afterwards, so tokens must be checked against the caller's own records.

#include <cstdint>
#include <memory>

#include "platform/Network.h"

namespace platform::net {

class InputWatch {
  public:
    // Null when the system refuses the resources a watch needs.
    static std::unique_ptr<InputWatch> Open();
    ~InputWatch();
    InputWatch(const InputWatch&) = delete;
    InputWatch& operator=(const InputWatch&) = delete;

    // Watches the socket until its input is there. False when it cannot be watched: its token never comes.
    bool Watch(SocketHandle socket, std::uint64_t token);

    enum class Outcome { Ready, TimedOut, Interrupted };
    // Waits at most timeoutMilliseconds for a token: Ready with the token stored, TimedOut, or Interrupted
    // while the watch is interrupted.
    Outcome Wait(std::uint64_t* token, int timeoutMilliseconds);
    // While set, every Wait returns Interrupted at once, those already waiting included.
    void SetInterrupted(bool interrupted);

    struct State;

  private:
    explicit InputWatch(std::unique_ptr<State> state);
    std::unique_ptr<State> state;
};

}  // namespace platform::net
