#pragma once

#include <cstdint>

// The messages that travel between a dialog, its controls and its handler. A message carries two
// integers: wParam and lParam. Window references travel in them as MessageTarget addresses.

// Something that receives messages synchronously on the GUI thread: a dialog window or a link control.
class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    virtual std::intptr_t Deliver(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

inline std::uintptr_t TargetParam(MessageTarget* target) { return reinterpret_cast<std::uintptr_t>(target); }
inline MessageTarget* TargetFromParam(std::uintptr_t param) { return reinterpret_cast<MessageTarget*>(param); }

namespace message {

inline constexpr unsigned kDestroy = 2;  // the window is about to be torn down; the last message
inline constexpr unsigned kSetFont = 48;  // sent before kInitDialog; never reaches a handler
inline constexpr unsigned kInitDialog = 272;  // lParam: the value given to RunModal's toolkit
inline constexpr unsigned kCommand = 273;  // low word of wParam: the command id
inline constexpr unsigned kHorizontalScroll = 276;  // a slider moved; wParam: position << 16
// Posted from any thread by DialogBackend::PostWorkerNotify; the handler collects what was queued.
inline constexpr unsigned kWorkerNotify = 0x8001;

}  // namespace message

inline int CommandId(std::uintptr_t wParam) { return static_cast<int>(wParam & 0xFFFF); }

// Command ids of a dialog's default and cancel buttons; Esc and the title bar's close button give IDCANCEL.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Messages of the link control: the first three go to a link, LCM_NOTIFY also comes back from it when it
// is clicked, with wParam the link itself and lParam the id it was given.
inline constexpr unsigned LCM_ALIGNLEFT = 1034;
inline constexpr unsigned LCM_ALIGNRIGHT = 1035;
inline constexpr unsigned LCM_NOTIFY = 1223;
