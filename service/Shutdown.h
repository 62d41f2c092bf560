#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "service/CaptureService.h"

// Stops the service and lets running requests finish, for at most grace; called by a program's main as it
// ends. A request still running after that would hold the service's destruction for ever, or touch objects
// already destroyed: the process then ends at once, without destructors, with one line on stderr and exit
// status 1. Returns only when the service stopped in time.
inline void ShutDownWithin(CaptureService& service, std::chrono::milliseconds grace,
                           const char* programName) {
    if (!service.StopAndWait(grace)) {
        std::fprintf(stderr, "%s: requests still running after %lld ms; ending them\n", programName,
                     static_cast<long long>(grace.count()));
        std::fflush(stderr);
        std::_Exit(EXIT_FAILURE);
    }
}
