#pragma once
// OUTPUT FORMATS: the one place where the reader's results are written by the extension of OUT.
//   od:       .txt, .xls and any other name — the table's exact bytes (as "Данные в файл");
//             .xlsx, .csv — the plate as a workbook or CSV.
//   protocol: .txt and any other name — the protocol's exact bytes; .pdf — a document.
// The workbook, CSV and PDF writers belong to the reader; until they are part of this build those
// extensions are refused (exit 2, "format not available in this build"). Wiring them is a change
// to writeReaderOutput() alone.
#include "cli/reporter.h"

#include <QByteArray>
#include <QString>

#include <optional>

enum class ReaderOutput { OdTable, Protocol };

// checkOnly: only tells whether OUT can be written in its format (before the exchange).
// Otherwise writes the bytes (the table text or the protocol body) in OUT's format, whole or not
// at all. Nothing on success; else the failure (exit 2 for a format, 1 for the file).
std::optional<Outcome> writeReaderOutput(ReaderOutput kind, const QString &path, const QByteArray &bytes, bool checkOnly);
