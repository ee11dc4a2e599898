#pragma once
// What feeds the journal from the program's own reporting channels: the status line and the
// message boxes of the dialog seam.
#include "core/dialogs.h"
#include "core/journal.h"

#include <QObject>
#include <QString>

class StatusModel;

// Journals the texts of the status line. The link check rewrites the line every 500 ms; the texts
// it sets between beginTick() and endTick() are journalled only when the text it leaves differs
// from the one it left at the tick before (a change of the link state). A counter that a status
// text repeats with new numbers ("Принято из прибора страниц: 17") gives two entries, its first
// and its last value. Texts that report a failure by their wording are warnings (errors when
// they say "Ошибка").
class StatusJournal : public QObject {
    Q_OBJECT
public:
    StatusJournal(StatusModel &status, Journal &journal, QObject *parent = nullptr);
    ~StatusJournal() override;

    void beginTick();
    // stateKnown false: the tick could not know the link yet (a port just opened, its probe not
    // yet answered); its text is not journalled.
    void endTick(bool stateKnown = true);
    // Journals a counter's last value now (before an entry that must follow it).
    void flush() { flushHeld(); }

    static JournalKind kindOf(const QString &text);

private:
    void onText(const QString &text);
    void journalNow(const QString &text);
    void flushHeld();

    Journal &m_journal;
    bool m_inTick = false;
    QString m_tickText;      // the text the running tick has left so far
    QString m_lastTickText;  // the text the previous tick left
    QString m_lastJournalled;
    QString m_lastShape;     // the last journalled text with its numbers masked
    QString m_held;          // a later value of that counter, not yet journalled
    QDateTime m_heldWhen;
};

// The dialog seam with every message box's text journalled (the file dialogs are passed on
// unchanged: what is written is journalled by the file helpers).
class JournalingDialogs final : public UserDialogs {
public:
    JournalingDialogs(UserDialogs &inner, Journal &journal) : m_inner(inner), m_journal(journal) {}
    QString askSaveFile(const FileDialogRequest &request) override { return m_inner.askSaveFile(request); }
    QString askOpenFile(const FileDialogRequest &request) override { return m_inner.askOpenFile(request); }
    bool warnYesNo(const QString &caption, const QString &text) override;
    void showError(const QString &caption, const QString &text) override;

private:
    UserDialogs &m_inner;
    Journal &m_journal;
};
