#pragma once
#include "reader/plateexport.h"
#include "link/featurecontext.h"
// What the two reader pages share: their dialogs, their working files, and the way a file is
// written or its failure reported.
#include "core/dialogs.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace readerfiles {
// Working files in the program folder: the table for the spreadsheet view, the last protocol.
QString tempBdtsPath(const QString &programDir);
QString workingProtocolPath(const QString &programDir);

// The save dialog of both pages: "SorDat_" with ".xls", Excel and text filters, the program folder.
FileDialogRequest sdlgSaveSorDat(const QString &programDir);
// The save dialog of "Данные в файл" on "Ридер ОП": a workbook first, the two CSV forms, then the
// instrument's text as ".xls" and ".txt".
FileDialogRequest sdlgSaveOpTable(const QString &programDir);
// "Книга Excel (*.xlsx)" and the CSV for Russian and for English settings, as a Qt filter.
QString workbookFilters();
// The CSV form a chosen filter entry names: English settings for its filter, Russian otherwise.
CsvStyle csvStyleOfFilter(const QString &filterEntry);

// The folder of the copies handed to the desktop's spreadsheet program, and its clearing at
// start (the program that showed them is closed by then, or keeps its own copy open). The
// program keeps the names of the copies it made in a list in the folder and removes only those:
// a file the operator saved there stays, a link in a copy's place is not followed, and a folder
// that is itself a link is not cleared. Each removal is journalled.
QString sheetCopiesFolder(const QString &programDir);
bool rememberSheetCopy(const QString &programDir, const QString &fileName);
int removeOldSheetCopies(const QString &programDir);

// The stem itself, or "stem (2)", "stem (3)"... : the first for which no file stem + suffix
// exists in the folder for any of the suffixes, so that a group of files is never overwritten.
QString freeStem(const QString &folder, const QString &stem, const QStringList &suffixes);

// The open dialog of "Из файла в Excel": "SorDat_" with ".xls", every form the view reads, the program folder.
FileDialogRequest odlgOpenFileToExcel(const QString &programDir);

// Writes the bytes whole; on failure the error message box tells the operator why, and false.
bool writeOrReport(UserDialogs &dialogs, const QString &path, const QByteArray &bytes);

// Writes bytes into the program folder under a name the instrument sent. A name that could
// leave the folder or that the file system rejects is refused in the status line and in an error
// message box ("<refusal> (<why>): <name>"); a failed write is reported. With keepEarlier a file of
// that name stays and the bytes go to "<name> (2)", "<name> (3)"... Returns the decoded name
// written, empty when nothing was written.
QString writeUnderInstrumentName(const FeatureContext &context, const QByteArray &raw, const QByteArray &bytes,
                                 const QString &refusal, bool keepEarlier = false);
// Reads a whole file; on failure the error message box, and false.
bool readOrReport(UserDialogs &dialogs, const QString &path, QByteArray *bytes);

// A name from the instrument as the status line may show it: decoded, control bytes as '?'.
QString printable(const QByteArray &raw);
} // namespace readerfiles
