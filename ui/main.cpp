#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/Locations.h"
#include "service/CaptureService.h"
#include "service/Shutdown.h"
#include "ui/ControlPanel.h"
#include "ui/ControlPanelTemplate.h"
#include "ui/LinkState.h"
#include "ui/qt/CloseOnSignals.h"
#include "ui/qt/LinkControlClass.h"
#include "ui/qt/ProgramIcon.h"
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
    QApplication::setWindowIcon(ProgramIcon());
    QApplication::setDesktopFileName(QStringLiteral("qvserver"));

    const FileLocations locations = platform::LocateFiles();
    CaptureService service(locations);
    LinkControlClass linkClass;
    ControlPanel panel(service, linkClass, locations);
    QtDialogToolkit toolkit;

    service.StartWinsock(1, 1);
    linkClass.Register(toolkit, kLinkClassName);
    service.SetStatusSink(&panel);
    // Logout, Ctrl-C and kill close the panel as Esc does: settings saved, snapshot removed.
    const std::unique_ptr<CloseOnSignals> closeOnSignals = CloseOnSignals::Install(toolkit);
    panel.RunModal(toolkit, ControlPanelTemplate(), 0);

    // Closing the panel leaves the service running. Stop it and let running requests finish before the
    // panel and the service go.
    ShutDownWithin(service, kShutdownWait, "qvserver");
    service.SetStatusSink(nullptr);
    service.CleanupWinsock();
    return 0;
}
