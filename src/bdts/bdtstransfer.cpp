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
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(kBdtsReplyTimeoutMs);
    connect(&m_watchdog, &QTimer::timeout, this, &BdtsTransfer::timedOut);
    m_link.registerBranch('R', [this] { replyR(); });
    m_link.registerBranch('r', [this] { replyPage(); });
    m_link.registerBranch('m', [this] { replyM(); });
}

void BdtsTransfer::setState(State state)
{
    const bool wasBusy = busy();
    const State was = m_state;
    m_state = state;
    if (state == State::Idle)
        m_watchdog.stop();
    else
        m_watchdog.start(); // every request sent gives the instrument the full time again
    if (was != state)
        emit stateChanged(state);
    if (wasBusy != busy())
        emit busyChanged(busy());
}

bool BdtsTransfer::send(const QByteArray &bytes)
{
    if (m_link.SendCommand(bytes))
        return true;
    endExchange(QStringLiteral("Порт отключен."));
    return false;
}

void BdtsTransfer::endExchange(const QString &text)
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
    m_link.RxBuffer.clear();
    m_link.ReplyLen = 0;
    m_link.startPortSearch();
    emit exchangeFailed(text);
}

void BdtsTransfer::timedOut()
{
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
    endExchange(text);
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
    m_link.MSComm1.setNullDiscard(false);
    BdtsHeader = imageMagic();
    // Whatever waits in the buffer belongs to no exchange; it would hide the reply behind it.
    m_link.RxBuffer.clear();
    m_link.ReplyLen = 0;
    setState(State::AwaitingCount);
    if (!send(QByteArrayLiteral("R")))
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

void BdtsTransfer::replyR()
{
    QByteArray &rx = m_link.RxBuffer;
    if (m_state != State::AwaitingCount) {
        rx.clear(); // a reply outside its exchange
        return;
    }
    m_status.setText(QStringLiteral("Чтение БД ТС из прибора."));
    // Whatever the count text holds once no byte is waiting: the instrument sends three
    // characters, but a count of another width or with a line end is read as well.
    const CountReply reply = parseCountReply(rx);
    if (reply.kind == CountReply::Kind::Incomplete)
        return; // nothing of the count yet
    rx.clear();
    m_link.ReplyLen = 0;
    if (reply.kind == CountReply::Kind::NotNumber) {
        const QString text = QStringLiteral("Прибор сообщил число страниц БД ТС, которое не является числом: \"%1\"; "
                                            "чтение не начато.")
                                 .arg(QString::fromLatin1(reply.text.left(20).toPercentEncoding(" ")));
        endExchange(text);
        m_db.reportProblem(text);
        return;
    }
    const int count = reply.count;
    if (count < 1) {
        const QString text = QStringLiteral("Прибор сообщил %1 страниц БД ТС; чтение не начато, прежний список "
                                            "прибора сохранён.")
                                 .arg(count);
        endExchange(text);
        m_db.reportProblem(text);
        return;
    }
    if (count > MaxPages) {
        endExchange(QStringLiteral("Прибор сообщил %1 страниц БД ТС, допустимо не более %2; чтение не начато.")
                        .arg(count)
                        .arg(MaxPages));
        return;
    }
    m_pagesToRead = count;
    BdtsPageNo = 1;
    BdtsHeader += formatCount(count); // three characters whatever width the instrument sent
    m_incoming = BdtsHeader.left(HeaderSize);
    m_incoming.reserve(HeaderSize + qint64(PageSize) * m_pagesToRead);
    setState(State::ReceivingPages);
    send(QByteArrayLiteral("r"));
}

void BdtsTransfer::replyPage()
{
    QByteArray &rx = m_link.RxBuffer;
    if (m_state != State::ReceivingPages || BdtsPageNo > m_pagesToRead) {
        rx.clear();
        return;
    }
    const PageReply reply = parsePageReply(rx);
    if (reply.kind == PageReply::Kind::Incomplete)
        return; // the rest of the page is on its way
    if (reply.kind == PageReply::Kind::Overlong) {
        endExchange(QStringLiteral("Ошибка приёма страницы %1 БД ТС из прибора: %2 байт вместо %3.")
                        .arg(BdtsPageNo)
                        .arg(rx.size())
                        .arg(PageReplySize));
        return;
    }
    m_incoming.append(reply.page);
    if (BdtsPageNo == m_pagesToRead - 2)
        m_status.setText(QStringLiteral("Принято из прибора страниц: %1").arg(BdtsPageNo));
    if (BdtsPageNo < m_pagesToRead) {
        ++BdtsPageNo;
        m_status.setProgress(StatusModel::percentOf(BdtsPageNo, m_pagesToRead));
        m_link.ReplyLen = 0;
        rx.clear();
        setState(State::ReceivingPages);
        send(QByteArrayLiteral("r"));
        return;
    }
    finishRead();
}

void BdtsTransfer::finishRead()
{
    m_watchdog.stop(); // every page is here; a message box shown while the lists are rebuilt must not time the read out
    m_received = m_incoming;
    m_db.BdtsSorStream = m_incoming;
    m_db.BdtsPagesToRead = m_pagesToRead;
    m_incoming.clear();
    m_db.finishRead();
    m_link.RxBuffer.clear();
    m_link.ReplyLen = 0;
    if (m_writeAfterRead) {
        m_writeAfterRead = false;
        beginWrite();
        return;
    }
    setState(State::Idle);
    m_link.startPortSearch();
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
    m_link.stopPortSearch();
    if (fromFile)
        m_link.MSComm1.setNullDiscard(false);
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
        endExchange(QStringLiteral("Не удалось сохранить резервную копию БД ТС прибора; запись не начата."));
        m_db.reportProblem(failure);
        return;
    }
    m_lastBackup = backup;
    BdtsPageNo = 1;
    m_link.RxBuffer.clear();
    m_link.ReplyLen = 0;
    setState(State::Writing);
    m_status.setText(QStringLiteral("Запись БД ТС в прибор."));
    send(writeStartCommand(BdtsPagesToSend));
}

void BdtsTransfer::replyM()
{
    QByteArray &rx = m_link.RxBuffer;
    if (m_state != State::Writing) {
        rx.clear();
        return;
    }
    rx.clear();
    m_link.ReplyLen = 0;
    if (BdtsPageNo <= BdtsPagesToSend) {
        const QByteArray message = pageCommand(BdtsSendStream, BdtsPageNo - 1);
        m_status.setProgress(StatusModel::percentOf(BdtsPageNo, BdtsPagesToSend));
        ++BdtsPageNo;
        setState(State::Writing);
        send(message);
        return;
    }
    // Every page sent and acknowledged: read the database back so the list shows what it holds.
    m_status.setProgress(0);
    m_status.setText(QStringLiteral("Отправлено в прибор страниц: %1").arg(BdtsPagesToSend));
    setState(State::Idle);
    emit writeCompleted(BdtsPagesToSend);
    startRead();
}
