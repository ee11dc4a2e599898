#pragma once
// Reads a workbook back the way a spreadsheet program would, independently of the code that
// wrote it: the zip container is opened by the system's "unzip" tool and the sheet XML is read
// here. Enough of the format for the checks: sheet names, cells (value, type, number format),
// conditional formats.
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

struct XlsxCell {
    QString value; // the text, or the number as written in the XML
    bool number = false;
    QString format; // the number format's code ("General" when none)
};

struct XlsxSheet {
    QMap<QString, XlsxCell> cells; // by reference, "B5"
    QStringList colourScales;      // sqref of each colour scale, with its cfvo and colour count
};

class XlsxReadBack {
public:
    QString error;
    QStringList sheetNames;
    QVector<XlsxSheet> sheets;

    static QByteArray entry(const QString &zip, const QString &name, QString *why = nullptr)
    {
        QProcess unzip;
        unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, name});
        if (!unzip.waitForFinished(60000) || unzip.exitCode() != 0) {
            if (why)
                *why = QStringLiteral("unzip %1 %2: %3").arg(zip, name, QString::fromLocal8Bit(unzip.readAllStandardError()));
            return {};
        }
        return unzip.readAllStandardOutput();
    }

    explicit XlsxReadBack(const QString &path)
    {
        const QByteArray workbook = entry(path, QStringLiteral("xl/workbook.xml"), &error);
        if (workbook.isEmpty())
            return;
        for (QXmlStreamReader x(workbook); !x.atEnd();)
            if (x.readNext() == QXmlStreamReader::StartElement && x.name() == QLatin1String("sheet"))
                sheetNames << x.attributes().value(QLatin1String("name")).toString();

        QStringList shared;
        const QByteArray strings = entry(path, QStringLiteral("xl/sharedStrings.xml"));
        QString current;
        for (QXmlStreamReader x(strings); !x.atEnd();) {
            x.readNext();
            if (x.isStartElement() && x.name() == QLatin1String("si"))
                current.clear();
            else if (x.isStartElement() && x.name() == QLatin1String("t"))
                current += x.readElementText();
            else if (x.isEndElement() && x.name() == QLatin1String("si"))
                shared << current;
        }

        // Styles: the number format of each cell style index.
        QHash<int, QString> codes{{0, QStringLiteral("General")}, {2, QStringLiteral("0.00")}, {14, QStringLiteral("m/d/yyyy")}};
        QVector<QString> styleFormats;
        bool inCellXfs = false;
        const QByteArray styles = entry(path, QStringLiteral("xl/styles.xml"));
        for (QXmlStreamReader x(styles); !x.atEnd();) {
            x.readNext();
            if (x.isStartElement() && x.name() == QLatin1String("numFmt"))
                codes[x.attributes().value(QLatin1String("numFmtId")).toInt()] = x.attributes().value(QLatin1String("formatCode")).toString();
            else if (x.isStartElement() && x.name() == QLatin1String("cellXfs"))
                inCellXfs = true;
            else if (x.isEndElement() && x.name() == QLatin1String("cellXfs"))
                inCellXfs = false;
            else if (inCellXfs && x.isStartElement() && x.name() == QLatin1String("xf"))
                styleFormats << codes.value(x.attributes().value(QLatin1String("numFmtId")).toInt(), QStringLiteral("?"));
        }

        for (int i = 1; i <= sheetNames.size(); ++i) {
            XlsxSheet sheet;
            const QByteArray xml = entry(path, QStringLiteral("xl/worksheets/sheet%1.xml").arg(i), &error);
            QXmlStreamReader x(xml);
            QString ref, type;
            int style = 0;
            int cfvos = 0, colours = 0;
            QString sqref;
            while (!x.atEnd()) {
                x.readNext();
                if (x.isStartElement() && x.name() == QLatin1String("c")) {
                    ref = x.attributes().value(QLatin1String("r")).toString();
                    type = x.attributes().value(QLatin1String("t")).toString();
                    style = x.attributes().value(QLatin1String("s")).toInt();
                    XlsxCell &cell = sheet.cells[ref];
                    cell.format = styleFormats.value(style, QStringLiteral("General"));
                } else if (x.isStartElement() && x.name() == QLatin1String("v")) {
                    const QString v = x.readElementText();
                    XlsxCell &cell = sheet.cells[ref];
                    cell.number = type.isEmpty() || type == QLatin1String("n");
                    cell.value = type == QLatin1String("s") ? shared.value(v.toInt()) : v;
                } else if (x.isStartElement() && x.name() == QLatin1String("conditionalFormatting")) {
                    sqref = x.attributes().value(QLatin1String("sqref")).toString();
                    cfvos = colours = 0;
                } else if (x.isStartElement() && x.name() == QLatin1String("cfvo")) {
                    ++cfvos;
                } else if (x.isStartElement() && x.name() == QLatin1String("color")) {
                    ++colours;
                } else if (x.isEndElement() && x.name() == QLatin1String("colorScale")) {
                    sheet.colourScales << QStringLiteral("%1 %2 %3").arg(sqref).arg(cfvos).arg(colours);
                }
            }
            if (x.hasError())
                error = QStringLiteral("sheet%1.xml: %2").arg(i).arg(x.errorString());
            sheets << sheet;
        }
    }

    const XlsxCell cell(int sheet, const QString &ref) const { return sheets.value(sheet).cells.value(ref); }
};
