// The progress line redrawn in place: with escape sequences on a terminal that takes them, and
// overwritten with spaces on one that does not (a Windows console), never reaching the last column.
#include "cli/progress.h"

#include <QTest>

class TestProgressRedraw : public QObject {
    Q_OBJECT
private slots:
    void redraw_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("escapes");
        QTest::addColumn<QString>("expected");
        QTest::newRow("escapes") << QStringLiteral("[##..] 50%") << 80 << true << QStringLiteral("\r[##..] 50%\x1b[K");
        QTest::newRow("escapes, cleared") << QString() << 80 << true << QStringLiteral("\r\x1b[K");
        QTest::newRow("padded") << QStringLiteral("[#.] 5%") << 10 << false << QStringLiteral("\r[#.] 5%  ");
        QTest::newRow("cleared") << QString() << 6 << false << QStringLiteral("\r     ");
        QTest::newRow("exactly one short") << QStringLiteral("123456789") << 10 << false << QStringLiteral("\r123456789");
        QTest::newRow("too long, cut") << QStringLiteral("1234567890AB") << 10 << false << QStringLiteral("\r123456789");
        // Characters, not bytes: a Cyrillic line is as wide as it has letters.
        QTest::newRow("cyrillic") << QStringLiteral("осталось") << 12 << false << QStringLiteral("\rосталось   ");
    }
    void redraw()
    {
        QFETCH(QString, line);
        QFETCH(int, width);
        QFETCH(bool, escapes);
        QFETCH(QString, expected);
        const QString text = ProgressBar::redrawText(line, width, escapes);
        QCOMPARE(text, expected);
        if (!escapes)
            QVERIFY(!text.contains(QLatin1Char('\x1b')));
    }
    // A rendered line, a long label on a narrow terminal included, stays off the last column (it
    // would wrap and scroll at every redraw) and survives the padded redraw whole.
    void renderedLineFits()
    {
        for (int width : {40, 80, 132}) {
            const QString line = ProgressBar::render(123456, 0.42, 3.0, QStringLiteral("чтение БД ТС"), width);
            QVERIFY2(line.size() <= width - 1, qPrintable(line));
            QCOMPARE(ProgressBar::redrawText(line, width, false).trimmed(), line.trimmed());
        }
    }
};

QTEST_APPLESS_MAIN(TestProgressRedraw)
#include "tst_progressredraw.moc"
