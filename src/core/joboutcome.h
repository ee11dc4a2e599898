#pragma once
// How one job with the instrument ended, in the words the operator reads: what happened, what to
// do next, and whether the instrument may now hold something incomplete. The window shows it (a
// status bar: text(), severity(), when), kviro-cli prints it and maps it to an exit code, and the
// journal closes the job's exchange with it.
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QString>

struct JobOutcome {
    enum class Kind {
        Completed,          // the job did what it was asked
        Cancelled,          // the operator (or a forced stop) ended it
        InstrumentSilent,   // the instrument stopped answering
        PortLost,           // the port closed under the job
        Refused,            // not started or given up for a reason the text names
        ReadBackDiffers,    // written, but the instrument gives back something else (page)
        WrittenNotVerified, // every page written; the check that follows was cut
    };
    enum class Severity { Info, Warning, Error };

    Kind kind = Kind::Completed;
    QString job;        // the job's name: "Запись БД ТС в прибор"
    QString text;       // what happened, one or two sentences
    QString nextStep;   // what the operator does now (empty when nothing)
    QString port;       // the port the job was bound to: "COM3" (empty before one was found)
    QList<int> pages;   // ReadBackDiffers: the pages (from 1) that differ
    QString backup;     // the backup made before a write (empty when none was made)
    bool mayBeIncomplete = false; // the instrument's database may be incomplete now
    QDateTime when;     // when the job ended

    bool ok() const { return kind == Kind::Completed; }
    // The first page that differs (0 when none).
    int page() const { return pages.isEmpty() ? 0 : pages.first(); }
    Severity severity() const;
    // The text and the next step in one line, for a status bar or a message box.
    QString message() const;
    // A short stable name of the kind ("completed", "port-lost", ...), for scripts.
    static QString kindName(Kind kind);

    static JobOutcome make(Kind kind, const QString &text, const QString &nextStep = {});
};

Q_DECLARE_METATYPE(JobOutcome)

// "2, 5, 6" (at most ten, then "… (всего N)").
QString pageListText(const QList<int> &pages);
