#include "ui/qt/StatusBarWidget.h"

#include <QFontMetrics>
#include <QLabel>

namespace {
constexpr int kVerticalPadding = 8;  // room above and below a line of text, frames included
constexpr int kPaneGap = 2;          // between two panes
constexpr int kTextIndent = 3;
}  // namespace

StatusBarWidget::StatusBarWidget(QWidget* parent, std::span<const int> paneRightEdges) : QFrame(parent) {
    const int height = QFontMetrics(font()).height() + kVerticalPadding;
    setGeometry(0, parent->height() - height, parent->width(), height);
    int left = 0;
    for (const int right : paneRightEdges) {
        auto* pane = new QLabel(this);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setTextFormat(Qt::PlainText);
        pane->setIndent(kTextIndent);
        pane->setGeometry(left, 1, right - left, height - 1);
        panes.push_back(pane);
        left = right + kPaneGap;
    }
}

bool StatusBarWidget::SetPaneText(int pane, const QString& text) {
    if (pane < 0 || pane >= PaneCount()) {
        return false;
    }
    panes[static_cast<std::size_t>(pane)]->setText(text);
    return true;
}

QString StatusBarWidget::PaneText(int pane) const {
    return pane >= 0 && pane < PaneCount() ? panes[static_cast<std::size_t>(pane)]->text() : QString();
}
