#pragma once
// One command's time with the instrument: the program's link on the chosen port (with the meter
// around its device), the status line, the dialog seam answered by the command line, the search
// for the instrument, and the wait for an exchange with its progress bar, the instrument's
// silence, a lost port and Ctrl-C.
#include "cli/meteredserial.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/reporter.h"
#include "core/dialogs.h"
#include "core/journalfeeds.h"
#include "core/status.h"
#include "link/featurecontext.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class InstrumentLink;
class PortCatalog;

// The working-files folder of a command (--work-dir, else the program's folder), with a trailing
// separator: the database's working files, the backups and the journal live there.
QString workingFolderOf(const CliOptions &options);

// The dialog seam of the command line: the files were named on the command line, questions were
// answered by giving the command, and what a dialog would show is kept for the outcome (the
// session's seam() journals it, as the window's seam does).
class CliDialogs final : public UserDialogs {
public:
    QString openAnswer;   // the file the command designates
    QString saveAnswer;
    bool confirm = true;  // the answer to a yes/no question
    QString lastError;
    QString lastWarning;

    QString askSaveFile(const FileDialogRequest &) override { return saveAnswer; }
    QString askOpenFile(const FileDialogRequest &) override { return openAnswer; }
    bool warnYesNo(const QString &caption, const QString &text) override;
    void showError(const QString &caption, const QString &text) override;
};

// Ctrl-C: the first asks the running exchange to end cleanly, a second one ends the program.
void installInterruptHandler();
bool interruptRequested();

enum class InstrumentMode { None, Working, Loader };

class InstrumentSession : public QObject {
    Q_OBJECT
public:
    InstrumentSession(const CliOptions &options, CliReporter &reporter);
    ~InstrumentSession() override;

    StatusModel status;
    CliDialogs dialogs;
    // The dialog seam the exchanges are given: the command line's answers, each message journalled.
    UserDialogs &seam() { return m_journaled ? static_cast<UserDialogs &>(*m_journaled) : dialogs; }
    // The status texts reach the journal as in the window: a link check's texts only when they
    // change (between beginTick() and endTick()), a counter by its first and last value.
    void beginTick()
    {
        if (m_statusFeed)
            m_statusFeed->beginTick();
    }
    void endTick()
    {
        if (m_statusFeed)
            m_statusFeed->endTick();
    }
    LineMeter meter;
    QString programDir; // with a trailing separator

    // Opens the named port, or each listed port in turn until the instrument answers the probe.
    // Returns the mode it answered in; with None, *failure says why (no port, cannot be opened,
    // no answer).
    InstrumentMode findInstrument(Outcome *failure);
    // The working mode, else a failure that says what to do.
    std::optional<Outcome> requireWorking();

    InstrumentLink &link() { return *m_link; }
    FeatureContext context();
    QString portName() const { return m_portName; } // "COM3" or the device path
    QString device() const { return m_device; }     // what was opened

    enum class End { Done, Silent, PortLost, Interrupted, TimeLimit };
    struct Progress {
        qint64 bytes = 0;
        double fraction = -1.0;
    };
    // Runs the event loop until done() holds, or the instrument stays silent for silenceMs
    // (0: not watched), or the port is lost (when portLossEnds), or Ctrl-C, or limitMs passes
    // (0: none). The progress bar shows progress() meanwhile.
    End wait(const std::function<bool()> &done, const std::function<Progress()> &progress = {}, int silenceMs = 0,
             int limitMs = 0, bool portLossEnds = true);
    int silenceMs() const { return m_options.timeoutMs; }
    void clearProgress() { m_bar.finish(); }

    // The usual texts of a failed exchange.
    Outcome silentFailure(const QString &what) const;
    Outcome portLostFailure(const QString &what) const;
    Outcome interruptedFailure(const QString &what) const;
    // Fields every outcome of an instrument command carries in JSON.
    void addPortFields(Outcome &outcome) const;

private:
    const CliOptions &m_options;
    CliReporter &m_reporter;
    std::unique_ptr<StatusJournal> m_statusFeed;
    std::unique_ptr<JournalingDialogs> m_journaled;
    std::unique_ptr<InstrumentLink> m_link;
    ProgressBar m_bar;
    QString m_portName;
    QString m_device;
};
