#include "reader/odtableoperation.h"

#include "reader/odcontroller.h"

OdTableOperation::OdTableOperation(OdController &od, InstrumentLink &link, StatusModel &status, QObject *parent)
    : InstrumentOperation(link, status, QStringLiteral("Приём таблицы оптических плотностей"), parent), m_od(od)
{
    connect(&m_od, &OdController::fetchBegun, this, [this] { begin(); });
    connect(&m_od, &OdController::fetchEnded, this, [this](const JobOutcome &outcome) { finish(outcome); });
}

void OdTableOperation::start() { m_od.requestTable(); }

void OdTableOperation::stopNow(bool) { m_od.cancelFetch(); }
