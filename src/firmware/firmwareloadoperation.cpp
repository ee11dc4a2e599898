#include "firmware/firmwareloadoperation.h"

#include "firmware/firmwarecontroller.h"
#include "link/instrumentlink.h"

#include <QDir>

#include <algorithm>
#include <limits>

namespace firmware {

namespace {
const QString kRestartAdvice = QStringLiteral("Выключите прибор, через 5 с включите его, удерживая указку на экране "
                                              "(экран покажет \"Режим программирования включен\"), и загрузите программу снова.");
}

FirmwareLoadOperation::FirmwareLoadOperation(FirmwareController &controller, InstrumentLink &link, StatusModel &status,
                                             QObject *parent)
    : InstrumentOperation(link, status, QStringLiteral("Загрузка программы в прибор"), parent), m_fw(controller)
{
    m_lineTimer.setSingleShot(true);
    connect(&m_lineTimer, &QTimer::timeout, this, &FirmwareLoadOperation::streamOnLine);
    m_restartTimer.setSingleShot(true);
    connect(&m_restartTimer, &QTimer::timeout, this, [this] {
        if (!running())
            return;
        bindPort(false);
        if (!m_lostOnTheLine.isEmpty()) {
            JobOutcome o = JobOutcome::make(JobOutcome::Kind::PortLost,
                                            QStringLiteral("Связь потеряна, пока линия несла программу в прибор (%1), и прибор "
                                                           "не ответил за %2 с: загрузчик мог получить её не полностью.")
                                                .arg(m_lostOnTheLine)
                                                .arg(m_restartMs / 1000.0),
                                            kRestartAdvice);
            o.mayBeIncomplete = true;
            finish(o);
            return;
        }
        finish(JobOutcome::make(JobOutcome::Kind::InstrumentSilent,
                                QStringLiteral("Прибор не перезапустился за %1 с после передачи программы.").arg(m_restartMs / 1000.0),
                                QStringLiteral("Проверьте экран прибора; если он не перезапустился, выключите и включите его "
                                               "и проверьте, что он отвечает.")));
    });
    connect(&m_fw.loader(), &LoaderWatch::stateChanged, this, &FirmwareLoadOperation::onLoaderState);
    connect(&m_fw.loader(), &LoaderWatch::restartCompleted, this, [this] {
        if (!running() || !m_streamWhole)
            return;
        m_restartTimer.stop();
        bindPort(false);
        if (!m_lostOnTheLine.isEmpty() && !this->link().instrumentWorking()) {
            // The port came back with the boot loader still waiting: the stream was cut short.
            JobOutcome o = JobOutcome::make(JobOutcome::Kind::PortLost,
                                            QStringLiteral("Связь терялась, пока линия несла программу в прибор (%1); прибор "
                                                           "снова отвечает, но в режиме программирования: программа получена "
                                                           "не полностью.")
                                                .arg(m_lostOnTheLine),
                                            kRestartAdvice);
            o.mayBeIncomplete = true;
            finish(o);
            return;
        }
        finish(JobOutcome::make(JobOutcome::Kind::Completed,
                                QStringLiteral("Перепрограммирование прибора завершено: прибор перезапустился и отвечает.")));
    });
    connect(&m_fw.transfer(), &FirmwareTransfer::writeFailed, this, [this](const QString &why) { m_writeError = why; });
    connect(&link.line(), &TMSComm::portLost, this, [this](const QString &why) {
        if (running() && !m_streamWhole && m_writeError.isEmpty())
            m_writeError = why.isEmpty() ? QStringLiteral("порт закрылся.") : why;
        if (running() && m_streamWhole && m_awaitingLine) {
            // The port went while the last bytes were still queued or on their way over the line.
            disconnect(m_drained);
            m_lineTimer.stop();
            m_awaitingLine = false;
            if (m_waitRestart) {
                // A restart, or a stream cut short: the instrument's next answer on its port
                // tells (the working program's "L" after a restart); silence until the limit
                // ends the job as cut.
                m_lostOnTheLine = why.isEmpty() ? QStringLiteral("порт закрылся") : why;
                setProtectedPhase(false);
                return;
            }
            m_restartTimer.stop();
            bindPort(false);
            JobOutcome o = JobOutcome::make(JobOutcome::Kind::PortLost,
                                            QStringLiteral("Загрузка программы остановлена: связь потеряна (%1). "
                                                           "Прибор нужно перезапустить.")
                                                .arg(why),
                                            kRestartAdvice);
            o.mayBeIncomplete = true;
            finish(o);
        }
    });
}

FirmwareLoadOperation::~FirmwareLoadOperation() { bindPort(false); }

void FirmwareLoadOperation::setRestartTimeout(int ms)
{
    m_restartMs = ms;
    if (ms > 0)
        m_fw.loader().setRestartLimitMs(ms);
}

void FirmwareLoadOperation::bindPort(bool bind) { link().bindPort(bind ? link().line().CommPort() : 0); }

void FirmwareLoadOperation::start(const QString &path)
{
    m_path = path;
    QString why;
    switch (m_fw.startLoad(path, &why)) {
    case FirmwareController::LoadStart::Started:
        return; // the boot loader's state takes it from here
    case FirmwareController::LoadStart::NotInLoader:
        finish(JobOutcome::make(JobOutcome::Kind::Refused,
                                QStringLiteral("Прибор не в режиме программирования."), kRestartAdvice));
        return;
    case FirmwareController::LoadStart::ImageRefused:
        finish(JobOutcome::make(JobOutcome::Kind::Refused, why,
                                QStringLiteral("Укажите непустой файл программы .tsk, доступный для чтения.")));
        return;
    case FirmwareController::LoadStart::NotReady:
        finish(JobOutcome::make(JobOutcome::Kind::Refused,
                                why.isEmpty() ? QStringLiteral("Загрузчик прибора не готов к новой загрузке.") : why,
                                kRestartAdvice));
        return;
    }
}

void FirmwareLoadOperation::onLoaderState(LoaderState state)
{
    switch (state) {
    case LoaderState::Streaming:
        m_streamWhole = false;
        m_writeError.clear();
        m_lostOnTheLine.clear();
        m_streamBytes = m_fw.stream() ? m_fw.stream()->FirmwareSize + 8 : 0;
        m_streamClock.start();
        if (begin()) {
            bindPort(true);
            setProtectedPhase(true);
        }
        return;
    case LoaderState::Programming:
        if (!running() || m_streamWhole)
            return;
        m_streamWhole = true;
        m_awaitingLine = true;
        if (m_waitRestart && m_restartMs > 0)
            m_restartTimer.start(m_restartMs);
        // The stream is whole once its last bytes have left the output queue and the line has had
        // time to carry them: a job that ended before (a held stop, no wait for the restart)
        // would claim a stream the instrument may never get whole.
        if (link().line().OutBufferCount() > 0) {
            m_drained = connect(&link().line(), &TMSComm::outputDrained, this, [this] {
                disconnect(m_drained);
                awaitLine();
            });
            return;
        }
        awaitLine();
        return;
    case LoaderState::HoldsPartial:
    case LoaderState::PartialRestarting:
        if (!running())
            return;
        m_restartTimer.stop();
        bindPort(false);
        if (m_streamWhole) {
            finish(JobOutcome::make(JobOutcome::Kind::Refused,
                                    QStringLiteral("Прибор остался в режиме программирования: программа не принята."),
                                    kRestartAdvice));
            return;
        }
        {
            // The boot loader's state may come before the write error that names the lost port: a
            // port closed under the stream is a lost one too.
            const bool lost = !m_writeError.isEmpty() || !link().portOpen();
            JobOutcome o = JobOutcome::make(lost ? JobOutcome::Kind::PortLost : JobOutcome::Kind::Cancelled,
                                            lost ? QStringLiteral("Загрузка программы остановлена: связь потеряна (%1). "
                                                                  "Прибор нужно перезапустить.")
                                                       .arg(m_writeError.isEmpty() ? QStringLiteral("порт закрылся") : m_writeError)
                                                 : QStringLiteral("Загрузка программы прервана; загрузчик прибора получил её не "
                                                                  "полностью. Прибор нужно перезапустить."),
                                            kRestartAdvice);
            o.mayBeIncomplete = true;
            finish(o);
        }
        return;
    case LoaderState::Ready:
    case LoaderState::Restarting:
        return;
    }
}

void FirmwareLoadOperation::awaitLine()
{
    // 8N1: ten bits a byte. The marker and the length (6 bytes) go out at once, the image and its
    // 2-byte checksum from the first send tick on: before then the line cannot have carried them.
    const qint64 bytesPerSecond = std::max<qint64>(1, TMSComm::baudOf(link().line().Settings()) / 10);
    const qint64 afterTick = std::max<qint64>(0, m_streamBytes - 6);
    const qint64 lineMs = TickMs + afterTick * 1000 / bytesPerSecond;
    const qint64 left = lineMs - m_streamClock.elapsed();
    if (left > 0) {
        m_lineTimer.start(int(std::min<qint64>(left, std::numeric_limits<int>::max())));
        return;
    }
    streamOnLine();
}

void FirmwareLoadOperation::streamOnLine()
{
    m_awaitingLine = false;
    if (!running())
        return;
    if (!m_waitRestart) {
        setProtectedPhase(false);
        if (!running())
            return;
        bindPort(false);
        finish(JobOutcome::make(JobOutcome::Kind::Completed,
                                QStringLiteral("Программа передана; прибор программирует её и перезапустится сам.")));
        return;
    }
    setProtectedPhase(false); // a held stop takes effect here
}

void FirmwareLoadOperation::stopNow(bool forced)
{
    if (!running())
        return;
    if (!m_streamWhole) {
        if (forced)
            m_fw.cancelLoad(); // the boot loader's state ends the job as cut
        return;
    }
    disconnect(m_drained);
    m_lineTimer.stop();
    m_restartTimer.stop();
    bindPort(false);
    if (m_awaitingLine) {
        // Forced while the last bytes were still on their way: whether they all arrived is unknown.
        m_awaitingLine = false;
        JobOutcome o = JobOutcome::make(JobOutcome::Kind::WrittenNotVerified,
                                        QStringLiteral("Программа передана в порт, но остановлено до того, как линия "
                                                       "донесла её до прибора целиком; ожидание перезапуска прервано."),
                                        QStringLiteral("Проверьте экран прибора: если он не перезапустился сам, "
                                                       "перезапустите его с указкой на экране и загрузите программу снова."));
        o.mayBeIncomplete = true;
        finish(o);
        return;
    }
    // The whole image is out: only the wait for the restart is given up.
    finish(JobOutcome::make(JobOutcome::Kind::WrittenNotVerified,
                            QStringLiteral("Программа передана полностью; ожидание перезапуска прибора прервано."),
                            QStringLiteral("Проверьте экран прибора: после программирования он перезапускается сам.")));
}

} // namespace firmware
