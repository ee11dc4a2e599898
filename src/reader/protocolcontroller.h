#pragma once
// The page "Результаты" without its widgets: the two-step protocol exchange (branches 'g', 'N',
// 'd'), the working file, the automatic save under the header's name, the save and clear buttons,
// and the text and states the page shows.
#include "core/joboutcome.h"
#include "link/featurecontext.h"
#include "link/instrumentlink.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class ProtocolController : public QObject {
    Q_OBJECT
public:
    explicit ProtocolController(FeatureContext context, QObject *parent = nullptr);

    // Length of the body reply as last announced (tag and final character included); 0 before.
    int ProtokolLen = 0;
    // The body of the protocol being received or last received.
    QByteArray ProtokolStream;
    // The name of the last automatic save.
    QString ProtokolFileName;

    // What the text view protocolView shows: the working file's content decoded from Windows-1251.
    const QString &memoText() const { return m_memo; }

    bool saveEnabled() const { return m_saveEnabled; }
    bool autoRead() const { return m_autoRead; }
    bool autoSave() const { return m_autoSave; }
    void setAutoRead(bool ticked);
    void setAutoSave(bool ticked);

    // Buttons ("Принять данные" is never disabled).
    void btnReadProtokolClick() { requestProtocol(); }
    // Asks the instrument for the protocol ("Принять данные"); false when refused (fetchEnded says why).
    bool requestProtocol();
    // Gives a running fetch up.
    void cancelFetch();
    void btnSaveProtokolClick();
    void btnClearProtocolClick();

    // Receive branches: each is handed the waiting bytes, its tag first, and answers how many it
    // took (InstrumentLink::NeedMore: none yet).
    qsizetype branchNotice(const QByteArray &waiting);       // 'g': results ready, fetch at once
    qsizetype branchAnnouncement(const QByteArray &waiting); // 'N': 6 characters, the body's length
    qsizetype branchBody(const QByteArray &waiting);         // 'd': the body, exactly ProtokolLen characters

    // Takes a complete body reply: working file, text view, automatic save. False when the
    // working file could not be written.
    bool acceptBody(const QByteArray &reply);

signals:
    void stateChanged();
    void memoChanged();
    // The results-ready notice: the optical density page's request button is enabled.
    void resultsNotice();
    // A complete body has been taken in (ProtokolStream holds it); written tells whether the
    // working file could be written.
    void protocolReceived(bool written);
    // The exchange ended without a protocol: the announcement was no number or no length, or a
    // body came without an announcement. The text says which.
    void protocolRefused(const QString &why);
    // A fetch (asked for, or started by the instrument's notice) has taken the line.
    void fetchBegun();
    // A fetch has ended, or was refused before it began: once for every fetch asked for.
    void fetchEnded(const JobOutcome &outcome);

private:
    bool beginFetch();
    bool askLength();
    void exchangeEnded();
    void autoSaveProtocol();
    void setMemoFrom(const QByteArray &bytes);

    FeatureContext m_ctx;
    QString m_memo;
    bool m_saveEnabled = false;
    bool m_autoRead = false;
    bool m_autoSave = false;
    bool m_autoReadByExchange = false; // "автоприем данных" was ticked by the notice of the running fetch
};
