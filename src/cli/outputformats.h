#pragma once
// OUTPUT FORMATS: the one place where the reader's results are written by the extension of OUT,
// through the reader's own writers.
//   od:       .xlsx a workbook, .csv CSV (the plate export, with the time of reading and the
//             port above the plate); .txt, .xls and any other name the table's exact bytes.
//   protocol: .pdf a document (the protocol printout, which needs a QGuiApplication: main makes
//             one when outputNeedsPainting()); .txt and any other name the protocol's exact bytes.
#include "cli/reporter.h"
#include "reader/plateexport.h"

#include <QByteArray>
#include <QString>

#include <optional>

enum class ReaderOutput { OdTable, Protocol };

// Whether the command, writing to path, draws its output (a protocol as PDF).
bool outputNeedsPainting(const QString &command, const QString &path);

// Whether a file can be written at path, asked before an exchange so that a long read is not
// lost to a name that cannot take it: a folder, a missing folder, one that may not be written,
// a file that may not be replaced. Nothing when it can; else the failure (exit 1).
std::optional<Outcome> checkOutputPath(const QString &path);
// A file not written at path, with the reason (exit 1); nothing of it is left on disk.
Outcome writeFailure(const QString &path, const QString &why);

// checkOnly: only tells whether OUT can be written in its format (before the exchange).
// Otherwise writes the bytes (the table text or the protocol body) in OUT's format, whole or not
// at all; meta is what the plate formats write above the plate. Nothing on success; else the
// failure (exit 1).
std::optional<Outcome> writeReaderOutput(ReaderOutput kind, const QString &path, const QByteArray &bytes, bool checkOnly,
                                         const PlateMeta &meta = {});
