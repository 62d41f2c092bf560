#include "platform/TerminationRequest.h"

#include <pthread.h>
#include <signal.h>

namespace platform {

namespace {
sigset_t TerminationSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // The terminal went away (or a service manager asks politely in its own way): end as for SIGTERM.
    sigaddset(&signals, SIGHUP);
    return signals;
}
}  // namespace

void HoldTerminationRequests() {
    const sigset_t signals = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

int WaitForTerminationRequest() {
    const sigset_t signals = TerminationSignals();
    int received = 0;
    while (sigwait(&signals, &received) != 0) {
    }
    return received;
}

}  // namespace platform
