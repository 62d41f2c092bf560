#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <cstring>
#include <vector>

#include "ui/qt/CustomControl.h"
#include "ui/qt/QtDialogToolkit.h"
#include "ui/qt/QtDialogWindow.h"

// Turning a template into widgets: one child per control, in template order (which is also the tab
// order), each placed by its dialog units converted with the dialog font's base units.

namespace {

using namespace control_style;

// A fresh slider's range, before anyone sets one.
constexpr int kDefaultSliderMaximum = 100;

// Templates name Windows fonts; each has a free font of the same kind here.
struct FontSubstitute {
    const char* templateFamily;
    const char* family;
};
constexpr FontSubstitute kFontSubstitutes[] = {
    {"ＭＳ Ｐゴシック", "IPAPGothic"},  // proportional Japanese Gothic
};

QString FontFamily(const char* templateFamily) {
    for (const FontSubstitute& substitute : kFontSubstitutes) {
        if (std::strcmp(substitute.templateFamily, templateFamily) == 0) {
            return QString::fromUtf8(substitute.family);
        }
    }
    return QString::fromUtf8(templateFamily);
}

Qt::WindowFlags DialogFlags(std::uint32_t style) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
    if ((style & dialog_style::kCaption) != 0) {
        flags |= Qt::WindowTitleHint;
    }
    if ((style & dialog_style::kSystemMenu) != 0) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    if ((style & dialog_style::kMinimizeBox) != 0) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    return flags;
}

bool Is(const ControlTemplate& control, const char* className) {
    return std::strcmp(control.className, className) == 0;
}

// The template was laid out for a narrower Windows font: a left-aligned label whose text does not fit
// grows to the right rather than lose its last characters.
void WidenToText(QWidget* widget) {
    auto* label = qobject_cast<QLabel*>(widget);
    if (label == nullptr || (label->alignment() & Qt::AlignRight) != 0) {
        return;
    }
    const int needed = label->fontMetrics().horizontalAdvance(label->text());
    if (needed > label->width()) {
        label->resize(needed, label->height());
    }
}

}  // namespace

QRect QtDialogWindow::PixelRect(const ControlTemplate& control) const {
    return QRect(DialogXToPixels(control.x, baseUnits), DialogYToPixels(control.y, baseUnits),
                 DialogXToPixels(control.width, baseUnits), DialogYToPixels(control.height, baseUnits));
}

bool QtDialogWindow::Build(const DialogTemplate& dialogTemplate) {
    dialogFont.font = QFont(FontFamily(dialogTemplate.fontFamily), dialogTemplate.fontPointSize);
    setFont(dialogFont.font);
    const QFontMetrics metrics(dialogFont.font);
    baseUnits.x = AverageLetterWidth(metrics.horizontalAdvance(QString::fromLatin1(kBaseUnitLetters)));
    baseUnits.y = metrics.height();

    setWindowTitle(QString::fromUtf8(dialogTemplate.caption));
    setWindowFlags(DialogFlags(dialogTemplate.style));
    setFixedSize(DialogXToPixels(dialogTemplate.width, baseUnits),
                 DialogYToPixels(dialogTemplate.height, baseUnits));

    std::vector<QWidget*> groupBoxes;
    for (const ControlTemplate& control : dialogTemplate.controls) {
        QWidget* widget = CreateControl(control);
        if (widget == nullptr) {
            return false;
        }
        widget->setGeometry(PixelRect(control));
        WidenToText(widget);
        if (control.id != kNoControlId) {
            widget->setObjectName(QString::number(control.id));
            items[control.id] = widget;
        }
        if (qobject_cast<QGroupBox*>(widget) != nullptr) {
            groupBoxes.push_back(widget);
        }
    }
    // A group box only frames the controls inside it: below them, and never in the way of a click.
    for (QWidget* groupBox : groupBoxes) {
        groupBox->setAttribute(Qt::WA_TransparentForMouseEvents);
        groupBox->lower();
    }
    return true;
}

QWidget* QtDialogWindow::CreateControl(const ControlTemplate& control) {
    const QString text = QString::fromUtf8(control.text);
    const int id = control.id;
    if (Is(control, kButtonClass)) {
        if ((control.style & kGroupBox) != 0) {
            return new QGroupBox(text, this);
        }
        QAbstractButton* button = nullptr;
        if ((control.style & kAutoCheckBox) != 0) {
            button = new QCheckBox(text, this);
        } else if ((control.style & kAutoRadioButton) != 0) {
            button = new QRadioButton(text, this);
        } else {
            auto* pushButton = new QPushButton(text, this);
            pushButton->setDefault((control.style & kDefaultPushButton) != 0);
            button = pushButton;
        }
        connect(button, &QAbstractButton::clicked, this,
                [this, id] { Deliver(dialog_message::Command{id}); });
        return button;
    }
    if (Is(control, kEditClass)) {
        auto* edit = new QLineEdit(text, this);
        edit->setFrame((control.style & kBorder) != 0);
        if ((control.style & kPassword) != 0) {
            edit->setEchoMode(QLineEdit::Password);
        }
        return edit;
    }
    if (Is(control, kStaticClass)) {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignTop |
                            ((control.style & kRightAligned) != 0 ? Qt::AlignRight : Qt::AlignLeft));
        return label;
    }
    if (Is(control, kSliderClass)) {
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setRange(0, kDefaultSliderMaximum);
        slider->setPageStep(1);
        if ((control.style & kAutoTicks) != 0) {
            slider->setTickInterval(1);
            slider->setTickPosition((control.style & kTicksTop) != 0 ? QSlider::TicksAbove
                                                                     : QSlider::TicksBelow);
        }
        slider->setProperty(kTextProperty, text);
        connect(slider, &QSlider::valueChanged, this,
                [this, id] { Deliver(dialog_message::HorizontalScroll{id}); });
        return slider;
    }
    if (const QtDialogToolkit::ControlFactory* factory = toolkit.FindControlClass(control.className)) {
        QWidget* widget = (*factory)(this);
        if (auto* custom = dynamic_cast<CustomControl*>(widget)) {
            custom->SetWindowText(text);
        }
        return widget;
    }
    return nullptr;
}
