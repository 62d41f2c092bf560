#pragma once

#include <QObject>
#include <csignal>
#include <memory>

class QSocketNotifier;
class QtDialogToolkit;

// SIGTERM, SIGINT and SIGHUP (logout, Ctrl-C, kill) close the running dialog as Esc does, so the
// control panel saves its settings and removes the snapshot before the program ends. The handler only
// writes the signal's number into a pipe; the GUI thread reads it through a socket notifier and asks
// the toolkit to close. One object at a time; it puts the previous handlers back when it goes.
class CloseOnSignals final : public QObject {
    Q_OBJECT

  public:
    // Null when the pipe cannot be made or another object is installed; the signals then keep their
    // previous handlers.
    static std::unique_ptr<CloseOnSignals> Install(QtDialogToolkit& toolkit);
    ~CloseOnSignals() override;

  private:
    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
    static constexpr int kSignalCount = 3;

    CloseOnSignals(QtDialogToolkit& toolkit, int readEnd, int writeEnd);
    void Drain();

    QtDialogToolkit& toolkit;
    int readEnd;
    int writeEnd;
    QSocketNotifier* notifier;  // child, owned by Qt
    struct sigaction previous[kSignalCount] = {};
};
