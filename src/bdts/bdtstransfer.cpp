#include "bdts/bdtstransfer.h"

#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsimage.h"
#include "bdts/bdtsreply.h"
#include "core/status.h"
#include "link/instrumentlink.h"

#include <QDir>

using namespace bdts;

namespace {
QString nativePath(const QString &path) { return QDir::toNativeSeparators(path); }

// How the operator puts the backup back into the instrument from the window.
QString restoreSteps(const QString &backup)
{
    return QStringLiteral("Чтобы вернуть прежнюю БД ТС: на странице «БД ТС» нажмите «из файла...», выберите "
                          "резервную копию %1 и нажмите «в прибор» под списком файла.")
        .arg(nativePath(backup));
}
} // namespace

QList<int> bdts::differingPages(const QByteArray &sent, const QByteArray &back)
{
    QList<int> out;
    const int pages = std::max(wholePages(sent), wholePages(back));
    for (int k = 0; k < pages; ++k)
        if (sent.mid(pageOffset(k), PageSize) != back.mid(pageOffset(k), PageSize))
            out << k + 1;
    return out;
}

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
    if ((was == State::Writing) != (state == State::Writing))
        emit writingPhaseChanged(state == State::Writing);
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

void BdtsTransfer::cutExchange(const QString &text)
{
    finishExchange(text);
    m_link.cutExchange(this);
}

void BdtsTransfer::finishExchange(const QString &text)
{
    const bool wasReading = m_state == State::AwaitingCount || m_state == State::ReceivingPages;
    m_writeAfterRead = false;
    m_readBack = false;
    m_incoming.clear();
    setState(State::Idle);
    m_db.exchangeEnded(wasReading); // the old image is still whole: its list is shown again
    m_status.setProgress(0);
    if (!text.isEmpty())
        m_status.setText(text);
    emit exchangeFailed(text);
}

void BdtsTransfer::aborted(InstrumentLink::ExchangeEnd why)
{
    const bool lost = why == InstrumentLink::ExchangeEnd::PortLost;
    const JobOutcome::Kind kind = lost ? JobOutcome::Kind::PortLost : JobOutcome::Kind::InstrumentSilent;
    if (m_state == State::Writing) {
        const QString text = (lost ? QStringLiteral("Порт отключен: запись БД ТС прервана (отправлено страниц: %1 из %2).")
                                   : QStringLiteral("Прибор не отвечает: запись БД ТС прервана (отправлено страниц: %1 из %2)."))
                                 .arg(std::max(0, BdtsPageNo - 1))
                                 .arg(BdtsPagesToSend);
        const JobOutcome o = writeCut(kind, text);
        finishExchange(o.message());
        endJob(o);
        return;
    }
    if (m_readBack) {
        const JobOutcome o = JobOutcome::make(
            JobOutcome::Kind::WrittenNotVerified,
            QStringLiteral("Все %1 страниц БД ТС записаны в прибор, но проверка чтением прервана: %2.")
                .arg(BdtsPagesToSend)
                .arg(lost ? QStringLiteral("порт отключен") : QStringLiteral("прибор не отвечает")),
            QStringLiteral("Прочитайте БД ТС из прибора и сравните её список со списком файла."));
        finishExchange(o.text);
        endJob(o);
        return;
    }
    const bool forBackup = m_writeAfterRead;
    const QString text = lost ? QStringLiteral("Порт отключен.") : QStringLiteral("Прибор не отвечает: чтение БД ТС прервано.");
    finishExchange(text);
    const QString said = lost ? QStringLiteral("Порт отключен: чтение БД ТС прервано.") : text;
    endJob(JobOutcome::make(kind, forBackup ? said + QStringLiteral(" Запись БД ТС не начата.") : said,
                            lost ? QStringLiteral("Проверьте кабель и питание прибора и повторите.")
                                 : QStringLiteral("Проверьте, что прибор включён в рабочем режиме, и повторите.")));
}

JobOutcome BdtsTransfer::writeCut(JobOutcome::Kind kind, const QString &text)
{
    JobOutcome o = JobOutcome::make(kind, text + QStringLiteral(" БД ТС в приборе может быть неполной."));
    o.mayBeIncomplete = true;
    o.backup = nativePath(m_lastBackup);
    o.nextStep = m_lastBackup.isEmpty() ? QStringLiteral("Запишите БД ТС в прибор ещё раз.") : restoreSteps(m_lastBackup);
    return o;
}

void BdtsTransfer::endJob(JobOutcome outcome)
{
    if (m_job == Job::None)
        return;
    m_job = Job::None;
    m_jobBegun = false;
    m_allWritten = false;
    emit jobEnded(outcome);
}

// A job that ends before it took the line: the status line says why.
void BdtsTransfer::refuse(const QString &text)
{
    if (!text.isEmpty())
        m_status.setText(text);
    endJob(JobOutcome::make(JobOutcome::Kind::Refused, text));
}

bool BdtsTransfer::imageIsCurrent() const
{
    return !m_received.isEmpty() && m_link.portOpen() && m_receivedOn == m_link.connectionId();
}

void BdtsTransfer::RequestBdtsRead()
{
    if (busy() || m_job != Job::None) {
        m_status.setText(QStringLiteral("Идёт обмен БД ТС с прибором, дождитесь окончания."));
        return; // the running job goes on and ends on its own
    }
    m_job = Job::Read;
    startRead();
}

void BdtsTransfer::startRead()
{
    if (!m_link.portOpen()) {
        endExchange(QStringLiteral("Порт отключен."));
        refuse(QStringLiteral("Порт отключен."));
        return;
    }
    // Whatever waits in the buffer belongs to no exchange: taking the line empties it.
    if (!takeLine(QStringLiteral("чтение БД ТС"))) {
        refuse(m_status.text());
        return;
    }
    if (!m_jobBegun) {
        m_jobBegun = true;
        emit jobBegun();
    }
    m_link.setNullDiscard(false);
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
    if (m_readBack) {
        stopWrite(false);
        return;
    }
    // Replies still on their way arrive outside any exchange and are dropped.
    const QString text = m_writeAfterRead ? QStringLiteral("Чтение БД ТС для резервной копии прервано; запись не начата.")
                                          : QStringLiteral("Чтение БД ТС из прибора прервано.");
    cutExchange(text);
    endJob(JobOutcome::make(JobOutcome::Kind::Cancelled, text));
}

void BdtsTransfer::stopWrite(bool forced)
{
    if (m_job != Job::Write)
        return;
    if (m_state == State::Writing) {
        if (!forced)
            return; // the writing phase is not cut on request: the instrument would hold part of a database
        const JobOutcome o = writeCut(JobOutcome::Kind::Cancelled,
                                      QStringLiteral("Запись БД ТС прервана (отправлено страниц: %1 из %2).")
                                          .arg(std::max(0, BdtsPageNo - 1))
                                          .arg(BdtsPagesToSend));
        cutExchange(o.message());
        endJob(o);
        return;
    }
    if (m_readBack || m_allWritten) {
        const JobOutcome o = JobOutcome::make(JobOutcome::Kind::WrittenNotVerified,
                                              QStringLiteral("Все %1 страниц БД ТС записаны в прибор; проверка чтением прервана.")
                                                  .arg(BdtsPagesToSend),
                                              QStringLiteral("Прочитайте БД ТС из прибора и сравните её список со списком файла."));
        endExchange(o.text);
        endJob(o);
        return;
    }
    if (reading())
        cancelRead(); // the backup read: nothing has been written
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
        endJob(JobOutcome::make(JobOutcome::Kind::Refused, text));
        m_db.reportProblem(text);
        return reply.consumed;
    }
    const int count = reply.count;
    if (count < 1) {
        const QString text = QStringLiteral("Прибор сообщил %1 страниц БД ТС; чтение не начато, прежний список "
                                            "прибора сохранён.")
                                 .arg(count);
        endExchange(text);
        endJob(JobOutcome::make(JobOutcome::Kind::Refused, text));
        m_db.reportProblem(text);
        return reply.consumed;
    }
    if (count > MaxPages) {
        const QString text = QStringLiteral("Прибор сообщил %1 страниц БД ТС, допустимо не более %2; чтение не начато.")
                                 .arg(count)
                                 .arg(MaxPages);
        endExchange(text);
        endJob(JobOutcome::make(JobOutcome::Kind::Refused, text));
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
        m_status.setText(QStringLiteral("Принято из прибора страниц: %1 из %2").arg(BdtsPageNo).arg(m_pagesToRead));
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
    m_receivedOn = m_link.connectionId();
    m_db.takeInstrumentImage(m_incoming, m_pagesToRead);
    m_incoming.clear();
    if (m_writeAfterRead) {
        m_writeAfterRead = false;
        beginWrite();
        return;
    }
    const bool readBack = m_readBack;
    m_readBack = false;
    setState(State::Idle);
    emit readCompleted();
    if (readBack) {
        finishWrite();
        return;
    }
    endJob(JobOutcome::make(JobOutcome::Kind::Completed,
                            QStringLiteral("БД ТС прибора прочитана: тест-систем %1, страниц %2.")
                                .arg(m_db.BdtsTsCount)
                                .arg(m_pagesToRead)));
}

// The read-back has ended: what was sent against what the instrument gives back, page by page.
void BdtsTransfer::finishWrite()
{
    const QByteArray sent = BdtsSendStream.left(pageOffset(BdtsPagesToSend));
    const QList<int> differ = differingPages(sent, m_received);
    JobOutcome o;
    if (differ.isEmpty()) {
        o = JobOutcome::make(JobOutcome::Kind::Completed,
                             QStringLiteral("БД ТС записана в прибор и проверена чтением: %1 страниц.").arg(BdtsPagesToSend));
    } else {
        o = JobOutcome::make(JobOutcome::Kind::ReadBackDiffers,
                             QStringLiteral("Проверка записи: БД ТС в приборе отличается от записанной (страница %1 из %2).")
                                 .arg(pageListText(differ))
                                 .arg(BdtsPagesToSend),
                             QStringLiteral("Запишите БД ТС ещё раз; если расхождение повторится, прибор неисправен."));
        o.pages = differ;
        if (!m_lastBackup.isEmpty())
            o.nextStep += QStringLiteral(" Прежняя БД ТС прибора сохранена в файле %1.").arg(nativePath(m_lastBackup));
    }
    o.backup = nativePath(m_lastBackup);
    m_status.setText(o.text);
    endJob(o);
}

void BdtsTransfer::startWrite(Source source)
{
    const bool fromFile = source == Source::File;
    const std::optional<QByteArray> &image = fromFile ? m_db.BdtsFileStream : m_db.BdtsSorStream;
    if (busy() || m_job != Job::None) {
        m_status.setText(QStringLiteral("Идёт обмен БД ТС с прибором, дождитесь окончания."));
        return; // the running job goes on and ends on its own
    }
    m_job = Job::Write;
    m_readBack = false;
    m_lastBackup.clear();
    if (!image) {
        refuse(QStringLiteral("Список не считан из файла."));
        return;
    }
    if (!m_link.portOpen()) {
        refuse(fromFile ? QStringLiteral("Нет связи с прибором.") : QStringLiteral("Порт отключен."));
        return;
    }
    if (!m_link.mayBegin(this)) {
        refuse(m_status.text());
        return;
    }
    if (fromFile)
        m_link.setNullDiscard(false);
    m_status.setText(QStringLiteral("Запись БД ТС в прибор."));
    BdtsSendStream = *image;
    auto refuseWrite = [this](const QString &text) {
        endExchange(text);
        endJob(JobOutcome::make(JobOutcome::Kind::Refused, text.isEmpty() ? QStringLiteral("Неверный формат файла.") : text));
    };
    if (!BdtsSendStream.startsWith(imageMagic())) {
        refuseWrite(QString());
        return;
    }
    const auto count = parseCount(BdtsSendStream.mid(10, 3));
    if (BdtsSendStream.size() < HeaderSize || !count) {
        refuseWrite(QStringLiteral("Неверный формат файла."));
        return;
    }
    BdtsPagesToSend = *count;
    if (BdtsPagesToSend != (fromFile ? m_db.BdtsFilePages : m_db.BdtsPagesToRead)) {
        refuseWrite(QStringLiteral("Ошибка в создании списка."));
        return;
    }
    if (BdtsPagesToSend < 1 || BdtsPagesToSend > wholePages(BdtsSendStream)) {
        refuseWrite(QStringLiteral("Неверный формат файла.")); // the pages it counts are not all there
        return;
    }
    m_writeFromFile = fromFile;
    // The backup is of what the instrument holds now: the image held is taken only when it was
    // read from this instrument since the port last opened and the link has not dropped since;
    // otherwise (another instrument may be on the line now, or nothing was read yet) the database
    // is read first. The question comes after that read: it names the test systems the write
    // would take from the instrument.
    if (!imageIsCurrent()) {
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
    if (!m_db.confirmWrite(m_writeFromFile, BdtsPagesToSend, m_received)) {
        const QString text = QStringLiteral("Запись БД ТС в прибор отменена.");
        endExchange(text);
        endJob(JobOutcome::make(JobOutcome::Kind::Cancelled, text));
        return;
    }
    QString failure;
    const QString backup = m_db.backupInstrumentImage(m_received, &failure);
    if (backup.isEmpty()) {
        // The exchange ends before the message box, so nothing runs on behind it.
        // The status line says why (a full disk, a folder in the way), as the command line shows it.
        const QString why = QString(failure).replace(QLatin1Char('\n'), QLatin1Char(' '));
        endExchange(why);
        endJob(JobOutcome::make(JobOutcome::Kind::Refused,
                                QStringLiteral("Не удалось сохранить резервную копию БД ТС прибора; запись не начата."), why));
        m_db.reportProblem(failure);
        return;
    }
    m_lastBackup = backup;
    if (!takeLine(QStringLiteral("запись БД ТС"))) {
        finishExchange(QString());
        refuse(m_status.text());
        return;
    }
    if (!m_jobBegun) {
        m_jobBegun = true;
        emit jobBegun();
    }
    BdtsPageNo = 1;
    m_allWritten = false;
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
    // Every page sent and acknowledged: read the database back so the list shows what it holds,
    // and compare it with what was sent.
    m_status.setProgress(0);
    m_status.setText(QStringLiteral("Отправлено в прибор страниц: %1").arg(BdtsPagesToSend));
    m_allWritten = true;
    setState(State::Idle);
    emit writeCompleted(BdtsPagesToSend);
    if (m_job != Job::Write)
        return rx.size(); // a stop held during the writing phase ended the job just now
    m_readBack = true;
    startRead();
    return ackConsumed(rx);
}
