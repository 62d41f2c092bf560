#pragma once

#include <variant>

// The messages that travel between a dialog window, its controls and its handler, each a small struct
// with typed fields. Every message keeps the number of the native dialog manager's message it stands
// for (kId), so a backend on that manager maps them one to one; the Qt backend makes them from its
// widgets' signals. All of them are delivered synchronously on the GUI thread.

class ModalDialog;
class MessageTarget;

// Command ids of a dialog's default and cancel buttons; Esc and the title bar's close button give IDCANCEL.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

enum class DialogMessageId : unsigned {
    Destroy = 2,             // WM_DESTROY
    SetFont = 48,            // WM_SETFONT
    InitDialog = 272,        // WM_INITDIALOG
    Command = 273,           // WM_COMMAND
    HorizontalScroll = 276,  // WM_HSCROLL
    LinkClicked = 1223,      // LCM_NOTIFY, from a link to its notify window
    WorkerNotify = 0x8001,   // WM_APP + 1, posted
};

namespace dialog_message {

// Sent before InitDialog; it never reaches a handler.
struct SetFont {
    static constexpr DialogMessageId kId = DialogMessageId::SetFont;
};

// The first message a handler sees. dialog: the object given to ModalDialog::RunModal.
struct InitDialog {
    static constexpr DialogMessageId kId = DialogMessageId::InitDialog;
    ModalDialog* dialog;
};

// A button was pressed, Enter pressed the default button (IDOK), Esc or the title bar's close button
// asked to close (IDCANCEL), or the handler posted the command to itself.
struct Command {
    static constexpr DialogMessageId kId = DialogMessageId::Command;
    int id;
};

// The slider with this id moved, by the user; the handler reads the new position from the window.
struct HorizontalScroll {
    static constexpr DialogMessageId kId = DialogMessageId::HorizontalScroll;
    int id;
};

// A link that was told to notify this window was clicked; notifyId is the id it was given.
struct LinkClicked {
    static constexpr DialogMessageId kId = DialogMessageId::LinkClicked;
    int notifyId;
};

// News queued by another thread through DialogBackend::PostWorkerNotify is waiting to be collected.
struct WorkerNotify {
    static constexpr DialogMessageId kId = DialogMessageId::WorkerNotify;
};

// The window is about to be torn down; the last message.
struct Destroy {
    static constexpr DialogMessageId kId = DialogMessageId::Destroy;
};

}  // namespace dialog_message

using DialogMessage =
    std::variant<dialog_message::SetFont, dialog_message::InitDialog, dialog_message::Command,
                 dialog_message::HorizontalScroll, dialog_message::LinkClicked, dialog_message::WorkerNotify,
                 dialog_message::Destroy>;

inline DialogMessageId IdOf(const DialogMessage& message) {
    return std::visit([](const auto& typed) { return typed.kId; }, message);
}

// Handlers for std::visit, one per message type; a generic lambda catches the rest:
//   std::visit(MessageHandlers{[](const dialog_message::Command& c) {...}, [](const auto&) {}}, message);
template <typename... Handlers>
struct MessageHandlers : Handlers... {
    using Handlers::operator()...;
};

// The Command in message; null for every other message.
inline const dialog_message::Command* AsCommand(const DialogMessage& message) {
    return std::get_if<dialog_message::Command>(&message);
}

// Something that receives dialog messages synchronously on the GUI thread: a dialog window.
class MessageTarget {
  public:
    virtual ~MessageTarget() = default;
    virtual int Deliver(const DialogMessage& message) = 0;
};

// Messages of the link control, sent to a link by its dialog.
enum class LinkMessageId : unsigned {
    AlignLeft = 1034,   // LCM_ALIGNLEFT
    AlignRight = 1035,  // LCM_ALIGNRIGHT
    SetNotify = 1223,   // LCM_NOTIFY, to a link
};

namespace link_message {

struct AlignLeft {
    static constexpr LinkMessageId kId = LinkMessageId::AlignLeft;
};

struct AlignRight {
    static constexpr LinkMessageId kId = LinkMessageId::AlignRight;
};

// From now on a click sends LinkClicked{notifyId} to window; with no window a click opens the link's
// target instead.
struct SetNotify {
    static constexpr LinkMessageId kId = LinkMessageId::SetNotify;
    MessageTarget* window;
    int notifyId;
};

}  // namespace link_message

using LinkMessage = std::variant<link_message::AlignLeft, link_message::AlignRight, link_message::SetNotify>;

inline LinkMessageId IdOf(const LinkMessage& message) {
    return std::visit([](const auto& typed) { return typed.kId; }, message);
}
