#pragma once

#include <QIcon>

// The program's icon (ui/resources/qvserver.svg, built into the executable), for its windows. Null when
// Qt's SVG icon engine is not installed.
QIcon ProgramIcon();
