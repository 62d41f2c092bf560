#include "platform/TerminationRequest.h"

#include <windows.h>

#include <atomic>

namespace platform {
namespace {

// Set by the console's control handler, which the system runs on a thread of its own.
HANDLE requestArrived = nullptr;
std::atomic<int> requestType{-1};

BOOL WINAPI OnConsoleControl(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            requestType = static_cast<int>(type);
            SetEvent(requestArrived);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            // The process ends as soon as this handler returns: hold it here while the main thread stops
            // the service; the process ends when main returns.
            requestType = static_cast<int>(type);
            SetEvent(requestArrived);
            Sleep(INFINITE);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void HoldTerminationRequests() {
    if (requestArrived == nullptr) {
        requestArrived = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(OnConsoleControl, TRUE);
        // The program's texts are UTF-8 (paths with folders of any language among them): the console
        // shows them as such. Without a console (output redirected) this does nothing.
        SetConsoleOutputCP(CP_UTF8);
    }
}

int WaitForTerminationRequest() {
    WaitForSingleObject(requestArrived, INFINITE);
    return requestType.load();
}

}  // namespace platform
