#pragma once
// The database exchange with the instrument: a read ("R", then "r" per page) and a write ("M"
// with the page count, then "m" + one page per acknowledgement, then a read-back). The state of
// the exchange is explicit, so that a reply outside its exchange is not acted on; an exchange
// that hears nothing from the instrument for kBdtsReplyTimeoutMs ends with a clear status text;
// no exchange starts over a running one; a read can be cancelled; and before the program writes a
// database into the instrument it asks the operator and keeps the instrument's current image as a
// backup file (bdtsbackup.h).
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class BdtsDatabase;
class InstrumentLink;
class StatusModel;

// The longest the instrument may stay silent within an exchange. A page reply is 514 bytes: at
// the slowest line speed offered (4800 baud, 480 bytes/s) it takes 1.1 s on the line, at 115200
// baud 45 ms; the rest leaves the instrument time to store a page it was sent.
constexpr int kBdtsReplyTimeoutMs = 5000;

class BdtsTransfer : public QObject {
    Q_OBJECT
public:
    enum class State { Idle, AwaitingCount, ReceivingPages, Writing };

    BdtsTransfer(InstrumentLink &link, StatusModel &status, BdtsDatabase &database, QObject *parent = nullptr);

    State state() const { return m_state; }
    bool busy() const { return m_state != State::Idle; }
    bool reading() const { return m_state == State::AwaitingCount || m_state == State::ReceivingPages; }

    // Starts a read of the instrument's database.
    void RequestBdtsRead();
    enum class Source { File, Instrument };
    // Writes the file image (file list "в прибор") or the edited instrument image (instrument
    // list "в прибор").
    // Asks first (Yes/No) and keeps a backup of the instrument's database before sending.
    void startWrite(Source source);
    // Stops a running read; the image and list from before it stay. A write is never stopped:
    // the instrument would be left with part of a database.
    void cancelRead();

    void setReplyTimeout(int ms) { m_watchdog.setInterval(ms); }
    int replyTimeout() const { return m_watchdog.interval(); }
    // The file the last backup went to (empty before the first write).
    QString lastBackup() const { return m_lastBackup; }
    // The instrument's image exactly as last received (empty before the first read).
    const QByteArray &instrumentImage() const { return m_received; }

    // Reply branches of the dispatcher.
    void replyR();
    void replyPage();
    void replyM();

signals:
    void busyChanged(bool busy);
    void stateChanged(BdtsTransfer::State state);
    // A read has ended with the whole database received (also the read-back after a write; the
    // read that only fetches the backup before a write goes on into the write instead).
    void readCompleted();
    // Every page of a write has been sent and acknowledged; the read-back starts next.
    void writeCompleted(int pages);
    // An exchange ended before its end or was refused at its start: the instrument fell silent,
    // the port closed, a reply or an image was refused. The text is the one the status line shows (empty when it shows none).
    void exchangeFailed(const QString &text);

private:
    void setState(State state);
    bool send(const QByteArray &bytes);
    void startRead();
    void finishRead();
    void beginWrite();
    void endExchange(const QString &text);
    void timedOut();

    InstrumentLink &m_link;
    StatusModel &m_status;
    BdtsDatabase &m_db;
    State m_state = State::Idle;
    QTimer m_watchdog;

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
