// qvserver-headless: serves the screen without a control panel. Settings come from current.ini next to
// the executable (never written back); the service runs until SIGINT or SIGTERM.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Files.h"
#include "platform/ScreenBackend.h"
#include "platform/TerminationRequest.h"
#include "service/CaptureService.h"
#include "service/HeadlessSettings.h"
#include "service/SettingsKeys.h"

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

    // A session nothing can capture would be served as the start-up picture for ever.
    if (const std::string problem = platform::ScreenCaptureProblem(); !problem.empty()) {
        std::fprintf(stderr, "qvserver-headless: %s\n", problem.c_str());
        return 1;
    }
    service.StartWinsock(kNetworkingMajor, kNetworkingMinor);
    if (service.Start(port) != StartResult::Started) {
        std::fprintf(stderr, "qvserver-headless: cannot serve on port %d\n", port);
        return 1;
    }
    platform::WaitForTerminationRequest();
    if (!service.StopAndWait(kStopGrace)) {
        // A request that is still stuck would hold the service's destruction for ever.
        std::fprintf(stderr, "qvserver-headless: requests still running after %lld s; ending them\n",
                     static_cast<long long>(kStopGrace.count()));
        std::_Exit(EXIT_FAILURE);
    }
    service.CleanupWinsock();
    return EXIT_SUCCESS;
}
