#include "core/joboutcome.h"

#include <QStringList>

JobOutcome::Severity JobOutcome::severity() const
{
    switch (kind) {
    case Kind::Completed:
        return Severity::Info;
    case Kind::Cancelled:
    case Kind::Refused:
    case Kind::WrittenNotVerified:
        return mayBeIncomplete ? Severity::Error : Severity::Warning;
    case Kind::InstrumentSilent:
    case Kind::PortLost:
    case Kind::ReadBackDiffers:
        return Severity::Error;
    }
    return Severity::Error;
}

QString JobOutcome::message() const
{
    if (nextStep.isEmpty())
        return text;
    return text + QLatin1Char(' ') + nextStep;
}

QString JobOutcome::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Completed: return QStringLiteral("completed");
    case Kind::Cancelled: return QStringLiteral("cancelled");
    case Kind::InstrumentSilent: return QStringLiteral("instrument-silent");
    case Kind::PortLost: return QStringLiteral("port-lost");
    case Kind::Refused: return QStringLiteral("refused");
    case Kind::ReadBackDiffers: return QStringLiteral("read-back-differs");
    case Kind::WrittenNotVerified: return QStringLiteral("written-not-verified");
    }
    return {};
}

JobOutcome JobOutcome::make(Kind kind, const QString &text, const QString &nextStep)
{
    JobOutcome o;
    o.kind = kind;
    o.text = text;
    o.nextStep = nextStep;
    return o;
}

QString pageListText(const QList<int> &pages)
{
    QStringList out;
    for (int i = 0; i < pages.size() && i < 10; ++i)
        out << QString::number(pages.at(i));
    if (pages.size() > 10)
        out << QStringLiteral("… (всего %1)").arg(pages.size());
    return out.join(QStringLiteral(", "));
}
