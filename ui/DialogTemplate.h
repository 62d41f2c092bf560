#pragma once

#include <cstdint>
#include <span>

// A dialog described as data: its caption, style, size and font, and its controls in tab order, every
// position in dialog units (see DialogUnits.h), every text in UTF-8. This is the one description of a
// dialog: each toolkit backend builds its window from it (the Qt backend as widgets, a native backend
// as an in-memory dialog template). Every control is a visible child; the styles below add to that and
// name their native equivalents.

// Control styles, named after what they ask of the control.
namespace control_style {
inline constexpr std::uint32_t kTabStop = 1u << 0;               // WS_TABSTOP
inline constexpr std::uint32_t kGroup = 1u << 1;                 // WS_GROUP: starts a group
inline constexpr std::uint32_t kBorder = 1u << 2;                // WS_BORDER
inline constexpr std::uint32_t kDefaultPushButton = 1u << 3;     // BS_DEFPUSHBUTTON
inline constexpr std::uint32_t kPushButton = 1u << 4;            // BS_PUSHBUTTON
inline constexpr std::uint32_t kAutoCheckBox = 1u << 5;          // BS_AUTOCHECKBOX
inline constexpr std::uint32_t kAutoRadioButton = 1u << 6;       // BS_AUTORADIOBUTTON
inline constexpr std::uint32_t kGroupBox = 1u << 7;              // BS_GROUPBOX
inline constexpr std::uint32_t kAutoHorizontalScroll = 1u << 8;  // ES_AUTOHSCROLL
inline constexpr std::uint32_t kPassword = 1u << 9;              // ES_PASSWORD
inline constexpr std::uint32_t kRightAligned = 1u << 10;         // SS_RIGHT: static text flush right
inline constexpr std::uint32_t kAutoTicks = 1u << 11;            // TBS_AUTOTICKS: a tick at every position
inline constexpr std::uint32_t kTicksTop = 1u << 12;             // TBS_TOP
inline constexpr std::uint32_t kAll = (1u << 13) - 1;
}  // namespace control_style

// Styles of the dialog window itself; every dialog is a popup window with its font set from the template
// (WS_POPUP, DS_SETFONT).
namespace dialog_style {
inline constexpr std::uint32_t kCaption = 1u << 0;      // WS_CAPTION: a title bar
inline constexpr std::uint32_t kSystemMenu = 1u << 1;   // WS_SYSMENU: the window menu and close button
inline constexpr std::uint32_t kMinimizeBox = 1u << 2;  // WS_MINIMIZEBOX
inline constexpr std::uint32_t kModalFrame = 1u << 3;   // DS_MODALFRAME: a fixed-size frame
}  // namespace dialog_style

// Control classes of a template; other names are custom classes registered with the toolkit.
inline constexpr const char* kButtonClass = "Button";
inline constexpr const char* kEditClass = "Edit";
inline constexpr const char* kStaticClass = "Static";
inline constexpr const char* kSliderClass = "msctls_trackbar32";

inline constexpr int kNoControlId = -1;

struct ControlTemplate {
    int id;  // kNoControlId for labels that nothing refers to
    const char* className;
    const char* text;  // UTF-8
    std::uint32_t style;
    int x, y, width, height;  // dialog units
};

struct DialogTemplate {
    const char* caption;     // UTF-8
    std::uint32_t style;     // dialog_style bits
    int width, height;       // client area, dialog units
    const char* fontFamily;  // UTF-8; a backend without this font substitutes its closest one
    int fontPointSize;
    std::span<const ControlTemplate> controls;
};
