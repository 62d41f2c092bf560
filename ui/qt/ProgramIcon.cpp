#include "ui/qt/ProgramIcon.h"

QIcon ProgramIcon() {
    QIcon icon(QStringLiteral(":/qvserver/qvserver.svg"));
    // Without the SVG engine the icon names the file but draws nothing.
    return icon.pixmap(32, 32).isNull() ? QIcon() : icon;
}
