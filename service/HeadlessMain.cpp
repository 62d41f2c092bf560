// qvserver-headless: serves the screen without a control panel. Settings come from current.ini next to
// the executable (never written back); the service runs until SIGINT or SIGTERM.

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/Files.h"
#include "platform/TerminationRequest.h"
#include "service/CaptureService.h"
#include "service/HeadlessSettings.h"
#include "service/SettingsKeys.h"
#include "service/Shutdown.h"

namespace {
// Requests still running at a stop get this long to finish.
constexpr std::chrono::seconds kStopGrace{5};
constexpr std::uint8_t kNetworkingMajor = 1;
constexpr std::uint8_t kNetworkingMinor = 1;
}  // namespace

int main() {
    // Before any thread exists, so that only the wait below ever sees a termination request.
    platform::HoldTerminationRequests();

    CaptureService service(platform::files::ExecutablePath(kMaxPath));
    char settingsPath[kMaxPath];
    service.WorkingFilePath(settingsPath, settings::kCurrentFileName);
    headless::ShowStartupPicture(service);
    const int port = headless::LoadSettingsIntoService(service, settingsPath);

    service.StartWinsock(kNetworkingMajor, kNetworkingMinor);
    if (service.Start(port) != StartResult::Started) {
        std::fprintf(stderr, "qvserver-headless: cannot serve on port %d\n", port);
        return 1;
    }
    platform::WaitForTerminationRequest();
    ShutDownWithin(service, kStopGrace, "qvserver-headless");
    service.CleanupWinsock();
    return EXIT_SUCCESS;
}
