#pragma once
// The database exchange with the instrument: a read ("R", then "r" per page) and a write ("M"
// with the page count, then "m" + one page per acknowledgement, then a read-back). The state of
// the exchange is explicit, so that a reply outside its exchange is not acted on; an exchange
// that hears nothing from the instrument for kBdtsReplyTimeoutMs, or whose port is lost, is ended
// by the link and this class then shows a clear status text;
// no exchange starts over a running one; and before the program writes a database into the
// instrument it keeps the instrument's current image as a backup file in the program folder.
#include "link/instrumentlink.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class BdtsDatabase;
class StatusModel;

// The longest the instrument may stay silent within an exchange: the link's own limit. A page
// reply is 514 bytes: at the slowest line speed offered (4800 baud, 480 bytes/s) it takes 1.1 s
// on the line, at 115200 baud 45 ms; the rest leaves the instrument time to store a page it was sent.
constexpr int kBdtsReplyTimeoutMs = ExchangeIdleTimeoutMs;

class BdtsTransfer : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, AwaitingCount, ReceivingPages, Writing };

    BdtsTransfer(InstrumentLink &link, StatusModel &status, BdtsDatabase &database, QObject *parent = nullptr);
    ~BdtsTransfer() override;

    State state() const { return m_state; }
    bool busy() const { return m_state != State::Idle; }

    // Starts a read of the instrument's database.
    void RequestBdtsRead();
    enum class Source { File, Instrument };
    // Writes the file image (file list "в прибор") or the edited instrument image (instrument
    // list "в прибор").
    void startWrite(Source source);

    // Applies from the next exchange on.
    void setReplyTimeout(int ms) { m_replyTimeoutMs = ms; }
    int replyTimeout() const { return m_replyTimeoutMs; }
    // The file the last backup went to (empty before the first write).
    QString lastBackup() const { return m_lastBackup; }
    // The instrument's image exactly as last received (empty before the first read).
    const QByteArray &instrumentImage() const { return m_received; }

    // Reply branches of the dispatcher: handed the waiting bytes, they answer how many they took.
    qsizetype replyR(const QByteArray &rx);
    qsizetype replyPage(const QByteArray &rx);
    qsizetype replyM(const QByteArray &rx);

signals:
    void busyChanged(bool busy);

private:
    void setState(State state);
    bool takeLine(const QString &name);
    bool send(const QByteArray &bytes, char replyTag);
    void startRead();
    void finishRead();
    void beginWrite();
    // Ends the exchange (the link check resumes) with a status text, or none for an empty one.
    void endExchange(const QString &text);
    // The exchange's own state back to idle, after the feature or the link ended it.
    void finishExchange(const QString &text);
    void aborted(InstrumentLink::ExchangeEnd why);

    InstrumentLink &m_link;
    StatusModel &m_status;
    BdtsDatabase &m_db;
    State m_state = State::Idle;
    int m_replyTimeoutMs = kBdtsReplyTimeoutMs;

    // Read.
    QByteArray BdtsHeader;
    QByteArray m_incoming; // the image being received; it replaces the instrument image when whole
    int m_pagesToRead = 0;
    int BdtsPageNo = 0;
    QByteArray m_received;
    // Write.
    QByteArray BdtsSendStream;
    int BdtsPagesToSend = 0;
    bool m_writeAfterRead = false; // the read is the one that fetches the backup
    QString m_lastBackup;
};
