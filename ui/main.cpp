#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <string>

#include "common/ModulePath.h"
#include "platform/Files.h"
#include "service/CaptureService.h"
#include "service/Shutdown.h"
#include "ui/ControlPanel.h"
#include "ui/ControlPanelTemplate.h"
#include "ui/LinkState.h"
#include "ui/qt/LinkControlClass.h"
#include "ui/qt/QtDialogToolkit.h"

namespace {
// How long running requests may take to finish once the panel has closed.
constexpr std::chrono::seconds kShutdownWait{3};
}  // namespace

// The command line is not read: Qt sees only the program's name.
int main(int /*argc*/, char** /*argv*/) {
    char programName[] = "qvserver";
    char* qtArguments[] = {programName, nullptr};
    int qtArgumentCount = 1;
    QApplication application(qtArgumentCount, qtArguments);

    const std::string executablePath = platform::files::ExecutablePath(kMaxPath);
    CaptureService service(executablePath);
    LinkControlClass linkClass;
    ControlPanel panel(service, linkClass, executablePath);
    QtDialogToolkit toolkit;

    service.StartWinsock(1, 1);
    linkClass.Register(toolkit, kLinkClassName);
    service.SetStatusSink(&panel);
    panel.RunModal(toolkit, ControlPanelTemplate(), 0);

    // Closing the panel leaves the service running. Stop it and let running requests finish before the
    // panel and the service go.
    ShutDownWithin(service, kShutdownWait, "qvserver");
    service.SetStatusSink(nullptr);
    service.CleanupWinsock();
    return 0;
}
