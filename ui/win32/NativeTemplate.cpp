#include "ui/win32/NativeTemplate.h"

#include <commctrl.h>

#include <cstring>

#include "ui/win32/WideText.h"

namespace {

using namespace control_style;

constexpr WORD kTemplateVersion = 1;
constexpr WORD kExtendedSignature = 0xFFFF;
constexpr WORD kAtomFollows = 0xFFFF;

struct StyleBit {
    std::uint32_t bit;
    DWORD native;
};

constexpr StyleBit kControlStyles[] = {
    {kTabStop, WS_TABSTOP},
    {kGroup, WS_GROUP},
    {kBorder, WS_BORDER},
    {kDefaultPushButton, BS_DEFPUSHBUTTON},
    {kPushButton, BS_PUSHBUTTON},
    {kAutoCheckBox, BS_AUTOCHECKBOX},
    {kAutoRadioButton, BS_AUTORADIOBUTTON},
    {kGroupBox, BS_GROUPBOX},
    {kAutoHorizontalScroll, ES_AUTOHSCROLL},
    {kPassword, ES_PASSWORD},
    {kRightAligned, SS_RIGHT},
    {kAutoTicks, TBS_AUTOTICKS},
    {kTicksTop, TBS_TOP},
};

constexpr StyleBit kDialogStyles[] = {
    {dialog_style::kCaption, WS_CAPTION},
    {dialog_style::kSystemMenu, WS_SYSMENU},
    {dialog_style::kMinimizeBox, WS_MINIMIZEBOX},
    {dialog_style::kModalFrame, DS_MODALFRAME},
};

// The atoms of the predefined classes a template may name by number.
struct ClassAtom {
    const char* name;
    WORD atom;
};
constexpr ClassAtom kClassAtoms[] = {{kButtonClass, 0x0080}, {kEditClass, 0x0081}, {kStaticClass, 0x0082}};

}  // namespace

DWORD NativeControlStyle(const ControlTemplate& control) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    for (const StyleBit& bit : kControlStyles) {
        if ((control.style & bit.bit) != 0) {
            style |= bit.native;
        }
    }
    return style;
}

DWORD NativeDialogStyle(std::uint32_t style) {
    DWORD native = WS_POPUP | DS_SETFONT;
    for (const StyleBit& bit : kDialogStyles) {
        if ((style & bit.bit) != 0) {
            native |= bit.native;
        }
    }
    return native;
}

void NativeTemplate::DoubleWord(std::uint32_t value) {
    Word(value & 0xFFFFu);
    Word(value >> 16);
}

void NativeTemplate::Text(const char* utf8) {
    const std::wstring wide = WideFromUtf8(utf8);
    words.insert(words.end(), wide.begin(), wide.end());
    Word(0);
}

void NativeTemplate::AlignToDoubleWord() {
    if (words.size() % 2 != 0) {
        Word(0);
    }
}

NativeTemplate::NativeTemplate(const DialogTemplate& dialogTemplate) {
    Word(kTemplateVersion);
    Word(kExtendedSignature);
    DoubleWord(0);  // help id
    DoubleWord(0);  // extended style
    DoubleWord(NativeDialogStyle(dialogTemplate.style));
    Word(static_cast<unsigned>(dialogTemplate.controls.size()));
    Word(0);  // x, y: the dialog manager places the window
    Word(0);
    Word(static_cast<unsigned>(dialogTemplate.width));
    Word(static_cast<unsigned>(dialogTemplate.height));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(dialogTemplate.caption);
    Word(static_cast<unsigned>(dialogTemplate.fontPointSize));
    Word(FW_NORMAL);
    words.push_back(static_cast<WORD>(FALSE | (DEFAULT_CHARSET << 8)));  // italic byte, then charset byte
    Text(dialogTemplate.fontFamily);

    for (const ControlTemplate& control : dialogTemplate.controls) {
        AlignToDoubleWord();
        DoubleWord(0);  // help id
        DoubleWord(0);  // extended style
        DoubleWord(NativeControlStyle(control));
        Word(static_cast<unsigned>(control.x));
        Word(static_cast<unsigned>(control.y));
        Word(static_cast<unsigned>(control.width));
        Word(static_cast<unsigned>(control.height));
        DoubleWord(static_cast<std::uint32_t>(control.id));
        const ClassAtom* atom = nullptr;
        for (const ClassAtom& known : kClassAtoms) {
            if (std::strcmp(known.name, control.className) == 0) {
                atom = &known;
            }
        }
        if (atom != nullptr) {
            Word(kAtomFollows);
            Word(atom->atom);
        } else {
            Text(control.className);
        }
        Text(control.text);
        Word(0);  // no creation data
    }
}
