// The results protocol as a PDF document: pages counted in the document written, fixed-width
// layout, whole-or-nothing writing.
#include "core/cp1251.h"
#include "core/files.h"
#include "reader/protocolprint.h"
#include "sim/reader_sim.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Page objects in the PDF ("/Type /Page", not "/Pages"), counted by the test itself.
int pageObjects(const QByteArray &pdf)
{
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
    return int(QString::fromLatin1(pdf).count(page));
}
} // namespace

class TstProtocolPrint : public QObject {
    Q_OBJECT
private slots:
    void shortProtocolIsOnePage()
    {
        const QString text = protocolprint::protocolText(ReaderSim::protocolText(QStringLiteral("12"), QStringLiteral("03.04.11")));
        QVERIFY(text.contains(QStringLiteral("Лунка   ОП      Результат\n")));
        QVERIFY(!text.contains(QLatin1Char('\r')));
        int pages = 0;
        const QByteArray pdf = protocolprint::pdfBytes(text, QStringLiteral("2011_04_03 Pr №12"), &pages);
        QVERIFY(pdf.startsWith("%PDF-"));
        QVERIFY(pdf.trimmed().endsWith("%%EOF"));
        QCOMPARE(pages, 1);
        QCOMPARE(pageObjects(pdf), 1);
    }

    void longProtocolRunsOverPages()
    {
        QString text;
        for (int i = 1; i <= 200; ++i)
            text += QStringLiteral("Строка %1\tлунка\t0.%2\n").arg(i, 3).arg(i, 3, 10, QLatin1Char('0'));
        // A very long line: the font shrinks, nothing fails.
        text += QString(300, QLatin1Char('='));
        int pages = 0;
        const QByteArray pdf = protocolprint::pdfBytes(text, QStringLiteral("Протокол"), &pages);
        QVERIFY(pages > 1);
        QCOMPARE(pageObjects(pdf), pages);
        // An empty protocol still gives one page.
        QCOMPARE(pageObjects(protocolprint::pdfBytes(QString(), QStringLiteral("x"))), 1);
    }

    void writtenWholeOrNotAtAll()
    {
        QTemporaryDir dir;
        QString why;
        QVERIFY(!protocolprint::writePdf(QDir(dir.path()).filePath(QStringLiteral("none/p.pdf")), QStringLiteral("x"),
                                         QStringLiteral("x"), &why));
        QVERIFY(!why.isEmpty());
        const QString path = QDir(dir.path()).filePath(QStringLiteral("p.pdf"));
        QVERIFY(protocolprint::writePdf(path, QStringLiteral("Протокол"), QStringLiteral("p"), &why));
        QByteArray bytes;
        QVERIFY(files::readWhole(path, &bytes));
        QVERIFY(bytes.startsWith("%PDF-"));
    }
};

QTEST_MAIN(TstProtocolPrint)
#include "tst_protocolprint.moc"
