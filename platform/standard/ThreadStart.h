#pragma once

// What a backend adds to the threads that platform/standard/Thread.cpp starts with the standard library:
// the process's preparation before its first thread, and a thread's own priority.

#include "platform/Thread.h"

namespace platform::backend {

// Called before every thread start; does its work once.
void PrepareForThreads();
// Called on the new thread itself, before its work begins. A priority the process may not take is left
// as the thread was created.
void TakeThreadPriority(ThreadPriority priority);
// Called on a new detached thread before its work begins: the scheduling that suits many threads that
// each serve short requests and then wait.
void TakeServingScheduling();

}  // namespace platform::backend
