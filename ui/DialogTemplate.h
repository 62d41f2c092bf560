#pragma once

#include <cstdint>
#include <span>

// A dialog described as data: its caption, size and font, and its controls in tab order, every position
// in dialog units (see DialogUnits.h). A toolkit backend turns it into a window.

// Control styles, named after what they ask of the control.
namespace control_style {
inline constexpr std::uint32_t kTabStop = 1u << 0;
inline constexpr std::uint32_t kGroup = 1u << 1;  // starts a group (radio buttons are exclusive within one)
inline constexpr std::uint32_t kBorder = 1u << 2;
inline constexpr std::uint32_t kDefaultPushButton = 1u << 3;
inline constexpr std::uint32_t kPushButton = 1u << 4;
inline constexpr std::uint32_t kAutoCheckBox = 1u << 5;
inline constexpr std::uint32_t kAutoRadioButton = 1u << 6;
inline constexpr std::uint32_t kGroupBox = 1u << 7;
inline constexpr std::uint32_t kAutoHorizontalScroll = 1u << 8;
inline constexpr std::uint32_t kPassword = 1u << 9;
inline constexpr std::uint32_t kRightAligned = 1u << 10;  // static text flush right
inline constexpr std::uint32_t kAutoTicks = 1u << 11;  // slider: a tick at every position
inline constexpr std::uint32_t kTicksTop = 1u << 12;
}  // namespace control_style

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
    const char* caption;
    int width, height;  // client area, dialog units
    const char* fontFamily;
    int fontPointSize;
    std::span<const ControlTemplate> controls;
};
