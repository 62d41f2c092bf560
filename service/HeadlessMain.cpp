// qvserver-headless: serves the screen without a control panel. Settings come from current.ini (beside
// the executable, or in the user's settings folder when installed), or the file given with --config; they
// are never written back. The service runs until SIGINT, SIGTERM or SIGHUP.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/LocalAddresses.h"
#include "platform/Locations.h"
#include "platform/ProgramArguments.h"
#include "platform/ScreenBackend.h"
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
constexpr const char* kProgram = "qvserver-headless";
constexpr const char* kVersion = "0.2";

enum ExitCode { kExitDone = 0, kExitCannotServe = 1, kExitBadSettings = 2 };

void PrintHelp() {
    std::printf(
        "Usage: %s [--config FILE]\n"
        "Serves a live picture of this machine's screen over HTTP, without a window.\n"
        "\n"
        "  --config FILE  read the settings from FILE (default: current.ini beside the program);\n"
        "                 the file is never written\n"
        "  --help         show this text and exit\n"
        "  --version      show the version and exit\n"
        "\n"
        "Runs until interrupted (Ctrl+C), its terminal closes, or it receives SIGTERM.\n"
        "\n"
        "Exit status:\n"
        "  0  ended on request\n"
        "  1  could not serve on the port, or requests did not end in time at the stop\n"
        "  2  a setting or an argument is not accepted (said on standard error)\n",
        kProgram);
}

// Says on standard error when captures start failing and when they work again, once each time.
class CaptureReporter {
  public:
    void Heard(imaging::CaptureResult result) {
        const bool failed = result == imaging::CaptureResult::NothingToCapture ||
                            result == imaging::CaptureResult::ThreadFailed;
        if (failed && !failing) {
            std::fprintf(stderr,
                         "%s: cannot capture the screen (the display cannot be opened or shows nothing); "
                         "serving the last picture\n",
                         kProgram);
        } else if (!failed && failing) {
            std::fprintf(stderr, "%s: capturing the screen again\n", kProgram);
        }
        failing = failed;
    }

  private:
    bool failing = false;  // guarded by the service's capture lock, under which it is called
};

void PrintWhereItServes(const CaptureService& service, const std::string& settingsPath, int port) {
    for (const std::string& address : platform::LocalIpv4Addresses()) {
        std::printf("serving http://%s:%d/\n", address.c_str(), port);
    }
    const std::string logPath = service.WorkingFilePath(pages::kLogFileName);
    const std::string snapshotPath = service.WorkingFilePath(pages::kSnapshotFileName);
    const std::string pagePath = service.WorkingFilePath(pages::kTemplateFileName);
    std::printf("settings %s\nlog %s\npicture %s\npage template %s\n", settingsPath.c_str(), logPath.c_str(),
                snapshotPath.c_str(), pagePath.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = platform::ProgramArguments(argc, argv);
    std::string settingsPath;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--help" || argument == "-h") {
            PrintHelp();
            return kExitDone;
        }
        if (argument == "--version") {
            std::printf("%s %s\n", kProgram, kVersion);
            return kExitDone;
        }
        if (argument == "--config" && index + 1 < arguments.size()) {
            settingsPath = arguments[++index];
            continue;
        }
        std::fprintf(stderr, "%s: unknown argument '%s' (try --help)\n", kProgram, argument.c_str());
        return kExitBadSettings;
    }

    // Before any thread exists, so that only the wait below ever sees a termination request.
    platform::HoldTerminationRequests();

    CaptureService service(platform::LocateFiles());
    if (settingsPath.empty()) {
        settingsPath = service.WorkingFilePath(settings::kCurrentFileName);
    }
    const headless::LoadedSettings loaded = headless::LoadSettings(settingsPath.c_str());
    if (!loaded.settings) {
        std::fprintf(stderr, "%s: %s\n", kProgram, loaded.error.c_str());
        return kExitBadSettings;
    }
    for (const std::string& note : loaded.notes) {
        std::fprintf(stderr, "%s: %s\n", kProgram, note.c_str());
    }
    const Settings& settings = *loaded.settings;

    // A session nothing can capture would be served as the start-up picture for ever.
    if (const std::string problem = platform::ScreenCaptureProblem(); !problem.empty()) {
        std::fprintf(stderr, "%s: %s\n", kProgram, problem.c_str());
        return kExitCannotServe;
    }
    service.ShowStartupPicture();
    CaptureReporter reporter;
    service.SetCaptureObserver([&reporter](imaging::CaptureResult result) { reporter.Heard(result); });
    service.StartWinsock(kNetworkingMajor, kNetworkingMinor);
    if (service.Start(settings) != StartResult::Started) {
        std::fprintf(stderr, "%s: cannot serve on port %d\n", kProgram, settings.port);
        return kExitCannotServe;
    }
    PrintWhereItServes(service, settingsPath, settings.port);

    platform::WaitForTerminationRequest();
    ShutDownWithin(service, kStopGrace, kProgram);
    service.CleanupWinsock();
    return kExitDone;
}
