// The firmware page through the real main window and the virtual instrument: the frame, the
// bytes a click puts on the wire, cancel, leaving the page, and the whole wizard walk.
#include "app/mainwindow.h"
#include "bootstream.h"
#include "firmware/firmwarecontroller.h"
#include "firmware/firmwarefeature.h"
#include "firmware/framesoftsor.h"
#include "core/journal.h"
#include "sim/boot_sim.h"
#include "support/testbed.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>

using namespace firmware;

namespace {
QByteArray pattern(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 13 + (i >> 9)) & 0xFF);
    return b;
}

QByteArray wire(const QByteArray &image) { return bootStream(image); }

// Nothing but link probes after the first `count` bytes.
bool onlyProbesAfter(const QByteArray &received, qsizetype count)
{
    const QByteArray rest = received.mid(count);
    return rest.count('l') == rest.size();
}

// A bench with the default image in the program's image folder and the firmware page open.
struct Page {
    TestBed bed;
    QTemporaryDir cwd;
    QString oldCwd = QDir::currentPath();
    QStringList statuses;

    explicit Page(const QByteArray *image)
    {
        QDir::setCurrent(cwd.path()); // no stray image in the current directory
        if (image) {
            const QString folder = imageFolder(bed.programDir());
            QDir().mkpath(folder);
            QFile f(QDir(folder).filePath(QStringLiteral("Sorvint_3070.tsk")));
            if (f.open(QIODevice::WriteOnly))
                f.write(*image);
        }
        bed.instrument().boot().setProgrammingMs(60000);
        QObject::connect(&bed.window().status(), &StatusModel::textChanged, [this](const QString &t) {
            if (statuses.isEmpty() || statuses.last() != t)
                statuses << t;
        });
        bed.tick();
        bed.tick();
        bed.window().ActionSoftSorvintExecute();
    }
    ~Page() { QDir::setCurrent(oldCwd); }

    TFormMainKviroS_D7 &w() { return bed.window(); }
    TFrameSoftSor &frame() { return *w().firmware().frame(); }
    FirmwareController &ctl() { return w().firmware().controller(); }
    QString status() { return w().status().text(); }
    VirtualInstrument &vi() { return bed.instrument(); }

    void toLoader()
    {
        vi().boot().switchOnWithStylus();
        bed.tick();
        bed.tick();
        vi().core().clearReceived();
    }
    // The texts met, in order (others may come between them).
    bool metInOrder(const QStringList &wanted) const
    {
        qsizetype at = 0;
        for (const QString &t : statuses)
            if (at < wanted.size() && t == wanted.at(at))
                ++at;
        return at == wanted.size();
    }
};
} // namespace

class TestFirmwareGui : public QObject {
    Q_OBJECT
private slots:
    void frameShowsStepsAndPictures()
    {
        const QByteArray image("abc");
        Page p(&image);
        TFrameSoftSor &f = p.frame();
        QCOMPARE(p.w().currentPage(), int(TFormMainKviroS_D7::PageSoftSor));
        QCOMPARE(f.wizardTabs->count(), 2);
        QCOMPARE(f.wizardTabs->tabText(0), QStringLiteral("Шаги 1,2"));
        QCOMPARE(f.wizardTabs->tabText(1), QStringLiteral("Шаг 3"));
        QCOMPARE(f.wizardTabs->currentIndex(), 0);
        QCOMPARE(f.lbFileLoadPO->text(), f.lbFileLoadPO2->text());
        QVERIFY(f.lbFileLoadPO->text().endsWith(QStringLiteral("FilesInSorvint/\nSorvint_3070.tsk")));
        QCOMPARE(f.findChild<QPushButton *>(QStringLiteral("btnOtherFileLoadPO"))->text().remove(QLatin1Char('&')), QStringLiteral("Другой файл..."));
        QCOMPARE(f.btnLoadPO->text().remove(QLatin1Char('&')), QStringLiteral("Загрузить программу в прибор"));
        QCOMPARE(f.btnStopProgramSor->text().remove(QLatin1Char('&')), QStringLiteral("Отменить загрузку"));
        QVERIFY(f.btnStopProgramSor->isHidden());
        QVERIFY(!f.btnStopProgramSor->isEnabled());
        QVERIFY(!f.btnLoadPO->isEnabled());
        QCOMPARE(f.btnLoadPO->toolTip(), texts::HintNotReady);
        QCOMPARE(p.status(), texts::StepSwitchOff);

        const QStringList loaderRows{QStringLiteral("Начальный  загрузчик  V2.2"), QStringLiteral("Тест  ОЗУ  32Мб  .......  ОК"),
                                     QStringLiteral("Режим программирования\nвключен"), QStringLiteral("Прием файла")};
        for (int i = 0; i < loaderRows.size(); ++i) {
            QCOMPARE(f.findChild<QLabel *>(QStringLiteral("scr12Row%1").arg(i + 1))->text(), loaderRows.at(i));
            QCOMPARE(f.findChild<QLabel *>(QStringLiteral("scr3Row%1").arg(i + 1))->text(), loaderRows.at(i));
        }
        QVERIFY(!f.findChild<QLabel *>(QStringLiteral("scr12Row5")));
        QCOMPARE(f.findChild<QLabel *>(QStringLiteral("scr3Row6"))->text(), QStringLiteral("Стирание\nПрограммирование\nПроверка записи"));
        QCOMPARE(f.findChild<QLabel *>(QStringLiteral("scr3Row8"))->text(), QStringLiteral("Перезагрузка прибора"));

        p.w().show();
        QVERIFY(QTest::qWaitForWindowExposed(&p.w()));
        p.w().ActionSoftSorvintExecute(); // again on the current page: search and panes redone
        QTest::qWait(50);
        const QList<int> sizes = f.stepsSplitter->sizes();
        const double share = double(sizes.at(0)) / (sizes.at(0) + sizes.at(1));
        QVERIFY2(share > 0.57 && share < 0.63, qPrintable(QString::number(share)));
    }

    void wireBytesOfAClick_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QList<int>>("progress");
        QTest::newRow("3 bytes") << QByteArray("\x01\x02\x03", 3) << QList<int>{100, 0};
        QTest::newRow("10000") << pattern(10000) << QList<int>{100, 0};
        QTest::newRow("10001") << pattern(10001) << QList<int>{99, 100, 0};
        QTest::newRow("20000") << pattern(20000) << QList<int>{50, 100, 0};
        QTest::newRow("sum 70000") << QByteArray(280, char(250)) << QList<int>{100, 0};
    }
    void wireBytesOfAClick()
    {
        QFETCH(QByteArray, image);
        QFETCH(QList<int>, progress);
        Page p(&image);
        p.toLoader();
        QVERIFY(p.frame().btnLoadPO->isEnabled());
        QList<int> seen;
        connect(&p.w().status(), &StatusModel::progressChanged, this, [&](int v) { seen << v; });
        QTest::mouseClick(p.frame().btnLoadPO, Qt::LeftButton);
        QCOMPARE(p.status(), texts::Loading);
        QVERIFY(!p.frame().btnStopProgramSor->isHidden());
        QVERIFY(!p.frame().btnLoadPO->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::Programming, 10000);
        const QByteArray expected = wire(image);
        QTRY_VERIFY(p.vi().core().received().size() >= expected.size());
        QCOMPARE(p.vi().core().received().left(expected.size()), expected);
        QCOMPARE(seen, progress);
        QVERIFY(p.frame().btnStopProgramSor->isHidden());
        if (image.size() == 280)
            QCOMPARE(expected.right(2), QByteArray("\x70\x11", 2));
    }

    void emptyImageAndCancelAfterThreeTicks()
    {
        const QByteArray empty;
        Page p(&empty);
        p.toLoader();
        p.frame().btnLoadPO->click();
        // Refused at the click, the file named; nothing goes out and step 3 stays.
        QCOMPARE(p.bed.dialogs.errors.size(), 1);
        QVERIFY(p.bed.dialogs.errors.first().contains(QStringLiteral("Sorvint_3070.tsk")));
        QVERIFY(p.bed.dialogs.errors.first().contains(QStringLiteral("пуст")));
        QVERIFY(p.frame().btnStopProgramSor->isHidden());
        QVERIFY(p.frame().btnLoadPO->isEnabled());
        QCOMPARE(p.status(), texts::StepLoad);
        QTest::qWait(300);
        QCOMPARE(p.vi().core().received(), QByteArray());

        const QByteArray image = pattern(50000);
        QFile f(QDir(imageFolder(p.bed.programDir())).filePath(QStringLiteral("Sorvint_3070.tsk")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
        f.close();
        p.frame().btnLoadPO->click(); // the file is read afresh
        p.ctl().transfer().Timer.stop();
        // Opening and closing the port list while the image streams must not bring a probe in.
        p.w().link().cbxNumPortDropDown();
        p.w().link().cbxNumPortCloseUp();
        QVERIFY(!p.w().link().portSearchRunning());
        for (int i = 0; i < 3; ++i)
            p.ctl().transfer().TimerTimer();
        p.frame().btnStopProgramSor->click();
        QCOMPARE(p.status(), texts::Cancelled);
        QCOMPARE(p.w().status().progress(), 0);
        QVERIFY(p.frame().btnStopProgramSor->isHidden());
        QVERIFY(!p.frame().btnLoadPO->isEnabled());
        QTRY_VERIFY(p.vi().core().received().size() >= 6 + 30000);
        QCOMPARE(p.vi().core().received().left(6 + 30000), wire(image).left(6 + 30000));
        // The link check follows the instrument again and asks for its restart.
        QVERIFY(p.w().link().portSearchRunning());
        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::RestartForRetry, 5000);
        QVERIFY(onlyProbesAfter(p.vi().core().received(), 6 + 30000));
        QVERIFY(!p.frame().btnLoadPO->isEnabled());
        QCOMPARE(p.frame().btnLoadPO->toolTip(), texts::HintNotReady);
        p.w().link().stopPortSearch();
        const QByteArray received = p.vi().core().received();
        QCOMPARE(received.left(6 + 30000), wire(image).left(6 + 30000));
        QCOMPARE(received.mid(6 + 30000), QByteArray(received.size() - 6 - 30000, 'l'));
    }

    void leavingMidStreamAsksFirst()
    {
        const QByteArray image = pattern(200000);
        Page p(&image);
        p.toLoader();
        p.vi().port().setLineRate(40000);
        QSignalSpy ticks(&p.ctl().transfer(), &FirmwareTransfer::progress);
        p.frame().btnLoadPO->click();
        QCOMPARE(p.bed.dialogs.warnings.size(), 1); // the confirmation before the stream
        p.bed.dialogs.warnings.clear();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 2, 5000);
        // An inner tab click re-evaluates the step; the transfer keeps the button and its text.
        p.frame().wizardTabs->setCurrentIndex(1);
        QVERIFY(!p.frame().btnLoadPO->isEnabled());
        QCOMPARE(p.status(), texts::Loading);

        // "No": another tab, another page's action, "Выход" and closing the window change nothing.
        p.bed.dialogs.yesNoAnswer = false;
        const int changes = p.w().pageChangeCount();
        p.w().pages()->setCurrentIndex(TFormMainKviroS_D7::PageAbout);
        p.w().ActionFileExecute();
        p.w().show();
        p.w().ActionExitExecute();
        QVERIFY(p.w().isVisible());
        p.w().close();
        QVERIFY(p.w().isVisible());
        const QString question = texts::LeaveCaption + QLatin1Char('|') + texts::LeaveQuestion;
        QCOMPARE(p.bed.dialogs.warnings, QStringList(4, question));
        QCOMPARE(p.w().currentPage(), int(TFormMainKviroS_D7::PageSoftSor));
        QCOMPARE(p.w().pageChangeCount(), changes);
        QVERIFY(!p.w().tabVisible(TFormMainKviroS_D7::PageResult));
        QVERIFY(p.ctl().transferBusy());
        QCOMPARE(p.status(), texts::Loading);
        const qsizetype before = ticks.size();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() > before, 5000); // the stream goes on

        // "Yes" on a tab click: stopped as a cancel, then the page changes.
        p.bed.dialogs.yesNoAnswer = true;
        p.w().pages()->setCurrentIndex(TFormMainKviroS_D7::PageAbout);
        const qsizetype written = ticks.size();
        QCOMPARE(p.bed.dialogs.warnings.size(), 5);
        QCOMPARE(p.w().currentPage(), int(TFormMainKviroS_D7::PageAbout));
        QCOMPARE(p.status(), QString());
        QVERIFY(p.bed.dialogs.errors.isEmpty());
        QVERIFY(!p.ctl().transferBusy());
        QVERIFY(p.frame().btnStopProgramSor->isHidden());
        QVERIFY(!p.frame().btnLoadPO->isEnabled());
        QVERIFY(!p.ctl().flags().WizardActive);
        QVERIFY(!p.ctl().loader().ready());
        QVERIFY(p.w().link().portSearchRunning());
        p.vi().port().setLineRate(0);
        QTRY_VERIFY_WITH_TIMEOUT(p.vi().core().received().size() >= 6 + written * 10000, 10000);
        QTest::qWait(300);
        QVERIFY(onlyProbesAfter(p.vi().core().received(), 6 + written * 10000));
        // Back on the page the load still waits for the instrument's restart.
        p.w().ActionSoftSorvintExecute();
        QVERIFY(!p.frame().btnLoadPO->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::RestartForRetry, 5000);
        // With no stream running, closing asks nothing.
        p.w().close();
        QVERIFY(!p.w().isVisible());
        QCOMPARE(p.bed.dialogs.warnings.size(), 5);
        p.w().link().stopPortSearch();
    }

    void portLostMidStreamThenBackAtStepTwo()
    {
        const QByteArray image = pattern(200000);
        Page p(&image);
        p.toLoader();
        p.vi().port().setLineRate(40000);
        QSignalSpy ticks(&p.ctl().transfer(), &FirmwareTransfer::progress);
        p.frame().btnLoadPO->click();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 2, 5000);
        p.vi().powerOff();
        QTRY_COMPARE_WITH_TIMEOUT(p.bed.dialogs.errors.size(), 1, 5000);
        const QStringList lines = p.bed.dialogs.errors.first().section(QLatin1Char('|'), 1).split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), QStringLiteral("Ошибка передачи программы в прибор."));
        QVERIFY(!lines.at(1).isEmpty());
        QVERIFY(p.frame().btnStopProgramSor->isHidden());
        QVERIFY(!p.ctl().transferBusy());
        QCOMPARE(p.w().status().progress(), ticks.last().first().toInt());
        // No hand on the port list: the link check follows the instrument by itself.
        QVERIFY(p.w().link().portSearchRunning());
        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::StepSwitchOnTick, 5000);
        QVERIFY(p.vi().powerOn());
        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::StepSwitchOff, 5000);
        QVERIFY(!p.frame().btnLoadPO->isEnabled());
        // Its port went away, so the boot loader's answer is a fresh start.
        p.vi().boot().switchOnWithStylus();
        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::StepLoad, 5000);
        QVERIFY(p.frame().btnLoadPO->isEnabled());
        p.w().link().stopPortSearch();
    }

    void afterTheStreamTheLoadWaitsForTheRestart()
    {
        const QByteArray image = pattern(12000);
        Page p(&image);
        p.toLoader();
        p.vi().boot().setProgrammingMs(1500);
        p.vi().boot().setRestartGapMs(1200);
        p.frame().btnLoadPO->click();
        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::Programming, 5000);
        auto *bar = p.w().findChild<QProgressBar *>(QStringLiteral("progressBar"));
        QVERIFY(p.w().status().busy());
        QCOMPARE(bar->maximum(), 0); // the bar shows that work goes on
        QVERIFY(!p.frame().btnLoadPO->isEnabled());
        p.ctl().btnLoadPOClick(); // a second click while the instrument programs starts nothing
        QTest::qWait(800);
        QVERIFY(!p.frame().btnLoadPO->isEnabled());
        QCOMPARE(p.status(), texts::Programming);
        QCOMPARE(p.vi().core().received().left(wire(image).size()), wire(image));
        QVERIFY(onlyProbesAfter(p.vi().core().received(), wire(image).size()));

        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::Finished, 10000);
        QVERIFY(!p.w().status().busy());
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(p.vi().boot().programmed(), 1);
        // The end message stays through the link checks, until the operator's next action.
        QTest::qWait(1300);
        QCOMPARE(p.status(), texts::Finished);
        p.frame().wizardTabs->setCurrentIndex(0); // the page followed to step 3; the operator goes back
        QCOMPARE(p.status(), texts::StepSwitchOff);
        p.w().link().stopPortSearch();
    }

    void theLoadIsConfirmedWithTheFileFactsAndThePageFollowsToStepThree()
    {
        const QByteArray image("abc");
        Page p(&image);
        QCOMPARE(p.frame().wizardTabs->currentWidget(), p.frame().stepsPage);
        p.toLoader();
        // The boot loader is there: the page shows step 3 as the status line says.
        QCOMPARE(p.frame().wizardTabs->currentWidget(), p.frame().loadPage);
        QVERIFY(p.frame().btnLoadPO->isEnabled());

        // "Нет": nothing goes out; the question names the file, its size, date and checksum.
        p.bed.dialogs.yesNoAnswer = false;
        p.frame().btnLoadPO->click();
        QCOMPARE(p.bed.dialogs.warnings.size(), 1);
        const QString asked = p.bed.dialogs.warnings.first();
        const QString path = QDir::toNativeSeparators(QFileInfo(QDir(imageFolder(p.bed.programDir())).filePath(QStringLiteral("Sorvint_3070.tsk"))).absoluteFilePath());
        QVERIFY2(asked.startsWith(QStringLiteral("Загрузка программы в прибор|")), qPrintable(asked));
        QVERIFY2(asked.contains(QStringLiteral("Файл: ") + path + QStringLiteral("\nРазмер: 3 байт\nДата файла: ")), qPrintable(asked));
        QVERIFY2(asked.contains(QStringLiteral("Контрольная сумма: 294 (0x00000126)")), qPrintable(asked));
        QTest::qWait(300);
        QVERIFY(onlyProbesAfter(p.vi().core().received(), 0));
        QVERIFY(!p.ctl().transferBusy());
        QVERIFY(p.frame().btnLoadPO->isEnabled());
        // The journal keeps the facts and the answer.
        QStringList journalled;
        for (const JournalEntry &e : p.w().journal().entries())
            journalled << e.text;
        QVERIFY(journalled.contains(QStringLiteral("Загрузка отменена оператором.")));
        QVERIFY(!journalled.filter(QStringLiteral("Контрольная сумма: 294 (0x00000126)")).isEmpty());

        // "Да": the stream starts.
        p.bed.dialogs.yesNoAnswer = true;
        p.frame().btnLoadPO->click();
        QTRY_VERIFY_WITH_TIMEOUT(p.vi().core().received().startsWith(wire(image).left(2)), 5000);
    }

    void fileDialogStartsWhereTheFolderExists()
    {
        Page p(nullptr); // no image folder
        p.frame().btnOtherFileLoadPO->click();
        QCOMPARE(QDir(p.bed.dialogs.openRequests.last().folder), QDir(p.bed.programDir()));
        QDir().mkpath(imageFolder(p.bed.programDir()));
        p.frame().btnOtherFileLoadPO->click();
        QCOMPARE(QDir(p.bed.dialogs.openRequests.last().folder), QDir(imageFolder(p.bed.programDir())));
    }

    void clickAfterTheInstrumentLeftTheBootLoader()
    {
        const QByteArray image("abc");
        Page p(&image);
        p.toLoader();
        QVERIFY(p.frame().btnLoadPO->isEnabled());
        // The instrument now answers "L"; no link check has updated the button yet.
        p.vi().core().setMode(InstrumentCore::Mode::Working);
        p.w().link().SendCommand("l");
        QTRY_VERIFY(p.w().link().instrumentWorking());
        p.vi().core().clearReceived();
        QVERIFY(p.frame().btnLoadPO->isEnabled());
        p.frame().btnLoadPO->click();
        QCOMPARE(p.bed.dialogs.warnings, QStringList{QStringLiteral("Вернитесь к шагу 2.|Прибор не в режиме программирования!")});
        QCOMPARE(p.status(), texts::StepSwitchOff);
        QVERIFY(!p.frame().btnLoadPO->isEnabled());
        QTest::qWait(200);
        QCOMPARE(p.vi().core().received(), QByteArray());
    }

    void wholeWizardWalk()
    {
        const QByteArray image = pattern(25000);
        Page p(nullptr);
        QCOMPARE(p.status(), texts::StepFile);
        QCOMPARE(p.frame().lbFileLoadPO->text(), QStringLiteral("Файл Sorvint_3070.tsk\nне найден."));
        // Step 1: the operator picks the file.
        const QString chosen = QDir(p.cwd.path()).filePath(QStringLiteral("new.tsk"));
        QFile f(chosen);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
        f.close();
        p.bed.dialogs.openAnswers << chosen;
        p.frame().btnOtherFileLoadPO->click();
        QCOMPARE(p.frame().lbFileLoadPO2->text(), QDir(p.cwd.path()).path() + QStringLiteral("/\nnew.tsk"));
        QCOMPARE(p.status(), texts::StepSwitchOff);
        // Step 2: off, then on with the stylus.
        p.vi().powerOff();
        p.bed.tick();
        QCOMPARE(p.status(), texts::StepSwitchOnTick);
        p.frame().wizardTabs->setCurrentIndex(1);
        QCOMPARE(p.status(), texts::StepSwitchOnEval);
        p.vi().boot().switchOnWithStylus();
        p.bed.tick();
        p.bed.tick();
        QCOMPARE(p.status(), texts::StepLoad);
        QVERIFY(p.frame().btnLoadPO->isEnabled());
        QCOMPARE(p.frame().btnLoadPO->toolTip(), texts::HintReady);
        // Step 3: load; the instrument programs and restarts on its own.
        p.vi().boot().setProgrammingMs(700);
        p.vi().boot().setRestartGapMs(2000);
        p.frame().btnLoadPO->click();
        QTRY_COMPARE_WITH_TIMEOUT(p.statuses.contains(texts::Finished), true, 15000);
        QTest::qWait(1100);
        QCOMPARE(p.status(), texts::Finished);
        p.frame().wizardTabs->setCurrentIndex(0); // the operator's next action
        QCOMPARE(p.status(), texts::StepSwitchOff);
        QVERIFY2(p.metInOrder({texts::StepFile, texts::StepSwitchOff, texts::StepSwitchOnTick, texts::StepLoad, texts::Loading,
                               texts::Programming, texts::Rebooting, texts::Finished, texts::StepSwitchOff}),
                 qPrintable(p.statuses.join(QLatin1Char('|'))));
        QCOMPARE(p.vi().boot().last().image, image);
        QVERIFY(p.vi().boot().last().checksumOk);
        QCOMPARE(p.vi().boot().programmed(), 1);
        QVERIFY(p.ctl().flags().WizardActive);
        QVERIFY(!p.ctl().flags().TransferStarted);
    }

    void bootLoaderAnsweringWhileItPrograms_data()
    {
        QTest::addColumn<bool>("dropsPort");
        QTest::newRow("port gone in the restart") << true;
        QTest::newRow("port stays, silent in the restart") << false;
    }
    void bootLoaderAnsweringWhileItPrograms()
    {
        // A boot loader that goes on answering "l" while it erases and writes: the wizard keeps
        // "Программирование прибора" with the busy bar through those answers, never asks for a
        // switch-off, and announces the end after the restart.
        QFETCH(bool, dropsPort);
        const QByteArray image = pattern(12000);
        Page p(&image);
        p.toLoader();
        BootSim &boot = p.vi().boot();
        boot.setAnswersWhileProgramming(true);
        boot.setRestartDropsPort(dropsPort);
        boot.setProgrammingMs(3000);
        boot.setRestartGapMs(1200);
        p.frame().btnLoadPO->click();
        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::Programming, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(boot.stage(), BootSim::Stage::Programming, 5000);
        const qsizetype probesBefore = p.vi().core().received().count('l');
        QTest::qWait(2000); // several link checks, each answered "l" by the programming boot loader
        QCOMPARE(boot.stage(), BootSim::Stage::Programming);
        QVERIFY(p.vi().core().received().count('l') >= probesBefore + 3);
        QVERIFY(p.w().link().instrumentInLoader());
        QCOMPARE(p.status(), texts::Programming);
        QVERIFY(p.w().status().busy());
        QVERIFY(!p.frame().btnLoadPO->isEnabled());

        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::Finished, 10000);
        QCOMPARE(boot.programmed(), 1);
        QVERIFY(!p.w().status().busy());
        QVERIFY(!p.statuses.contains(texts::NotRestarted));
        QVERIFY2(p.metInOrder(dropsPort ? QStringList{texts::Loading, texts::Programming, texts::Rebooting, texts::Finished}
                                        : QStringList{texts::Loading, texts::Programming, texts::Finished}),
                 qPrintable(p.statuses.join(QLatin1Char('|'))));
        QVERIFY(p.ctl().loader().ready());
        QCOMPARE(boot.last().image, image);
        p.w().link().stopPortSearch();
    }

    void restartWithoutLinkDrop_data()
    {
        QTest::addColumn<int>("programmingMs");
        QTest::addColumn<int>("restartMs");
        QTest::newRow("silent while restarting") << 600 << 600;
        QTest::newRow("at once in working mode") << 0 << 0;
    }
    void restartWithoutLinkDrop()
    {
        // The instrument's port stays listed through its restart: the wizard never sees it go,
        // but its silence while it programs, or its answer in working mode, tells the restart,
        // and the end is announced.
        QFETCH(int, programmingMs);
        QFETCH(int, restartMs);
        const QByteArray image = pattern(12000);
        Page p(&image);
        p.toLoader();
        p.vi().boot().setRestartDropsPort(false);
        p.vi().boot().setProgrammingMs(programmingMs);
        p.vi().boot().setRestartGapMs(restartMs);
        QSignalSpy restarted(&p.vi().boot(), &BootSim::restarted);
        p.frame().btnLoadPO->click();
        QTRY_COMPARE_WITH_TIMEOUT(restarted.size(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::Finished, 5000);
        QVERIFY(p.metInOrder({texts::Loading, texts::Programming, texts::Finished}));
        QVERIFY(!p.statuses.contains(texts::Rebooting));
        QVERIFY(!p.ctl().flags().TransferStarted);
        QVERIFY(p.ctl().loader().ready());
        QTest::qWait(1100);
        QCOMPARE(p.status(), texts::Finished);
        p.frame().wizardTabs->setCurrentIndex(0); // the page followed to step 3; the operator goes back
        QCOMPARE(p.status(), texts::StepSwitchOff);
        p.w().link().stopPortSearch();
    }
};

QTEST_MAIN(TestFirmwareGui)
#include "tst_firmwaregui.moc"
