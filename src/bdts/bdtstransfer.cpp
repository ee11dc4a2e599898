#include "bdts/bdtstransfer.h"

#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsimage.h"
#include "bdts/bdtsreply.h"
#include "core/status.h"
#include "link/instrumentlink.h"

using namespace bdts;

BdtsTransfer::BdtsTransfer(InstrumentLink &link, StatusModel &status, BdtsDatabase &database, QObject *parent)
    : QObject(parent), m_link(link), m_status(status), m_db(database)
{
    using Kind = InstrumentLink::BranchKind;
    m_link.registerBranch('R', Kind::Reply, [this](const QByteArray &b) { return replyR(b); });
    m_link.registerBranch('r', Kind::Reply, [this](const QByteArray &b) { return replyPage(b); });
    m_link.registerBranch('m', Kind::Reply, [this](const QByteArray &b) { return replyM(b); });
}

BdtsTransfer::~BdtsTransfer()
{
    for (char tag : {'R', 'r', 'm'})
        m_link.unregisterBranch(tag);
    m_link.endExchange(this);
}

void BdtsTransfer::setState(State state)
{
    const bool wasBusy = busy();
    const State was = m_state;
    m_state = state;
    if (was != state)
        emit stateChanged(state);
    if (wasBusy != busy())
        emit busyChanged(busy());
}

void BdtsTransfer::setReplyTimeout(int ms)
{
    m_replyTimeoutMs = ms;
    m_link.setExchangeIdleTimeout(this, ms);
}

// Takes the line for a read or a write; the same exchange goes on from a backup read to its write
// and from a write to its read-back.
bool BdtsTransfer::takeLine(const QString &name)
{
    InstrumentLink::Exchange exchange;
    exchange.name = name;
    exchange.idleTimeoutMs = m_replyTimeoutMs;
    exchange.aborted = [this](InstrumentLink::ExchangeEnd why) { aborted(why); };
    return m_link.beginExchange(this, std::move(exchange));
}

// A command that cannot be written ends the exchange through aborted().
bool BdtsTransfer::send(const QByteArray &bytes, char replyTag) { return m_link.request(bytes, QByteArray(1, replyTag)); }

void BdtsTransfer::endExchange(const QString &text)
{
    finishExchange(text);
    m_link.endExchange(this);
}

void BdtsTransfer::finishExchange(const QString &text)
{
    const bool wasReading = m_state == State::AwaitingCount || m_state == State::ReceivingPages;
    m_writeAfterRead = false;
    m_incoming.clear();
    setState(State::Idle);
    if (wasReading && m_db.BdtsSorStream)
        m_db.view.sorVisible = true; // the old image is still whole: show its list again
    emit m_db.changed();
    m_status.setProgress(0);
    if (!text.isEmpty())
        m_status.setText(text);
    emit exchangeFailed(text);
}

void BdtsTransfer::aborted(InstrumentLink::ExchangeEnd why)
{
    if (why == InstrumentLink::ExchangeEnd::PortLost) {
        finishExchange(QStringLiteral("Порт отключен."));
        return;
    }
    QString text;
    if (m_state == State::Writing) {
        text = QStringLiteral("Прибор не отвечает: запись БД ТС прервана (отправлено страниц: %1 из %2).")
                   .arg(std::max(0, BdtsPageNo - 1))
                   .arg(BdtsPagesToSend);
        if (!m_lastBackup.isEmpty())
            text += QStringLiteral(" Резервная копия: ") + m_lastBackup;
    } else {
        text = QStringLiteral("Прибор не отвечает: чтение БД ТС прервано.");
    }
    finishExchange(text);
}

void BdtsTransfer::RequestBdtsRead()
{
    if (busy()) {
        m_status.setText(QStringLiteral("Идёт обмен БД ТС с прибором, дождитесь окончания."));
        return;
    }
    startRead();
}

void BdtsTransfer::startRead()
{
    if (!m_link.portOpen()) {
        endExchange(QStringLiteral("Порт отключен."));
        return;
    }
    // Whatever waits in the buffer belongs to no exchange: taking the line empties it.
    if (!takeLine(QStringLiteral("чтение БД ТС")))
        return;
    m_link.serial.setNullDiscard(false);
    BdtsHeader = imageMagic();
    setState(State::AwaitingCount);
    if (!send(QByteArrayLiteral("R"), 'R'))
        return;
    m_db.hideInstrumentList();
}

void BdtsTransfer::cancelRead()
{
    if (!reading())
        return;
    // Replies still on their way arrive outside any exchange and are dropped.
    endExchange(m_writeAfterRead ? QStringLiteral("Чтение БД ТС для резервной копии прервано; запись не начата.")
                                 : QStringLiteral("Чтение БД ТС из прибора прервано."));
}

qsizetype BdtsTransfer::replyR(const QByteArray &rx)
{
    if (m_state != State::AwaitingCount)
        return rx.size(); // a reply outside its exchange
    m_status.setText(QStringLiteral("Чтение БД ТС из прибора."));
    // Whatever the count text holds once no byte is waiting: the instrument sends three
    // characters, but a count of another width or with a line end is read as well.
    const CountReply reply = parseCountReply(rx);
    if (reply.kind == CountReply::Kind::Incomplete)
        return InstrumentLink::NeedMore; // nothing of the count yet
    if (reply.kind == CountReply::Kind::NotNumber) {
        const QString text = QStringLiteral("Прибор сообщил число страниц БД ТС, которое не является числом: \"%1\"; "
                                            "чтение не начато.")
                                 .arg(QString::fromLatin1(reply.text.left(20).toPercentEncoding(" ")));
        endExchange(text);
        m_db.reportProblem(text);
        return reply.consumed;
    }
    const int count = reply.count;
    if (count < 1) {
        const QString text = QStringLiteral("Прибор сообщил %1 страниц БД ТС; чтение не начато, прежний список "
                                            "прибора сохранён.")
                                 .arg(count);
        endExchange(text);
        m_db.reportProblem(text);
        return reply.consumed;
    }
    if (count > MaxPages) {
        endExchange(QStringLiteral("Прибор сообщил %1 страниц БД ТС, допустимо не более %2; чтение не начато.")
                        .arg(count)
                        .arg(MaxPages));
        return reply.consumed;
    }
    m_pagesToRead = count;
    BdtsPageNo = 1;
    BdtsHeader += formatCount(count); // three characters whatever width the instrument sent
    m_incoming = BdtsHeader.left(HeaderSize);
    m_incoming.reserve(HeaderSize + qint64(PageSize) * m_pagesToRead);
    setState(State::ReceivingPages);
    send(QByteArrayLiteral("r"), 'r');
    return reply.consumed;
}

qsizetype BdtsTransfer::replyPage(const QByteArray &rx)
{
    if (m_state != State::ReceivingPages || BdtsPageNo > m_pagesToRead)
        return rx.size();
    const PageReply reply = parsePageReply(rx);
    if (reply.kind == PageReply::Kind::Incomplete)
        return InstrumentLink::NeedMore; // the rest of the page is on its way
    m_incoming.append(reply.page);
    if (BdtsPageNo == m_pagesToRead - 2)
        m_status.setText(QStringLiteral("Принято из прибора страниц: %1").arg(BdtsPageNo));
    if (BdtsPageNo < m_pagesToRead) {
        ++BdtsPageNo;
        m_status.setProgress(StatusModel::percentOf(BdtsPageNo, m_pagesToRead));
        setState(State::ReceivingPages);
        send(QByteArrayLiteral("r"), 'r');
        return reply.consumed;
    }
    finishRead();
    return reply.consumed;
}

void BdtsTransfer::finishRead()
{
    // Every page is here: the line is given back before the lists are rebuilt, so a message box
    // shown meanwhile cannot time the read out. A write that waited for this read takes it again.
    m_link.endExchange(this);
    m_received = m_incoming;
    m_db.BdtsSorStream = m_incoming;
    m_db.BdtsPagesToRead = m_pagesToRead;
    m_incoming.clear();
    m_db.finishRead();
    if (m_writeAfterRead) {
        m_writeAfterRead = false;
        beginWrite();
        return;
    }
    setState(State::Idle);
    emit readCompleted();
}

void BdtsTransfer::startWrite(Source source)
{
    const bool fromFile = source == Source::File;
    const std::optional<QByteArray> &image = fromFile ? m_db.BdtsFileStream : m_db.BdtsSorStream;
    if (busy()) {
        m_status.setText(QStringLiteral("Идёт обмен БД ТС с прибором, дождитесь окончания."));
        return;
    }
    if (!image) {
        m_status.setText(QStringLiteral("Список не считан из файла."));
        return;
    }
    if (!m_link.portOpen()) {
        m_status.setText(fromFile ? QStringLiteral("Нет связи с прибором.") : QStringLiteral("Порт отключен."));
        return;
    }
    if (!m_link.mayBegin(this))
        return;
    if (fromFile)
        m_link.serial.setNullDiscard(false);
    m_status.setText(QStringLiteral("Запись БД ТС в прибор."));
    BdtsSendStream = *image;
    if (!BdtsSendStream.startsWith(imageMagic())) {
        endExchange(QString());
        return;
    }
    const auto count = parseCount(BdtsSendStream.mid(10, 3));
    if (BdtsSendStream.size() < HeaderSize || !count) {
        endExchange(QStringLiteral("Неверный формат файла."));
        return;
    }
    BdtsPagesToSend = *count;
    if (BdtsPagesToSend != (fromFile ? m_db.BdtsFilePages : m_db.BdtsPagesToRead)) {
        endExchange(QStringLiteral("Ошибка в создании списка."));
        return;
    }
    if (BdtsPagesToSend < 1 || BdtsPagesToSend > wholePages(BdtsSendStream)) {
        endExchange(QStringLiteral("Неверный формат файла.")); // the pages it counts are not all there
        return;
    }
    if (!m_db.confirmWrite(fromFile, BdtsPagesToSend)) {
        endExchange(QStringLiteral("Запись БД ТС в прибор отменена."));
        return;
    }
    if (m_received.isEmpty()) {
        // The instrument's database has not been read yet: read it first for the backup.
        m_writeAfterRead = true;
        startRead();
        if (busy())
            m_status.setText(QStringLiteral("Чтение БД ТС из прибора для резервной копии."));
        return;
    }
    beginWrite();
}

void BdtsTransfer::beginWrite()
{
    QString failure;
    const QString backup = m_db.backupInstrumentImage(m_received, &failure);
    if (backup.isEmpty()) {
        // The exchange ends before the message box, so nothing runs on behind it.
        // The status line says why (a full disk, a folder in the way), as the command line shows it.
        endExchange(QString(failure).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        m_db.reportProblem(failure);
        return;
    }
    m_lastBackup = backup;
    if (!takeLine(QStringLiteral("запись БД ТС"))) {
        finishExchange(QString());
        return;
    }
    BdtsPageNo = 1;
    setState(State::Writing);
    m_status.setText(QStringLiteral("Запись БД ТС в прибор."));
    send(writeStartCommand(BdtsPagesToSend), 'm');
}

qsizetype BdtsTransfer::replyM(const QByteArray &rx)
{
    if (m_state != State::Writing)
        return ackConsumed(rx);
    if (BdtsPageNo <= BdtsPagesToSend) {
        const QByteArray message = pageCommand(BdtsSendStream, BdtsPageNo - 1);
        m_status.setProgress(StatusModel::percentOf(BdtsPageNo, BdtsPagesToSend));
        ++BdtsPageNo;
        setState(State::Writing);
        send(message, 'm');
        return ackConsumed(rx);
    }
    // Every page sent and acknowledged: read the database back so the list shows what it holds.
    m_status.setProgress(0);
    m_status.setText(QStringLiteral("Отправлено в прибор страниц: %1").arg(BdtsPagesToSend));
    setState(State::Idle);
    emit writeCompleted(BdtsPagesToSend);
    startRead();
    return ackConsumed(rx);
}
