// The program as it starts: the window starts its own link check, and the real executable finds
// the virtual instrument and probes it on its own; then the enabling rules that follow the link
// state, for every control they touch.
#include "app/aboutpage.h"
#include "app/mainwindow.h"
#include "bdts/bdtsfeature.h"
#include "bdts/tframebdts.h"
#include "reader/odpage.h"
#include "reader/readerfeature.h"
#include "reader/resultpage.h"
#include "support/testbed.h"

#include <QAction>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace {
constexpr int Patience = 20000;

void settle(TestBed &bed)
{
    bed.tick();
    bed.tick();
}
} // namespace

class TstProgramStart : public QObject {
    Q_OBJECT
private slots:
    void windowStartsTheLinkCheckItself()
    {
        TestBed bed;
        MainWindowOptions options;
        options.catalog = std::make_unique<FolderPortCatalog>(bed.portFolder());
        options.dialogs = &bed.dialogs;
        options.programDir = bed.programDir();
        TFormMainKviroS_D7 w(std::move(options));
        QVERIFY(w.link().portSearchRunning());
        QCOMPARE(w.link().linkCheckInterval(), 500);
        // Until the first tick nothing is known.
        QVERIFY(!w.link().linkOn());
        QCOMPARE(w.status().text(), QString());
        // No test drives the ticks here: the window finds the instrument on its own.
        auto *indicator = w.findChild<QToolButton *>(QStringLiteral("sbtnCommON"));
        QTRY_VERIFY_WITH_TIMEOUT(indicator->isEnabled(), Patience);
        QTRY_VERIFY_WITH_TIMEOUT(w.ActionReader->isEnabled(), Patience);
        QCOMPARE(w.status().text(), QStringLiteral("Связь с прибором есть."));
        QTRY_VERIFY_WITH_TIMEOUT(bed.instrument().core().received().count('l') >= 2, Patience);
    }

    void programProbesTheInstrumentAsItStarts()
    {
        TestBed bed;
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KVIRO_SERIALCOMM"), bed.portFolder());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.setProgram(QStringLiteral(KVIRO_SERVICE_PATH));
        program.start();
        QVERIFY2(program.waitForStarted(Patience), qPrintable(program.errorString()));
        // The probe "l" comes again and again, each on a tick of its own, with nothing else.
        QTRY_VERIFY_WITH_TIMEOUT(bed.instrument().core().received().count('l') >= 3, Patience);
        QVERIFY(program.state() == QProcess::Running);
        program.terminate();
        if (!program.waitForFinished(Patience))
            program.kill();
        const QByteArray received = bed.instrument().core().received();
        QCOMPARE(received, QByteArray(received.size(), 'l'));
    }

    void enablingRulesFollowTheLinkState()
    {
        TestBed bed;
        auto &w = bed.window();
        settle(bed);
        w.ActionBDTSExecute();
        w.ActionReaderExecute();
        QPushButton *readOp = w.reader().odPage()->btnReadOP;
        QPushButton *readProtocol = w.reader().resultPage()->btnReadProtokol;
        QPushButton *fromInstrument = w.bdts().frame()->btnReadBDTSFromSor;
        auto line = [&](const char *name) { return w.findChild<FeatureLine *>(QLatin1String(name)); };
        settle(bed);

        // Working mode: everything the instrument serves is offered.
        QVERIFY(readOp->isEnabled());
        QVERIFY(fromInstrument->isEnabled());
        QVERIFY(line("lbReader")->isEnabled() && line("lbLoadBDTS")->isEnabled() && line("lbProtokol")->isEnabled());
        QVERIFY(line("lbLoadPOInSor")->isEnabled());

        // Boot-loader mode: only reprogramming; the protocol's button is never disabled.
        bed.instrument().core().setMode(InstrumentCore::Mode::Loader);
        settle(bed);
        QVERIFY(w.link().instrumentInLoader());
        QVERIFY(!readOp->isEnabled());
        QVERIFY(!fromInstrument->isEnabled());
        QVERIFY(!line("lbReader")->isEnabled());
        QVERIFY(!line("lbLoadBDTS")->isEnabled());
        QVERIFY(!line("lbProtokol")->isEnabled());
        QVERIFY(line("lbLoadPOInSor")->isEnabled());
        QVERIFY(readProtocol->isEnabled());

        // No link at all: not even reprogramming.
        bed.instrument().powerOff();
        bed.tick(200);
        QVERIFY(!line("lbLoadPOInSor")->isEnabled());
        QVERIFY(!readOp->isEnabled() && !fromInstrument->isEnabled());
        QVERIFY(w.ActionExit->isEnabled());

        // Back in working mode: offered again.
        QVERIFY(bed.instrument().powerOn());
        settle(bed);
        QVERIFY(readOp->isEnabled() && fromInstrument->isEnabled() && line("lbReader")->isEnabled());
    }
};

QTEST_MAIN(TstProgramStart)
#include "tst_programstart.moc"
