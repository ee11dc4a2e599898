#pragma once
// The program's journal and line monitor, and what feeds them: the status line, the message
// boxes, the serial port's events, the database exchanges. The main window owns one and opens
// its window from the menu "Пользователю".
#include "core/journal.h"
#include "core/journalfeeds.h"
#include "core/linemonitor.h"

#include <QObject>

#include <memory>

class QLabel;
class QWidget;
class InstrumentLink;
class StatusModel;
class JournalWindow;

class ProgramJournal : public QObject {
    Q_OBJECT
public:
    // Opens the journal in workingFolder/logs and makes it the program's journal.
    ProgramJournal(const QString &workingFolder, StatusModel &status, QObject *parent = nullptr);
    ~ProgramJournal() override;

    Journal journal;
    LineMonitor monitor;
    StatusJournal statusFeed;

    // The dialog seam with its message boxes journalled.
    UserDialogs &dialogs(UserDialogs &inner);
    // The port's events and problems, and the monitor's tap on the serial control.
    void attachLink(InstrumentLink &link);
    // The status pane shows the last warning or error as its tooltip.
    void attachStatusPane(QLabel *pane);

    // The journal window, made at the first call, shown and raised.
    JournalWindow *showWindow(QWidget *parent);
    JournalWindow *window() const { return m_window; }

private:
    std::unique_ptr<JournalingDialogs> m_dialogs;
    JournalWindow *m_window = nullptr; // a child of the main window, deleted here first
    QString m_portName;
    QString m_lastProblem;
};
