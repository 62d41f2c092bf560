#pragma once

#include <QWidget>

#include "ui/LinkState.h"
#include "ui/qt/CustomControl.h"

class LinkControlClass;

// A link of class "ORVHLinkClass": its text up to the first TAB painted blue and underlined with the
// class's link font, a hand cursor, and after painting the height of its text. A release of the left
// button over it is a click: LinkClicked to its notify window, or, without one, the text after the TAB
// opened with the desktop's opener. A disabled link paints the same and takes no clicks.
class LinkControl final : public QWidget, public CustomControl {
    Q_OBJECT

  public:
    LinkControl(const LinkControlClass& linkClass, QWidget* parent);

    void Receive(const LinkMessage& message) override;
    void SetWindowText(const QString& text) override;
    QString WindowText() const override { return windowText; }
    const LinkState& State() const { return state; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    const LinkControlClass& linkClass;
    LinkState state;
    QString windowText;
};
