#pragma once
// The job "receive the optical-density table": "Принять данные" on "Ридер ОП", the instrument's
// notice "G" that starts a fetch by itself, and `kviro-cli od`. Every fetch of the table runs as
// this job, whoever started it, so each is journalled once with its outcome. A stop gives the
// fetch up; the table from before stays.
#include "link/instrumentoperation.h"

class OdController;

class OdTableOperation : public InstrumentOperation {
    Q_OBJECT
public:
    OdTableOperation(OdController &od, InstrumentLink &link, StatusModel &status, QObject *parent = nullptr);
    void start();

protected:
    void stopNow(bool forced) override;

private:
    OdController &m_od;
};
