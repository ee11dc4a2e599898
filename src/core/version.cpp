#include "core/version.h"

#include "kviro_version.h"

#include <QStringList>

namespace kviro {

QString applicationTitle() { return QStringLiteral("КВИРО-сервис 2011_01_01 (3070)"); }

QString versionNumber() { return QStringLiteral(KVIRO_VERSION); }

QString buildCommit() { return QStringLiteral(KVIRO_COMMIT); }

QDate buildDate() { return QDate::fromString(QStringLiteral(KVIRO_BUILD_DATE), Qt::ISODate); }

QString versionText()
{
    const QString commit = buildCommit();
    return commit.isEmpty() ? versionNumber() : QStringLiteral("%1 (git %2)").arg(versionNumber(), commit);
}

QString versionDateText()
{
    const QStringList parts = versionNumber().split(QLatin1Char('.'));
    if (parts.size() != 3)
        return versionNumber();
    const auto two = [](const QString &part) { return part.rightJustified(2, QLatin1Char('0')); };
    return QStringLiteral("%1_%2_%3").arg(two(parts.at(2)), two(parts.at(1)), parts.at(0));
}

} // namespace kviro
