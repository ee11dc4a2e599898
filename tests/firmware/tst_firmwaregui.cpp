// The firmware page through the real main window and the virtual instrument: the frame, the
// bytes a click puts on the wire, cancel, leaving the page, and the whole wizard walk.
#include "app/mainwindow.h"
#include "firmware/firmwarecontroller.h"
#include "firmware/firmwarefeature.h"
#include "firmware/framesoftsor.h"
#include "sim/boot_sim.h"
#include "support/testbed.h"

#include <QDir>
#include <QLabel>
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

QByteArray wire(const QByteArray &image)
{
    quint32 sum = 0;
    for (char c : image)
        sum += static_cast<unsigned char>(c);
    return startMarker() + lengthHeader(qint32(image.size())) + image + checksumBytes(qint32(sum));
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
        QCOMPARE(f.RzPageControl2->count(), 2);
        QCOMPARE(f.RzPageControl2->tabText(0), QStringLiteral("Шаги 1,2"));
        QCOMPARE(f.RzPageControl2->tabText(1), QStringLiteral("Шаг 3"));
        QCOMPARE(f.RzPageControl2->currentIndex(), 0);
        QCOMPARE(f.lbFileLoadPO->text(), f.lbFileLoadPO2->text());
        QVERIFY(f.lbFileLoadPO->text().endsWith(QStringLiteral("FilesInSorvint/\nSorvint_3070.tsk")));
        QCOMPARE(f.findChild<QPushButton *>(QStringLiteral("btnOtherFileLoadPO"))->text(), QStringLiteral("Другой файл..."));
        QCOMPARE(f.btnLoadPO->text(), QStringLiteral("Загрузить программу в прибор"));
        QCOMPARE(f.btnStopProgramSor->text(), QStringLiteral("Отменить загрузку"));
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
        const QList<int> sizes = f.RzSplitter1->sizes();
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
        QTRY_COMPARE(p.vi().core().received(), QByteArray("\x55\xAA\x06\x00\x00\x00", 6));
        QTest::qWait(350);
        QCOMPARE(p.vi().core().received().size(), 6);
        p.frame().btnStopProgramSor->click();
        QCOMPARE(p.status(), texts::Cancelled);

        const QByteArray image = pattern(50000);
        QFile f(QDir(imageFolder(p.bed.programDir())).filePath(QStringLiteral("Sorvint_3070.tsk")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
        f.close();
        p.vi().core().clearReceived();
        QVERIFY(p.frame().btnLoadPO->isEnabled());
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
        // The cancel gives the line back: the link check runs again and only its probes follow.
        QVERIFY(p.w().link().portSearchRunning());
        QTRY_VERIFY(p.vi().core().received().size() >= 6 + 30000);
        QTest::qWait(300);
        p.w().link().stopPortSearch();
        const QByteArray received = p.vi().core().received();
        QCOMPARE(received.left(6 + 30000), wire(image).left(6 + 30000));
        QCOMPARE(received.mid(6 + 30000), QByteArray(received.size() - 6 - 30000, 'l'));
    }

    void leavingThePageEndsTheTransferSilently()
    {
        const QByteArray image = pattern(200000);
        Page p(&image);
        p.toLoader();
        p.vi().port().setLineRate(40000);
        QSignalSpy ticks(&p.ctl().transfer(), &FirmwareTransfer::progress);
        p.frame().btnLoadPO->click();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 2, 5000);
        // An inner tab click re-evaluates the step; the transfer keeps the button and its text.
        p.frame().RzPageControl2->setCurrentIndex(1);
        QVERIFY(!p.frame().btnLoadPO->isEnabled());
        QCOMPARE(p.status(), texts::Loading);
        p.w().pages()->setCurrentIndex(TFormMainKviroS_D7::PageAbout);
        const qsizetype written = ticks.size();
        QCOMPARE(p.status(), QString());
        QVERIFY(p.bed.dialogs.warnings.isEmpty() && p.bed.dialogs.errors.isEmpty());
        QVERIFY(!p.ctl().transfer().sending());
        QVERIFY(p.frame().btnStopProgramSor->isHidden());
        QVERIFY(!p.frame().btnLoadPO->isEnabled());
        // The stream gave the line back: the link check runs again and only its probes follow.
        QVERIFY(p.w().link().portSearchRunning());
        QVERIFY(!p.ctl().flags().WizardActive);
        QTRY_VERIFY_WITH_TIMEOUT(p.vi().core().received().size() >= 6 + written * 10000, 10000);
        QTest::qWait(300);
        p.w().link().stopPortSearch();
        const QByteArray received = p.vi().core().received();
        QCOMPARE(received.left(6 + written * 10000), wire(image).left(6 + written * 10000));
        QCOMPARE(received.mid(6 + written * 10000), QByteArray(received.size() - 6 - written * 10000, 'l'));
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
        p.frame().RzPageControl2->setCurrentIndex(1);
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
        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::StepSwitchOff, 5000);
        QVERIFY2(p.metInOrder({texts::StepFile, texts::StepSwitchOff, texts::StepSwitchOnTick, texts::StepLoad, texts::Loading,
                               texts::Programming, texts::Rebooting, texts::Finished, texts::StepSwitchOff}),
                 qPrintable(p.statuses.join(QLatin1Char('|'))));
        QCOMPARE(p.vi().boot().last().image, image);
        QVERIFY(p.vi().boot().last().checksumOk);
        QCOMPARE(p.vi().boot().programmed(), 1);
        QVERIFY(p.ctl().flags().WizardActive);
        QVERIFY(!p.ctl().flags().TransferStarted);
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
        // so no end is announced and the steps simply resume.
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
        QTRY_COMPARE_WITH_TIMEOUT(p.status(), texts::StepSwitchOff, 5000);
        QVERIFY(p.metInOrder({texts::Loading, texts::Programming, texts::StepSwitchOff}));
        QVERIFY(!p.statuses.contains(texts::Rebooting));
        QVERIFY(!p.statuses.contains(texts::Finished));
        QVERIFY(p.ctl().flags().TransferDone);
        QVERIFY(!p.ctl().flags().RebootSeen);
        QTest::qWait(1100);
        QCOMPARE(p.status(), texts::StepSwitchOff);
    }
};

QTEST_MAIN(TestFirmwareGui)
#include "tst_firmwaregui.moc"
