#include "ui/qt/CloseOnSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>

#include "ui/qt/QtDialogToolkit.h"

namespace {

// Where the handler writes; -1 while no object is installed.
std::atomic<int> signalWriteEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads it");

// Async-signal-safe: one write to a non-blocking pipe. A full pipe drops the byte, which is fine: the
// reader has news waiting already.
extern "C" void WriteSignalNumber(int number) {
    const int savedErrno = errno;
    const int descriptor = signalWriteEnd.load(std::memory_order_relaxed);
    if (descriptor >= 0) {
        const auto byte = static_cast<unsigned char>(number);
        [[maybe_unused]] const ssize_t written = write(descriptor, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

std::unique_ptr<CloseOnSignals> CloseOnSignals::Install(QtDialogToolkit& toolkit) {
    if (signalWriteEnd.load() >= 0) {
        return nullptr;
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return nullptr;
    }
    return std::unique_ptr<CloseOnSignals>(new CloseOnSignals(toolkit, ends[0], ends[1]));
}

CloseOnSignals::CloseOnSignals(QtDialogToolkit& toolkit, int readEnd, int writeEnd)
    : toolkit(toolkit),
      readEnd(readEnd),
      writeEnd(writeEnd),
      notifier(new QSocketNotifier(readEnd, QSocketNotifier::Read, this)) {
    connect(notifier, &QSocketNotifier::activated, this, &CloseOnSignals::Drain);
    signalWriteEnd.store(writeEnd);
    struct sigaction action = {};
    action.sa_handler = WriteSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int index = 0; index < kSignalCount; ++index) {
        sigaction(kSignals[index], &action, &previous[index]);
    }
}

CloseOnSignals::~CloseOnSignals() {
    for (int index = 0; index < kSignalCount; ++index) {
        sigaction(kSignals[index], &previous[index], nullptr);
    }
    signalWriteEnd.store(-1);
    notifier->setEnabled(false);
    close(readEnd);
    close(writeEnd);
}

void CloseOnSignals::Drain() {
    unsigned char numbers[16];
    bool any = false;
    while (read(readEnd, numbers, sizeof numbers) > 0) {
        any = true;
    }
    if (any) {
        toolkit.CloseRunningDialog();
    }
}
