#pragma once

#include <QFrame>
#include <span>
#include <vector>

class QLabel;

// A status bar across the bottom of its parent, with panes that end at fixed distances from the left
// edge. Panes that reach past the parent's right edge are cut off by it.
class StatusBarWidget final : public QFrame {
    Q_OBJECT

  public:
    StatusBarWidget(QWidget* parent, std::span<const int> paneRightEdges);

    // False for a pane the bar does not have.
    bool SetPaneText(int pane, const QString& text);
    QString PaneText(int pane) const;
    int PaneCount() const { return static_cast<int>(panes.size()); }

  private:
    std::vector<QLabel*> panes;  // children, owned by Qt
};
