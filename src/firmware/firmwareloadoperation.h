#pragma once
// The job "load a program into the instrument": "Загрузить программу в прибор" in the firmware
// wizard and `kviro-cli flash`. The image is checked whole before the first byte goes out, the
// stream is the protected phase (a stop asked for then is held until the checksum is out; a
// forced stop or a lost port leaves the boot loader with part of a stream, and the outcome says
// the instrument must be restarted), then the job waits for the instrument's restart on its own
// port: the link's port search is bound to it meanwhile, so no other instrument can answer for it.
//
// Every load started in the wizard runs as this job too (it follows the boot loader's state), so
// each is journalled once with its outcome.
#include "firmware/loaderwatch.h"
#include "link/instrumentoperation.h"

#include <QElapsedTimer>
#include <QTimer>

namespace firmware {

class FirmwareController;

class FirmwareLoadOperation : public InstrumentOperation {
    Q_OBJECT
public:
    FirmwareLoadOperation(FirmwareController &controller, InstrumentLink &link, StatusModel &status,
                          QObject *parent = nullptr);
    ~FirmwareLoadOperation() override;

    // Starts the load of the image file at path (the wizard's file choice is set to it).
    void start(const QString &path);
    // After the whole stream the job ends as silent when the instrument has not answered again
    // within ms (the boot loader's generous limit unless set, LoaderWatch::RestartLimitMs; 0 waits
    // however long it takes, with the port search bound). The wizard's watch takes the same limit.
    void setRestartTimeout(int ms);
    // true: the job ends as soon as the whole stream is on the line (the restart is not awaited).
    void setWaitForRestart(bool wait) { m_waitRestart = wait; }
    // Bytes of the stream (marker, length, image, checksum) of the running or last load.
    qint64 streamBytes() const { return m_streamBytes; }

protected:
    void stopNow(bool forced) override;

private:
    void onLoaderState(LoaderState state);
    // The program's queue is empty: the job waits until the line can have carried the stream.
    void awaitLine();
    void streamOnLine();
    void bindPort(bool bind);

    FirmwareController &m_fw;
    QTimer m_restartTimer;
    int m_restartMs = LoaderWatch::RestartLimitMs;
    bool m_waitRestart = true;
    bool m_streamWhole = false;
    QString m_writeError;
    QString m_path;
    qint64 m_streamBytes = 0;
    QMetaObject::Connection m_drained; // waiting for the last bytes to leave the output queue
    // From the stream's start: the system's buffers take the bytes long before the line has
    // carried them, so the stream is whole on the line no sooner than its line time after the
    // first send tick. A port lost before then has left the boot loader with part of it.
    QElapsedTimer m_streamClock;
    QTimer m_lineTimer;
    bool m_awaitingLine = false;
    QString m_lostOnTheLine; // the port was lost then (why): a restart or a cut stream
};

} // namespace firmware
