#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "ui/DialogMessages.h"
#include "ui/DialogTemplate.h"

class ModalDialog;
// A font of a dialog's toolkit; only the toolkit looks inside.
struct DialogFont;

// One pair of a file chooser's filter list: the text shown and its patterns, separated by ';'.
struct FileFilter {
    const char* display;
    const char* pattern;
};

enum class MessageIcon { None, Warning };
enum class MessageBoxOwner { None, Dialog };

// One live dialog window of a toolkit, seen by control id. Everything here runs on the GUI thread except
// PostWorkerNotify. Texts are UTF-8. Calls naming an id the dialog does not have do nothing and return
// false, 0 or an empty text.
class DialogBackend : public MessageTarget {
  public:
    // The slot that links the window to its ModalDialog, empty until the init message.
    virtual ModalDialog* Owner() const = 0;
    virtual void SetOwner(ModalDialog* owner) = 0;

    virtual int IsChecked(int id) const = 0;  // 0 cleared, 1 checked
    virtual void SetChecked(int id, int state) = 0;
    virtual bool SetItemText(int id, const std::string& text) = 0;
    virtual std::string ItemText(int id) const = 0;
    virtual bool EnableItem(int id, bool enable) = 0;

    virtual void SetSliderRange(int id, int minimum, int maximum) = 0;
    // The slider keeps the position within its range; setting it sends no scroll message.
    virtual void SetSliderPosition(int id, int position) = 0;
    virtual int SliderPosition(int id) const = 0;

    // Sends a message to a link; false when the control is no link.
    virtual bool SendItemMessage(int id, const LinkMessage& message) = 0;
    virtual const DialogFont* ItemFont(int id) const = 0;

    // A status bar along the bottom edge whose panes end at the given distances from the left, in pixels.
    virtual bool CreateStatusBar(int id, std::span<const int> paneRightEdges) = 0;
    virtual bool SetStatusText(int id, int pane, const std::string& text) = 0;

    // An owned box blocks the dialog until it is dismissed; a box without owner leaves the dialog usable.
    virtual int ShowMessageBox(MessageBoxOwner owner, const std::string& text, const std::string& caption,
                               MessageIcon icon) = 0;
    // The toolkit's file-open dialog for an existing file, owned by this dialog. On entry buffer names the
    // file offered first; on success it holds the chosen path. False on cancel, on failure and when the
    // path does not fit buffer (buffer is then unchanged).
    virtual bool ChooseOpenFile(char* buffer, std::size_t size, const std::string& title,
                                std::span<const FileFilter> filters) = 0;

    // Ends the modal loop; RunModal returns result.
    virtual void EndDialog(int result) = 0;
    // Queues a command message that the handler receives after the message in progress.
    virtual void PostCommand(int id) = 0;
    // Callable from any thread; never waits for the GUI thread. The handler receives one WorkerNotify
    // message later, unless the window is gone by then. The backend may hold an ordinary
    // notify back to bound how often the widgets change; an urgent one is delivered as soon as the GUI
    // thread gets to it.
    virtual void PostWorkerNotify(bool urgent) = 0;
};

// What the dialog procedure is: the toolkit hands every message of a dialog window to it.
using DialogProcedure = int (*)(DialogBackend& window, const DialogMessage& message);

// Runs dialogs from templates. RunDialog creates the window, sends SetFont and then InitDialog{dialog}
// to the procedure, runs the modal loop and returns the value given to EndDialog, or -1 when the dialog
// could not be created (a control of an unregistered class). Destroy is the last message before the
// window goes; once the dialog has ended, no other message reaches the procedure.
class DialogToolkit {
  public:
    virtual ~DialogToolkit() = default;
    virtual int RunDialog(const DialogTemplate& dialogTemplate, DialogProcedure procedure,
                          ModalDialog* dialog) = 0;
};
