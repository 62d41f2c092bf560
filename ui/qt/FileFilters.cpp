#include "ui/qt/FileFilters.h"

QString CaseBlindPattern(const QString& pattern) {
    if (pattern == QStringLiteral("*.*")) {
        return QStringLiteral("*");
    }
    QString blind;
    for (const QChar c : pattern) {
        const QChar lower = c.toLower();
        const QChar upper = c.toUpper();
        if (lower != upper) {
            blind += QLatin1Char('[') + lower + upper + QLatin1Char(']');
        } else {
            blind += c;
        }
    }
    return blind;
}

QStringList QtNameFilters(std::span<const FileFilter> filters) {
    QStringList nameFilters;
    for (const FileFilter& filter : filters) {
        QStringList patterns;
        for (const QString& pattern :
             QString::fromUtf8(filter.pattern).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns << CaseBlindPattern(pattern.trimmed());
        }
        nameFilters << QString::fromUtf8(filter.display) + QStringLiteral(" (") +
                           patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return nameFilters;
}
