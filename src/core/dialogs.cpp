#include "core/dialogs.h"

#include <QRegularExpression>
#include <QStringList>

QString qtFilterFromPairs(const QString &pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString &label = parts.at(i);
        const QString &pattern = parts.at(i + 1);
        out << (label.contains(QLatin1Char('(')) ? label : label + QStringLiteral(" (") + pattern + QLatin1Char(')'));
    }
    return out.join(QStringLiteral(";;"));
}

QString suffixOfFilter(const QString &filterEntry)
{
    static const QRegularExpression firstPattern(QStringLiteral("\\*\\.([^\\s;()*?]+)"));
    const QRegularExpressionMatch m = firstPattern.match(filterEntry);
    return m.hasMatch() ? m.captured(1) : QString();
}
