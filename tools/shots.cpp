// kviro-shots: renders the program's pages on the virtual instrument into PNG files.
//   kviro-shots OUTPUT_DIR
// Run under Xvfb (scripts/screenshots.sh) so the real window system draws them.
#include "app/mainwindow.h"
#include "app/qtrussian.h"
#include "journal/journalwindow.h"
#include "bdts/bdtsgen.h"
#include "core/dialogs.h"
#include "core/files.h"
#include "sim/bdts_sim.h"
#include "link/portcatalog.h"
#include "sim/virtualinstrument.h"

#include <QApplication>
#include <QCheckBox>
#include <QTabWidget>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "shots_pages.h"

namespace {
// The operator's answers: a database file for every open dialog, cancel for every save.
class SampleDialogs final : public UserDialogs {
public:
    QString file;
    QString askSaveFile(const FileDialogRequest &) override { return {}; }
    QString askOpenFile(const FileDialogRequest &) override { return file; }
    bool warnYesNo(const QString &, const QString &) override { return true; }
    void showError(const QString &, const QString &) override {}
};

void settle(int ms)
{
    QTest::qWait(ms);
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    installQtRussian(app);
    QApplication::setApplicationName(TFormMainKviroS_D7::ApplicationTitle);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    QDir().mkpath(out);

    QTemporaryDir ports, program;
    VirtualInstrument vi(ports.path(), 3);
    // The instrument's database and a newer file that holds test systems it lacks.
    bdts::GenOptions inInstrument;
    inInstrument.seed = 21;
    inInstrument.testSystems = 18;
    vi.bdts().setImage(bdts::generateImage(inInstrument));
    vi.powerOn();
    MainWindowOptions options;
    options.catalog = std::make_unique<FolderPortCatalog>(ports.path());
    options.programDir = program.path();
    SampleDialogs dialogs;
    bdts::GenOptions inFile;
    inFile.seed = 22;
    inFile.testSystems = 30;
    inFile.created = QDate(2013, 2, 14);
    inFile.modified = QDate(2014, 6, 5);
    dialogs.file = QDir(program.path()).filePath(QStringLiteral("БДТС_2014.bdts"));
    files::writeWhole(dialogs.file, bdts::generateImage(inFile));
    options.dialogs = &dialogs;
    TFormMainKviroS_D7 window(std::move(options));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    settle(1300); // two link-check ticks: the link is up

    auto shoot = [&](const QString &name) {
        settle(150);
        window.grab().save(QDir(out).filePath(name + QStringLiteral(".png")));
    };
    shoot(QStringLiteral("about"));
    shotsOfPages(window, vi, out, shoot, settle);

    // The journal of all that, then the line monitor over a link check and a plate's table.
    window.ActionJournalExecute();
    auto *journal = window.findChild<JournalWindow *>(QStringLiteral("JournalWindow"));
    if (!journal)
        return 1;
    journal->resize(820, 480);
    settle(400);
    journal->grab().save(QDir(out).filePath(QStringLiteral("journal.png")));
    vi.powerOff();
    settle(700);
    vi.powerOn();
    window.ActionReaderExecute();
    journal->showTab(JournalWindow::TabMonitor);
    journal->monitorSwitch()->setChecked(true);
    settle(1200);
    vi.control(QStringLiteral("measure 7"));
    settle(1500);
    journal->grab().save(QDir(out).filePath(QStringLiteral("monitor.png")));
    return 0;
}
