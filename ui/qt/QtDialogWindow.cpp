#include "ui/qt/QtDialogWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSlider>

#include "ui/qt/CustomControl.h"
#include "ui/qt/QtDialogToolkit.h"
#include "ui/qt/StatusBarWidget.h"

namespace {

constexpr int kMessageBoxOk = IDOK;
// News from the service's threads reaches the handler at most this often: faster changes are not
// readable, and the work would only take processor time from the server.
constexpr qint64 kWorkerNotifyIntervalMs = 40;

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Message texts use CR LF line ends; Qt shows a bare LF as the line break.
QString MessageText(const std::string& text) {
    return FromUtf8(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

QtDialogWindow::QtDialogWindow(QtDialogToolkit& toolkit, DialogProcedure procedure)
    : toolkit(toolkit), procedure(procedure) {
    workerNotifyTimer.setSingleShot(true);
    connect(&workerNotifyTimer, &QTimer::timeout, this, &QtDialogWindow::DeliverWorkerNotify);
}

int QtDialogWindow::Run(ModalDialog* dialog) {
    Deliver(dialog_message::SetFont{});
    Deliver(dialog_message::InitDialog{dialog});
    if (!ended) {
        // The caller waits in a loop of its own, but the window itself is not modal: a modal Qt window
        // would block every other top-level window, and a message box without owner must stay usable
        // beside the dialog (and the dialog beside it).
        QEventLoop loop;
        modalLoop = &loop;
        show();
        raise();
        activateWindow();
        loop.exec();
        modalLoop = nullptr;
    }
    Deliver(dialog_message::Destroy{});
    return endResult;
}

int QtDialogWindow::Deliver(const DialogMessage& message) {
    if (ended && !std::holds_alternative<dialog_message::Destroy>(message)) {
        return 0;
    }
    return procedure(*this, message);
}

void QtDialogWindow::reject() {
    Deliver(dialog_message::Command{IDCANCEL});
}

void QtDialogWindow::CloseFromOutside() {
    Deliver(dialog_message::Command{IDCANCEL});
    if (!ended) {
        return;
    }
    // Their loops run inside a handler of this dialog; each returns once its window is rejected, and
    // what the handler does after that reaches nobody: the dialog has ended.
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* modal = qobject_cast<QDialog*>(widget);
        if (modal != nullptr && modal != this && modal->isVisible() && modal->isModal()) {
            modal->reject();
        }
    }
}

void QtDialogWindow::EndDialog(int result) {
    ended = true;
    endResult = result;
    done(result);
    if (modalLoop != nullptr) {
        modalLoop->exit();
    }
}

void QtDialogWindow::PostCommand(int id) {
    QMetaObject::invokeMethod(
        this, [this, id] { Deliver(dialog_message::Command{id}); }, Qt::QueuedConnection);
}

// Invoked by name: nothing of the caller's thread travels with the event.
void QtDialogWindow::PostWorkerNotify(bool urgent) {
    QMetaObject::invokeMethod(this, urgent ? "DeliverWorkerNotifyNow" : "DeliverWorkerNotify",
                              Qt::QueuedConnection);
}

void QtDialogWindow::DeliverWorkerNotifyNow() {
    lastWorkerNotify.start();
    Deliver(dialog_message::WorkerNotify{});
}

void QtDialogWindow::DeliverWorkerNotify() {
    if (lastWorkerNotify.isValid() && lastWorkerNotify.elapsed() < kWorkerNotifyIntervalMs) {
        if (!workerNotifyTimer.isActive()) {
            workerNotifyTimer.start(static_cast<int>(kWorkerNotifyIntervalMs - lastWorkerNotify.elapsed()));
        }
        return;
    }
    lastWorkerNotify.start();
    Deliver(dialog_message::WorkerNotify{});
}

QWidget* QtDialogWindow::Item(int id) const {
    const auto found = items.find(id);
    return found != items.end() ? found->second : nullptr;
}

int QtDialogWindow::IsChecked(int id) const {
    const auto* button = qobject_cast<const QAbstractButton*>(Item(id));
    return button != nullptr && button->isCheckable() && button->isChecked() ? 1 : 0;
}

// Radio buttons take exactly the state given: the exclusivity of their group applies to clicks only.
void QtDialogWindow::SetChecked(int id, int state) {
    auto* button = qobject_cast<QAbstractButton*>(Item(id));
    if (button == nullptr || !button->isCheckable()) {
        return;
    }
    const bool exclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(state != 0);
    button->setAutoExclusive(exclusive);
}

bool QtDialogWindow::SetItemText(int id, const std::string& text) {
    QWidget* item = Item(id);
    const QString value = FromUtf8(text);
    if (auto* edit = qobject_cast<QLineEdit*>(item)) {
        edit->setText(value);
    } else if (auto* label = qobject_cast<QLabel*>(item)) {
        label->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(item)) {
        button->setText(value);
    } else if (auto* group = qobject_cast<QGroupBox*>(item)) {
        group->setTitle(value);
    } else if (auto* custom = dynamic_cast<CustomControl*>(item)) {
        custom->SetWindowText(value);
    } else if (item != nullptr) {
        item->setProperty(kTextProperty, value);
    } else {
        return false;
    }
    return true;
}

std::string QtDialogWindow::ItemText(int id) const {
    QWidget* item = Item(id);
    QString value;
    if (const auto* edit = qobject_cast<const QLineEdit*>(item)) {
        value = edit->text();
    } else if (const auto* label = qobject_cast<const QLabel*>(item)) {
        value = label->text();
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(item)) {
        value = button->text();
    } else if (const auto* group = qobject_cast<const QGroupBox*>(item)) {
        value = group->title();
    } else if (const auto* custom = dynamic_cast<const CustomControl*>(item)) {
        value = custom->WindowText();
    } else if (item != nullptr) {
        value = item->property(kTextProperty).toString();
    }
    return value.toStdString();
}

bool QtDialogWindow::EnableItem(int id, bool enable) {
    QWidget* item = Item(id);
    if (item == nullptr) {
        return false;
    }
    item->setEnabled(enable);
    return true;
}

void QtDialogWindow::SetSliderRange(int id, int minimum, int maximum) {
    if (auto* slider = qobject_cast<QSlider*>(Item(id))) {
        const QSignalBlocker quiet(slider);
        slider->setRange(minimum, maximum);
    }
}

void QtDialogWindow::SetSliderPosition(int id, int position) {
    if (auto* slider = qobject_cast<QSlider*>(Item(id))) {
        const QSignalBlocker quiet(slider);
        slider->setValue(position);
    }
}

int QtDialogWindow::SliderPosition(int id) const {
    const auto* slider = qobject_cast<const QSlider*>(Item(id));
    return slider != nullptr ? slider->value() : 0;
}

bool QtDialogWindow::SendItemMessage(int id, const LinkMessage& message) {
    auto* custom = dynamic_cast<CustomControl*>(Item(id));
    if (custom == nullptr) {
        return false;
    }
    custom->Receive(message);
    return true;
}

const DialogFont* QtDialogWindow::ItemFont(int id) const {
    return Item(id) != nullptr ? &dialogFont : nullptr;
}

bool QtDialogWindow::CreateStatusBar(int id, std::span<const int> paneRightEdges) {
    if (Item(id) != nullptr) {
        return false;
    }
    auto* statusBar = new StatusBarWidget(this, paneRightEdges);
    items[id] = statusBar;
    statusBar->show();
    return true;
}

bool QtDialogWindow::SetStatusText(int id, int pane, const std::string& text) {
    auto* statusBar = qobject_cast<StatusBarWidget*>(Item(id));
    return statusBar != nullptr && statusBar->SetPaneText(pane, FromUtf8(text));
}

int QtDialogWindow::ShowMessageBox(MessageBoxOwner boxOwner, const std::string& text,
                                   const std::string& caption, MessageIcon icon) {
    const QMessageBox::Icon shown = icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon;
    if (boxOwner == MessageBoxOwner::None) {
        toolkit.ShowUnownedMessageBox(
            new QMessageBox(shown, FromUtf8(caption), MessageText(text), QMessageBox::Ok, nullptr));
        return kMessageBoxOk;
    }
    QMessageBox box(shown, FromUtf8(caption), MessageText(text), QMessageBox::Ok, this);
    box.exec();
    return kMessageBoxOk;
}
