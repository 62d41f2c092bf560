#include "ui/win32/WindowsApi.h"

#include <chrono>

#include "platform/Locations.h"
#include "service/CaptureService.h"
#include "service/Shutdown.h"
#include "ui/ControlPanel.h"
#include "ui/ControlPanelTemplate.h"
#include "ui/LinkState.h"
#include "ui/win32/Win32DialogToolkit.h"
#include "ui/win32/Win32LinkClass.h"

namespace {
// How long running requests may take to finish once the panel has closed.
constexpr std::chrono::seconds kShutdownWait{3};
}  // namespace

// The command line is not read.
int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
    const FileLocations locations = platform::LocateFiles();
    CaptureService service(locations);
    Win32LinkClass linkClass;
    ControlPanel panel(service, linkClass, locations);
    Win32DialogToolkit toolkit;

    service.StartWinsock(1, 1);
    linkClass.Register(kLinkClassName);
    service.SetStatusSink(&panel);
    panel.RunModal(toolkit, ControlPanelTemplate(), 0);

    // Closing the panel leaves the service running. Stop it and let running requests finish before the
    // panel and the service go.
    ShutDownWithin(service, kShutdownWait, "qvserver");
    service.SetStatusSink(nullptr);
    service.CleanupWinsock();
    return 0;
}
