#include "core/dialogs.h"

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
