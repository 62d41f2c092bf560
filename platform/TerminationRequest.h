#pragma once

// The requests to end a program that runs without a window: Ctrl+C in its terminal, its terminal
// closing, or the system's polite stop (on Linux SIGINT, SIGHUP and SIGTERM). For a process's main thread
// only.

namespace platform {

// Holds the requests back from every thread the process will start. Call first thing in main, before
// any thread exists: threads inherit it.
void HoldTerminationRequests();
// Waits until a held request arrives; returns its number (for example SIGTERM on Linux).
int WaitForTerminationRequest();

}  // namespace platform
