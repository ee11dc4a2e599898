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

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class InstrumentLink;
class InstrumentOperation;
class PortCatalog;
struct JobOutcome;

// The working-files folder of a command (--work-dir, else the program's folder), with a trailing
// separator: the database's working files, the backups and the journal live there.
QString workingFolderOf(const CliOptions &options);

// The dialog seam of the command line: the files were named on the command line, questions were
// answered by giving the command. What a box would show is journalled by the session's seam();
// the command learns its outcome from the operation, never from a box.
class CliDialogs final : public UserDialogs {
public:
    QString openAnswer;   // the file the command designates
    QString saveAnswer;
    bool confirm = true;  // the answer to a yes/no question
    std::function<void()> onQuestion; // told each time a question is put

    QString askSaveFile(const FileDialogRequest &) override { return saveAnswer; }
    QString askOpenFile(const FileDialogRequest &) override { return openAnswer; }
    bool warnYesNo(const QString &caption, const QString &text) override;
    void showError(const QString &caption, const QString &text) override;
};

// Ctrl-C (or SIGTERM): the first asks the running job to stop by its own rule (a phase that must
// not be cut is finished first), a second one forces the stop, a third ends the program at once.
void installInterruptHandler();
bool interruptRequested();
int interruptCount();

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
    // With onlyOne and no port named, every listed port is probed and more than one answering is
    // refused (exit 2, the answering ports listed). The link is bound to the port found.
    InstrumentMode findInstrument(Outcome *failure, bool onlyOne = false);
    // The working mode, else a failure that says what to do.
    std::optional<Outcome> requireWorking(bool onlyOne = false);

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

    // Runs an operation to its outcome: start() starts it, the progress bar shows progress()
    // meanwhile. Ctrl-C asks it to stop; during a phase that must not be cut the stop is held until
    // the phase ends (and the operator is told so), a second Ctrl-C forces it. A port that vanishes
    // is reported to the link as lost, so the operation ends as such.
    JobOutcome runOperation(InstrumentOperation &operation, const std::function<void()> &start,
                            const std::function<Progress()> &progress = {});
    // The command's outcome for an operation's: the text, the next step, the port, and in JSON
    // the kind ("outcome"), the differing pages and the backup.
    Outcome outcomeOf(const JobOutcome &job) const;

    // The usual texts of a failed exchange.
    Outcome silentFailure(const QString &what) const;
    Outcome portLostFailure(const QString &what) const;
    Outcome interruptedFailure(const QString &what) const;
    // Fields every outcome of an instrument command carries in JSON.
    void addPortFields(Outcome &outcome) const;

private:
    // Marks the port lost when its device file has gone (checked at most every 200 ms).
    void lookForVanishedDevice(QElapsedTimer &sinceLook);

    const CliOptions &m_options;
    CliReporter &m_reporter;
    std::unique_ptr<StatusJournal> m_statusFeed;
    std::unique_ptr<JournalingDialogs> m_journaled;
    std::unique_ptr<InstrumentLink> m_link;
    ProgressBar m_bar;
    QString m_portName;
    QString m_device;
};
