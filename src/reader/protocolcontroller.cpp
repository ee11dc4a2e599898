#include "reader/protocolcontroller.h"

#include "core/cp1251.h"
#include "core/files.h"
#include "core/journal.h"
#include "core/status.h"
#include "link/instrumentlink.h"
#include "reader/protocol.h"
#include "reader/readerfiles.h"

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

void ProtocolController::btnReadProtokolClick()
{
    InstrumentLink &link = m_ctx.link;
    if (!link.portOpen()) {
        m_ctx.status.setText(QStringLiteral("Порт отключен."));
        return;
    }
    link.stopPortSearch();
    journal::exchangeStarted(QStringLiteral("Приём протокола результатов"));
    // The protocol is text: zero bytes on the line are noise and are dropped.
    link.MSComm1.setNullDiscard(true);
    link.RxBuffer.clear();
    link.ReplyLen = 0;
    ProtokolFileName.clear();
    ProtokolStream.clear();
    link.SendCommand(QByteArrayLiteral("g"));
}

void ProtocolController::branchNotice()
{
    InstrumentLink &link = m_ctx.link;
    link.RxBuffer.clear();
    link.ReplyLen = 0;
    emit resultsNotice();
    m_ctx.status.setText(QStringLiteral("Результаты измерений готовы"));
    setAutoRead(true);
    ProtokolLen = 0;
    link.stopPortSearch();
    journal::exchangeStarted(QStringLiteral("Приём протокола результатов"));
    link.SendCommand(QByteArrayLiteral("g"));
}

void ProtocolController::branchAnnouncement()
{
    InstrumentLink &link = m_ctx.link;
    if (link.RxBuffer.size() != protokol::AnnouncementLength)
        return;
    link.ReplyLen = 0;
    const QByteArray announcement = link.RxBuffer;
    link.RxBuffer.clear();
    const std::optional<int> length = protokol::announcedLength(announcement);
    if (!length) {
        // Not a number: the exchange ends here and the link check resumes.
        ProtokolLen = 0;
        const QString why = QStringLiteral("Неверная длина протокола: ") + readerfiles::printable(announcement.mid(1));
        m_ctx.status.setText(why);
        journal::exchangeEnded(why);
        link.startPortSearch();
        emit protocolRefused(why);
        return;
    }
    ProtokolLen = *length;
    if (ProtokolLen <= 0) {
        emit protocolRefused(QStringLiteral("Прибор сообщил длину протокола %1: протокола нет.").arg(ProtokolLen));
        return;
    }
    ProtokolFileName.clear();
    ProtokolStream.clear();
    link.SendCommand(QByteArrayLiteral("d"));
}

void ProtocolController::branchBody()
{
    InstrumentLink &link = m_ctx.link;
    link.ReplyLen = int(link.RxBuffer.size());
    if (ProtokolLen <= 0) {
        // No length was announced: the reply cannot be measured. It is dropped so that later
        // replies are recognised by their own tag.
        link.RxBuffer.clear();
        link.ReplyLen = 0;
        m_ctx.status.setText(QStringLiteral("Протокол без объявленной длины отброшен."));
        emit protocolRefused(m_ctx.status.text());
        return;
    }
    m_ctx.status.setProgress(StatusModel::percentOf(link.ReplyLen, ProtokolLen));
    if (link.ReplyLen != ProtokolLen)
        return;
    const QByteArray reply = link.RxBuffer;
    // The exchange ends here whatever becomes of the files: the buffer is emptied so the next
    // reply is recognised, and the link check resumes.
    link.RxBuffer.clear();
    link.ReplyLen = 0;
    acceptBody(reply);
    journal::exchangeEnded(m_ctx.status.text());
    link.startPortSearch();
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
    // The header is the instrument's text: it may only name a file in the program folder.
    const QString name = readerfiles::writeUnderInstrumentName(m_ctx, raw, ProtokolStream, QStringLiteral("Имя протокола отклонено"));
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

void ProtocolController::btnClrMemo1Click()
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
