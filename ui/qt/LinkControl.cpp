#include "ui/qt/LinkControl.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <string>

#include "ui/qt/LinkControlClass.h"

namespace {
const QColor kLinkColor(0, 0, 255);
}

LinkControl::LinkControl(const LinkControlClass& linkClass, QWidget* parent)
    : QWidget(parent), linkClass(linkClass) {
    setCursor(Qt::PointingHandCursor);
}

void LinkControl::Receive(const LinkMessage& message) {
    ApplyLinkMessage(state, message);
}

void LinkControl::SetWindowText(const QString& text) {
    windowText = text;
    update();
}

void LinkControl::paintEvent(QPaintEvent* /*event*/) {
    const std::string text = windowText.toStdString();
    const QString display = QString::fromStdString(std::string(LinkDisplayText(text)));
    QPainter painter(this);
    if (const QFont* font = linkClass.LinkFont()) {
        painter.setFont(*font);
    }
    painter.setPen(kLinkColor);
    const int alignment = Qt::AlignTop | (state.rightAligned != 0 ? Qt::AlignRight : Qt::AlignLeft);
    QRect drawn;
    painter.drawText(rect(), alignment, display, &drawn);
    painter.end();
    // The link takes the height of its text; the resize waits until this paint is over.
    const int textHeight = drawn.height();
    if (textHeight != height()) {
        QMetaObject::invokeMethod(
            this, [this, textHeight] { resize(width(), textHeight); }, Qt::QueuedConnection);
    }
}

void LinkControl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) {
        return;
    }
    std::string target;
    const std::string text = windowText.toStdString();
    if (ClickLink(state, text, &target) == LinkClick::OpenTarget) {
        QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(target)));
    }
}
