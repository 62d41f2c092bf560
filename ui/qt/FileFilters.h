#pragma once

#include <QStringList>
#include <span>

#include "ui/DialogBackend.h"

// A filter list in Qt's name-filter syntax: each pair becomes "display (patterns)". The patterns,
// separated by ';' in a pair, match without regard to letter case as they do on Windows, and "*.*"
// matches every name, dotted or not. The file dialog hides the patterns and shows the display text.
QStringList QtNameFilters(std::span<const FileFilter> filters);
// One pattern made case-blind with character sets: "*.INI" -> "*.[iI][nN][iI]".
QString CaseBlindPattern(const QString& pattern);
