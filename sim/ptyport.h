#pragma once
// The virtual instrument's end of the line: a pseudo-terminal published as COM<n> (a link in a
// port folder), with the knobs a real line and a real instrument have: replies in chunks with
// delays, a line-rate limit both ways (a pseudo-terminal has no baud rate), a stalled output.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class QSocketNotifier;

class PtyPort : public QObject {
    Q_OBJECT
public:
    PtyPort(QString folder, int comNumber, QObject *parent = nullptr);
    ~PtyPort() override;

    // Creates the pseudo-terminal and the link. False with errorString() on failure.
    bool open();
    // Removes the link and closes the terminal: the program's side sees the port vanish.
    void close();
    bool isOpen() const { return m_master >= 0; }
    QString errorString() const { return m_error; }
    QString linkPath() const;
    QString slavePath() const { return m_slavePath; }
    int comNumber() const { return m_com; }

    // Queues bytes for the PC.
    void write(const QByteArray &bytes);

    // Knobs.
    void setChunking(int chunkBytes, int delayMs); // 0 bytes = whole writes
    void setLineRate(int bytesPerSecond);           // 0 = unlimited; applies both ways
    void setStalled(bool stalled);                  // output held back while true
    int lineRate() const { return m_rate; }
    qint64 pendingOutput() const { return m_out.size(); }
    // Line time this end lost while the PC's bytes waited for it, in bytes at the line rate: its
    // event loop came back later than the few milliseconds of credit it keeps. A slower transfer
    // by this much is the virtual instrument's doing, not the program's (for measurements).
    qint64 inputLost() const { return m_inLost; }
    // The same for this end's own bytes waiting to go to the PC.
    qint64 outputLost() const { return m_outLost; }

signals:
    void received(const QByteArray &bytes);

private:
    void onReadable();
    void pump();
    void scheduleRefill();
    qint64 budget(qint64 &credit);
    void refillCredit();

    QString m_folder;
    int m_com;
    int m_master = -1;
    int m_slaveKeep = -1; // our own hold on the slave, so the master never reads a hang-up
    QString m_slavePath;
    QString m_error;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    QByteArray m_out;
    QTimer m_pumpTimer;
    QTimer m_refill;
    int m_chunk = 0;
    int m_chunkDelay = 0;
    int m_rate = 0;
    bool m_stalled = false;
    qint64 m_inCredit = 0;
    qint64 m_outCredit = 0;
    qint64 m_lastRefillNs = 0;
    qint64 m_inLost = 0;
    qint64 m_outLost = 0;
    bool m_outBlocked = false; // the last write found the terminal full
};
