// The journal through the real window on the virtual instrument: what the operator would have
// missed on the status line is in the journal file and window, the port's loss with its reason,
// the raw bytes of the link check in the monitor, and a journal folder that cannot be written.
#include "app/mainwindow.h"
#include "app/programjournal.h"
#include "bdts/bdtsfeature.h"
#include "bdts/bdtsgen.h"
#include "bdts/bdtstransfer.h"
#include "core/journal.h"
#include "journal/journalwindow.h"
#include "sim/bdts_sim.h"
#include "support/testbed.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

namespace {
QString journalFileOf(TestBed &bed)
{
    return QDir(bed.programDir()).filePath(QStringLiteral("logs/") + Journal::fileNameFor(QDate::currentDate()));
}

QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Opens the journal window from the menu "Пользователю", as the operator does.
JournalWindow *openJournal(TFormMainKviroS_D7 &w)
{
    QAction *item = nullptr;
    for (QAction *menu : w.menuBar()->actions())
        if (QString(menu->text()).remove(QLatin1Char('&')) == QStringLiteral("Пользователю"))
            for (QAction *a : menu->menu()->actions())
                if (QString(a->text()).remove(QLatin1Char('&')) == QStringLiteral("Журнал"))
                    item = a;
    if (!item)
        return nullptr;
    item->trigger();
    return w.findChild<JournalWindow *>(QStringLiteral("JournalWindow"));
}
} // namespace

class TstJournalWindow : public QObject {
    Q_OBJECT
private slots:
    // The journal window stays bounded: at the journal's bound its oldest rows leave in steps,
    // never as a reset of the whole table per entry (each reset rebuilds the view and what a
    // screen reader holds), and the line monitor's view keeps only its newest lines.
    void journalWindowStaysBounded()
    {
        TestBed bed(false);
        TFormMainKviroS_D7 &w = bed.window();
        JournalWindow *window = openJournal(w);
        QVERIFY(window);
        QAbstractItemModel *shown = window->entryView()->model();
        int resets = 0, removals = 0;
        connect(shown, &QAbstractItemModel::modelReset, this, [&] { ++resets; });
        connect(shown, &QAbstractItemModel::rowsRemoved, this, [&] { ++removals; });
        Journal &journal = w.journal();
        const int total = Journal::MaxEntriesInMemory + 2 * Journal::DropStep + 5;
        for (int i = journal.entries().size(); i < total; ++i)
            journal.info(QStringLiteral("entry %1").arg(i));
        QCOMPARE(resets, 0);
        QVERIFY2(removals >= 2 && removals <= 4, qPrintable(QString::number(removals)));
        QVERIFY(journal.entries().size() <= Journal::MaxEntriesInMemory);
        QCOMPARE(shown->rowCount(), int(journal.entries().size()));
        QCOMPARE(shown->index(shown->rowCount() - 1, 2).data().toString(), QStringLiteral("entry %1").arg(total - 1));
        QCOMPARE(shown->index(0, 2).data().toString(), journal.entries().first().text);

        // The line monitor's view keeps its newest lines only, however long the traffic.
        LineMonitor &monitor = w.programJournal().monitor;
        window->tabs()->setCurrentIndex(JournalWindow::TabMonitor);
        window->show();
        monitor.setEnabled(true);
        for (int i = 0; i < 3 * JournalWindow::MonitorViewLines; ++i)
            monitor.record(i % 2 == 0, QByteArray::number(i));
        QTRY_COMPARE(window->monitorText().count(QLatin1Char('\n')) + 1, JournalWindow::MonitorViewLines);
    }

    void rejectedDatabaseFileStaysInTheJournal()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.tick();
        const QString bad = QDir(bed.programDir()).filePath(QStringLiteral("плохая.bdts"));
        {
            QFile f(bad);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("Sor512BDTS 1x3"); // the page count is not a number
        }
        bed.dialogs.openAnswers << bad;
        w.ActionBDTSExecute();
        auto *load = w.findChild<QPushButton *>(QStringLiteral("btnReadBDTSFromFile"));
        QVERIFY(load);
        load->click();
        bed.tick(); // the link check's text replaces it on the status line at once
        QCOMPARE(w.status().text(), QStringLiteral("Связь с прибором есть."));

        QVERIFY(w.journal().waitWritten());
        const QString file = readAll(journalFileOf(bed));
        QVERIFY2(file.contains(QStringLiteral("\tinfo\tЧтение из файла плохая.bdts\n")), qPrintable(file));
        QVERIFY2(file.contains(QStringLiteral("\twarning\tНеверный формат файла.\n")), qPrintable(file));
        // The base link text is journalled once, not at every tick.
        QCOMPARE(file.count(QStringLiteral("\tСвязь с прибором есть.\n")), 1);

        // The status pane keeps the warning as its tooltip.
        auto *pane = w.findChild<QLabel *>(QStringLiteral("statusText"));
        QVERIFY(pane->toolTip().endsWith(QStringLiteral("предупреждение: Неверный формат файла.")));

        JournalWindow *window = openJournal(w);
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(!window->isModal());
        QVERIFY(window->shownLines().join(QLatin1Char('\n')).contains(QStringLiteral("\twarning\tНеверный формат файла.")));
        // Filter by kind, then search.
        window->kindFilter()->setCurrentIndex(window->kindFilter()->findText(QStringLiteral("предупреждение")));
        const QStringList warnings = window->shownLines();
        for (const QString &line : warnings)
            QVERIFY2(line.contains(QStringLiteral("\twarning\t")), qPrintable(line));
        QCOMPARE(warnings.filter(QStringLiteral("\twarning\tНеверный формат файла.")).size(), 1);
        window->kindFilter()->setCurrentIndex(0);
        window->search()->setText(QStringLiteral("плохая"));
        QCOMPARE(window->shownLines().size(), 1);
        QVERIFY(window->shownLines().first().endsWith(QStringLiteral("Чтение из файла плохая.bdts")));
        // Nothing selected: "Копировать" takes every entry shown, as lines of the journal file.
        window->findChild<QPushButton *>(QStringLiteral("btnJournalCopy"))->click();
        QCOMPARE(QApplication::clipboard()->text(), window->shownLines().first() + QLatin1Char('\n'));
        window->search()->clear();
        QVERIFY(window->shownLines().size() >= 4);
        // The newest entry is at the bottom.
        w.status().setText(QStringLiteral("Порт отключен."));
        QVERIFY(window->shownLines().last().endsWith(QStringLiteral("\twarning\tПорт отключен.")));
    }

    void portLostMidExchangeIsJournalledWithItsReason()
    {
        TestBed bed;
        bdts::GenOptions o;
        o.seed = 5;
        o.targetPages = 200;
        bed.instrument().bdts().setImage(bdts::generateImage(o));
        bed.instrument().port().setLineRate(11520); // slow enough to switch off in the middle
        auto &w = bed.window();
        bed.tick();
        QVERIFY(w.link().linkOn());
        w.ActionBDTSExecute();
        w.bdts().transfer().setReplyTimeout(1000);
        auto *read = w.findChild<QPushButton *>(QStringLiteral("btnReadBDTSFromSor"));
        QVERIFY(read);
        read->click();
        QTRY_VERIFY_WITH_TIMEOUT(w.status().text().startsWith(QStringLiteral("Чтение БД ТС")), 5000);
        QTest::qWait(300);
        bed.instrument().powerOff();
        QTRY_VERIFY_WITH_TIMEOUT(!w.bdts().transfer().busy(), 15000);
        QTest::qWait(50);
        QVERIFY(w.journal().waitWritten());
        const QStringList lines = readAll(journalFileOf(bed)).split(QLatin1Char('\n'));
        QString lost, started, ended;
        for (const QString &line : lines) {
            if (line.contains(QStringLiteral("\tport\tСвязь через порт COM3 потеряна: ")))
                lost = line;
            if (line.contains(QStringLiteral("\texchange\tЧтение БД ТС из прибора: начало.")))
                started = line;
            if (line.contains(QStringLiteral("\texchange\tЧтение БД ТС из прибора: конец")))
                ended = line;
        }
        QVERIFY2(!started.isEmpty(), qPrintable(lines.join(QLatin1Char('\n'))));
        QVERIFY2(!lost.isEmpty(), qPrintable(lines.join(QLatin1Char('\n'))));
        // A reason in Russian first, the system's words after.
        const QString reason = lost.section(QStringLiteral("потеряна: "), 1).trimmed();
        QVERIFY2(reason.startsWith(QStringLiteral("Устройство порта отключено или недоступно")) ||
                     reason.startsWith(QStringLiteral("Ошибка чтения из порта")) || reason.startsWith(QStringLiteral("Порт не найден")),
                 qPrintable(lost));
        QVERIFY2(!ended.isEmpty(), qPrintable(lines.join(QLatin1Char('\n'))));
        QVERIFY(ended.contains(QStringLiteral("принято байт: ")));
        QVERIFY(lines.indexOf(started) < lines.indexOf(lost));
        QVERIFY(lines.join(QLatin1Char('\n')).contains(QStringLiteral("\tport\tПорт COM3 (")));
    }

    void monitorShowsTheProbeAndItsAnswerByteForByte()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.tick();
        LineMonitor &monitor = w.programJournal().monitor;
        QVERIFY(!monitor.enabled());
        QCOMPARE(monitor.pieces().size(), size_t(0)); // off by default: nothing kept

        JournalWindow *window = openJournal(w);
        QVERIFY(window);
        window->tabs()->setCurrentIndex(JournalWindow::TabMonitor);
        QVERIFY(!window->monitorSwitch()->isChecked());
        window->monitorSwitch()->click();
        QVERIFY(monitor.enabled());
        bed.tick(); // the port is open: the probe "l" and the answer "L"

        QCOMPARE(monitor.pieces().size(), size_t(2));
        QCOMPARE(monitor.pieces().front().outgoing, true);
        QCOMPARE(monitor.pieces().front().bytes, QByteArray("\x6C", 1));
        QCOMPARE(monitor.pieces().back().outgoing, false);
        QCOMPARE(monitor.pieces().back().bytes, QByteArray("\x4C", 1));
        QTRY_VERIFY_WITH_TIMEOUT(window->monitorText().count(QLatin1Char('\n')) == 1, 3000);
        const QStringList shown = window->monitorText().split(QLatin1Char('\n'));
        QVERIFY2(shown.at(0).contains(QStringLiteral("  →  6C ")) && shown.at(0).endsWith(QStringLiteral("|l|")), qPrintable(shown.at(0)));
        QVERIFY2(shown.at(1).contains(QStringLiteral("  ←  4C ")) && shown.at(1).endsWith(QStringLiteral("|L|")), qPrintable(shown.at(1)));

        // "Сохранить…" writes what the monitor holds.
        const QString saved = QDir(bed.programDir()).filePath(QStringLiteral("monitor.txt"));
        bed.dialogs.saveAnswers << saved;
        window->findChild<QPushButton *>(QStringLiteral("btnMonitorSave"))->click();
        QCOMPARE(readAll(saved), window->monitorText() + QLatin1Char('\n'));
        QVERIFY(w.journal().waitWritten());
        QVERIFY(readAll(journalFileOf(bed)).contains(QStringLiteral("\tfile\tЗаписан файл ") + QDir::toNativeSeparators(saved)));

        // Switched off, nothing more is kept.
        window->monitorSwitch()->click();
        bed.tick();
        QCOMPARE(monitor.pieces().size(), size_t(2));
    }

    void startRecordsTheLinkOnceKnownAndTheWindowServesTheKeyboard()
    {
        TestBed bed;
        auto &w = bed.window();
        bed.tick(); // opens the port and probes: the state is known only at the next tick
        bed.tick();
        QVERIFY(w.journal().waitWritten());
        const QString day = readAll(journalFileOf(bed));
        QVERIFY2(!day.contains(QStringLiteral("Прибор выключен или не подключен к ПК.")), qPrintable(day));
        QVERIFY2(day.contains(QStringLiteral("\tinfo\tСвязь с прибором есть.")), qPrintable(day));

        JournalWindow *window = openJournal(w);
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        // The time column holds its text whole at any text size.
        QTableView *view = window->entryView();
        QVERIFY(view->columnWidth(0) >= view->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000")) + 8);

        // A folder that cannot be opened is told, with what to do.
        window->setFolderOpener([](const QUrl &) { return false; });
        window->openJournalFolder();
        QCOMPARE(bed.dialogs.errors.size(), 1);
        QVERIFY2(bed.dialogs.errors.first().contains(QStringLiteral("Откройте папку")), qPrintable(bed.dialogs.errors.first()));
        QCOMPARE(QApplication::clipboard()->text(), QDir::toNativeSeparators(w.journal().folder()));

        // Esc closes it, as it does the spreadsheet view.
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(!window->isVisible());
    }

    void journalFolderThatCannotBeWrittenDoesNotStopTheProgram()
    {
        TestBed bed;
        {
            QFile blocker(QDir(bed.programDir()).filePath(QStringLiteral("logs")));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        auto &w = bed.window();
        for (int i = 0; i < 3; ++i)
            bed.tick();
        QVERIFY(w.link().linkOn());
        w.status().setText(QStringLiteral("Неверный формат файла."));
        QTest::qWait(100);
        int warnings = 0;
        for (const JournalEntry &e : w.journal().entries())
            if (e.text.startsWith(QStringLiteral("Журнал не записывается")))
                ++warnings;
        QCOMPARE(warnings, 1);
        QVERIFY(QFileInfo(QDir(bed.programDir()).filePath(QStringLiteral("logs"))).isFile());
        JournalWindow *window = openJournal(w);
        QVERIFY(window);
        QVERIFY(window->shownLines().join(QLatin1Char('\n')).contains(QStringLiteral("Журнал не записывается")));
    }
};

QTEST_MAIN(TstJournalWindow)
#include "tst_journalwindow.moc"
