#pragma once
// The database exchange with the instrument: a read ("R", then "r" per page) and a write ("M"
// with the page count, then "m" + one page per acknowledgement, then a read-back). The state of
// the exchange is explicit, so that a reply outside its exchange is not acted on; an exchange
// that hears nothing from the instrument for kBdtsReplyTimeoutMs, or whose port is lost, is ended
// by the link and this class then shows a clear status text;
// no exchange starts over a running one; a read can be cancelled; and before the program writes a
// database into the instrument it asks the operator and keeps the instrument's current image as a
// backup file (bdtsbackup.h).
#include "core/joboutcome.h"
#include "link/instrumentlink.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class BdtsDatabase;
class StatusModel;

namespace bdts {
// Pages (from 1) where two images differ; a page missing on one side differs.
QList<int> differingPages(const QByteArray &sent, const QByteArray &back);
} // namespace bdts

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

    // The job a call of RequestBdtsRead() or startWrite() began; it ends with jobEnded().
    enum class Job { None, Read, Write };
    Job job() const { return m_job; }

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
    // Stops a running write job. Before its writing phase (the backup read) it ends with nothing
    // written; in its writing phase only when forced (the instrument may then hold part of a
    // database, and the outcome says so and names the backup); in the read-back it ends with
    // every page written but not verified.
    void stopWrite(bool forced);
    // The writing phase: from the write command to the last page's acknowledgement.
    bool writingPhase() const { return m_state == State::Writing; }

    // Applies to the running exchange, counted from now, and to the next ones.
    void setReplyTimeout(int ms);
    int replyTimeout() const { return m_replyTimeoutMs; }
    // The file the last backup went to (empty before the first write).
    QString lastBackup() const { return m_lastBackup; }
    // The instrument's image exactly as last received (empty before the first read).
    const QByteArray &instrumentImage() const { return m_received; }
    // Whether instrumentImage() is what the instrument on the line holds now: it was read from
    // this instrument since the port last opened, and the link has not dropped since.
    bool imageIsCurrent() const;

    // Reply branches of the dispatcher: handed the waiting bytes, they answer how many they took.
    qsizetype replyR(const QByteArray &rx);
    qsizetype replyPage(const QByteArray &rx);
    qsizetype replyM(const QByteArray &rx);

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
    // The job has taken the line (its exchange begins; a job refused before never does).
    void jobBegun();
    // The job has ended: exactly once for every RequestBdtsRead() and startWrite().
    void jobEnded(const JobOutcome &outcome);
    void writingPhaseChanged(bool writing);

private:
    void setState(State state);
    bool takeLine(const QString &name);
    bool send(const QByteArray &bytes, char replyTag);
    void startRead();
    void finishRead();
    void beginWrite();
    // Ends the exchange (the link check resumes) with a status text, or none for an empty one.
    void endExchange(const QString &text);
    // Ends it while the instrument may still be answering: the rest of its answer is dropped.
    void cutExchange(const QString &text);
    // The exchange's own state back to idle, after the feature or the link ended it.
    void finishExchange(const QString &text);
    void aborted(InstrumentLink::ExchangeEnd why);
    // Ends the job with its outcome; the write's outcomes say what the instrument may hold.
    void endJob(JobOutcome outcome);
    JobOutcome writeCut(JobOutcome::Kind kind, const QString &text);
    void refuse(const QString &text);
    void finishWrite();

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
    bool m_writeFromFile = false;
    bool m_readBack = false;       // the read is the check after a write
    bool m_allWritten = false;     // every page of the write has been acknowledged
    bool m_jobBegun = false;
    Job m_job = Job::None;
    QString m_lastBackup;
    quint64 m_receivedOn = 0;      // the link's connection the instrument image was read on
};
