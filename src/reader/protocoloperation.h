#pragma once
// The job "receive the results protocol": "Принять данные" on "Результаты", the instrument's
// notice "g", and `kviro-cli protocol`. Every fetch of the protocol runs as this job, whoever
// started it, so each is journalled once with its outcome. A stop gives the fetch up.
#include "link/instrumentoperation.h"

class ProtocolController;

class ProtocolOperation : public InstrumentOperation {
    Q_OBJECT
public:
    ProtocolOperation(ProtocolController &protocol, InstrumentLink &link, StatusModel &status, QObject *parent = nullptr);
    void start();

protected:
    void stopNow(bool forced) override;

private:
    ProtocolController &m_protocol;
};
