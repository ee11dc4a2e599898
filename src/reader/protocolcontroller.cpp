#include "reader/protocolcontroller.h"

#include "core/cp1251.h"
#include "core/files.h"
#include "core/status.h"
#include "link/instrumentlink.h"
#include "reader/protocol.h"
#include "reader/readerfiles.h"

#include <algorithm>

ProtocolController::ProtocolController(FeatureContext context, QObject *parent) : QObject(parent), m_ctx(context) {}

void ProtocolController::setAutoRead(bool ticked)
{
    if (m_autoRead != ticked) {
        m_autoRead = ticked;
        emit stateChanged();
    }
}

void ProtocolController::setAutoSave(bool ticked)
{
    if (m_autoSave != ticked) {
        m_autoSave = ticked;
        emit stateChanged();
    }
}

// Takes the line for the protocol; the length is asked for by askLength().
bool ProtocolController::beginFetch()
{
    InstrumentLink::Exchange exchange;
    exchange.name = QStringLiteral("приём протокола результатов");
    exchange.aborted = [this](InstrumentLink::ExchangeEnd why) {
        exchangeEnded();
        emit protocolRefused(m_ctx.status.text());
        const bool lost = why == InstrumentLink::ExchangeEnd::PortLost;
        emit fetchEnded(JobOutcome::make(lost ? JobOutcome::Kind::PortLost : JobOutcome::Kind::InstrumentSilent,
                                         m_ctx.status.text(),
                                         lost ? QStringLiteral("Проверьте кабель и питание прибора и повторите.")
                                              : QStringLiteral("Проверьте, что измерение завершено и прибор включён, и повторите.")));
    };
    if (!m_ctx.link.beginExchange(this, std::move(exchange))) {
        emit fetchEnded(JobOutcome::make(JobOutcome::Kind::Refused, m_ctx.status.text()));
        return false;
    }
    emit fetchBegun();
    return true;
}

bool ProtocolController::askLength() { return m_ctx.link.request(QByteArrayLiteral("g"), QByteArrayLiteral("N")); }

// The exchange is over without a protocol.
void ProtocolController::exchangeEnded()
{
    if (m_autoReadByExchange)
        setAutoRead(false);
    m_autoReadByExchange = false;
}

void ProtocolController::cancelFetch()
{
    if (!m_ctx.link.ownsExchange(this))
        return;
    m_ctx.link.cutExchange(this);
    exchangeEnded();
    const QString text = QStringLiteral("Приём протокола результатов прерван.");
    m_ctx.status.setText(text);
    emit fetchEnded(JobOutcome::make(JobOutcome::Kind::Cancelled, text));
}

bool ProtocolController::requestProtocol()
{
    InstrumentLink &link = m_ctx.link;
    if (!link.portOpen()) {
        m_ctx.status.setText(QStringLiteral("Порт отключен."));
        emit fetchEnded(JobOutcome::make(JobOutcome::Kind::Refused, QStringLiteral("Порт отключен.")));
        return false;
    }
    if (!beginFetch())
        return false;
    // The protocol is text: zero bytes on the line are noise and are dropped.
    link.setNullDiscard(true);
    ProtokolFileName.clear();
    ProtokolStream.clear();
    m_autoReadByExchange = false;
    return askLength();
}

qsizetype ProtocolController::branchNotice(const QByteArray &waiting)
{
    emit resultsNotice();
    m_ctx.status.setText(QStringLiteral("Результаты измерений готовы"));
    setAutoRead(true);
    m_autoReadByExchange = true;
    ProtokolLen = 0;
    if (beginFetch())
        askLength();
    return waiting.size(); // whatever its length
}

qsizetype ProtocolController::branchAnnouncement(const QByteArray &waiting)
{
    if (waiting.size() < protokol::AnnouncementLength)
        return InstrumentLink::NeedMore;
    const QByteArray announcement = waiting.left(protokol::AnnouncementLength);
    const std::optional<int> length = protokol::announcedLength(announcement);
    if (!length || *length <= 0) {
        // No body can follow: the exchange ends here and the link check resumes.
        ProtokolLen = 0;
        const QString why = QStringLiteral("Неверная длина протокола: ") + readerfiles::printable(announcement.mid(1));
        m_ctx.status.setText(why);
        exchangeEnded();
        m_ctx.link.endExchange(this);
        emit protocolRefused(why);
        emit fetchEnded(JobOutcome::make(JobOutcome::Kind::Refused, QStringLiteral("Протокол результатов не принят: ") + why,
                                         QStringLiteral("Проверьте, что измерение завершено и протокол готов, и повторите.")));
        return announcement.size();
    }
    ProtokolLen = *length;
    ProtokolFileName.clear();
    ProtokolStream.clear();
    m_ctx.link.request(QByteArrayLiteral("d"), QByteArrayLiteral("d"));
    return announcement.size();
}

qsizetype ProtocolController::branchBody(const QByteArray &waiting)
{
    if (ProtokolLen <= 0)
        return waiting.size(); // cannot be measured; the link awaits a body only after a length
    // The body takes its announced length; what follows it is the dispatcher's.
    const int length = int(std::min<qsizetype>(waiting.size(), ProtokolLen));
    m_ctx.status.setProgress(StatusModel::percentOf(length, ProtokolLen));
    if (length < ProtokolLen)
        return InstrumentLink::NeedMore;
    // The exchange ends here whatever becomes of the files, and the link check resumes. The line
    // is given back first: saving the protocol may open a box, and nothing may time out behind it.
    m_autoReadByExchange = false;
    m_ctx.link.endExchange(this);
    acceptBody(waiting.left(length));
    emit fetchEnded(JobOutcome::make(JobOutcome::Kind::Completed, QStringLiteral("Протокол результатов принят.")));
    return length;
}

bool ProtocolController::acceptBody(const QByteArray &reply)
{
    m_ctx.status.setProgress(0);
    ProtokolStream.append(protokol::bodyText(reply));
    const bool written =
        readerfiles::writeOrReport(m_ctx.dialogs, readerfiles::workingProtocolPath(m_ctx.programDir), ProtokolStream);
    if (written) {
        setMemoFrom(ProtokolStream);
        m_saveEnabled = true;
    }
    m_autoRead = false;
    emit stateChanged();
    if (written && m_autoSave)
        autoSaveProtocol();
    emit protocolReceived(written);
    return written;
}

void ProtocolController::autoSaveProtocol()
{
    const QByteArray raw = protokol::automaticName(ProtokolStream);
    // The header is the instrument's text: it may only name a file in the program folder. An
    // earlier protocol with the same header stays; this one gets " (2)", " (3)"...
    const QString name =
        readerfiles::writeUnderInstrumentName(m_ctx, raw, ProtokolStream, QStringLiteral("Имя протокола отклонено"), true);
    if (name.isEmpty())
        return;
    ProtokolFileName = name;
    m_ctx.status.setText(QStringLiteral("Протокол записан в файл: ") + ProtokolFileName);
}

void ProtocolController::btnSaveProtokolClick()
{
    const QString path = m_ctx.dialogs.askSaveFile(readerfiles::sdlgSaveSorDat(m_ctx.programDir));
    if (path.isEmpty())
        return;
    QByteArray bytes;
    if (!readerfiles::readOrReport(m_ctx.dialogs, readerfiles::workingProtocolPath(m_ctx.programDir), &bytes))
        return;
    ProtokolStream = bytes;
    if (!readerfiles::writeOrReport(m_ctx.dialogs, path, ProtokolStream))
        return;
    m_ctx.status.setText(QStringLiteral("Данные записаны в файл."));
}

void ProtocolController::btnClearProtocolClick()
{
    m_memo.clear();
    emit memoChanged();
}

void ProtocolController::setMemoFrom(const QByteArray &bytes)
{
    // One line of the view per line of the file, whichever line end the instrument wrote.
    QString text = cp1251::decode(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_memo = text;
    emit memoChanged();
}
