#include "ui/qt/LinkControlClass.h"

#include "ui/qt/LinkControl.h"
#include "ui/qt/QtDialogFont.h"
#include "ui/qt/QtDialogToolkit.h"

namespace {
constexpr int kRegistered = 1;
constexpr int kRegistrationFailed = -1;
}  // namespace

int LinkControlClass::Register(QtDialogToolkit& toolkit, const char* className) {
    const bool registered = toolkit.RegisterControlClass(
        className, [this](QWidget* parent) -> QWidget* { return new LinkControl(*this, parent); });
    return registered ? kRegistered : kRegistrationFailed;
}

void LinkControlClass::CreateLinkFont(const DialogFont* font) {
    if (font == nullptr) {
        linkFont.reset();
        return;
    }
    QFont underlined = font->font;
    underlined.setUnderline(true);
    linkFont = underlined;
}
