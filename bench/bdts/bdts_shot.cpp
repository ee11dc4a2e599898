// kviro-bdts-shot OUTPUT_DIR: the page "БД ТС" with all three lists filled (the instrument's
// database read from the virtual instrument, a file loaded beside it), saved as bdts.png.
// Run under Xvfb: xvfb-run -a -s "-screen 0 1024x768x24" build/bench/bdts/kviro-bdts-shot docs
#include "app/mainwindow.h"
#include "bdts/bdtsfeature.h"
#include "bdts/bdtsgen.h"
#include "bdts/bdtstransfer.h"
#include "core/dialogs.h"
#include "core/files.h"
#include "link/portcatalog.h"
#include "sim/bdts_sim.h"
#include "sim/virtualinstrument.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {
struct OneFile final : UserDialogs {
    QString file;
    QString askSaveFile(const FileDialogRequest &) override { return {}; }
    QString askOpenFile(const FileDialogRequest &) override { return file; }
    bool warnYesNo(const QString &, const QString &) override { return false; }
    void showError(const QString &, const QString &) override {}
};
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    QDir().mkpath(out);
    QTemporaryDir ports, program;
    VirtualInstrument vi(ports.path(), 3);
    bdts::GenOptions inInstrument;
    inInstrument.seed = 21;
    inInstrument.testSystems = 18;
    vi.bdts().setImage(bdts::generateImage(inInstrument));
    vi.powerOn();

    OneFile dialogs;
    bdts::GenOptions inFile;
    inFile.seed = 22;
    inFile.testSystems = 30;
    inFile.created = QDate(2013, 2, 14);
    inFile.modified = QDate(2014, 6, 5);
    dialogs.file = QDir(program.path()).filePath(QStringLiteral("БДТС_2014.bdts"));
    files::writeWhole(dialogs.file, bdts::generateImage(inFile));

    MainWindowOptions options;
    options.catalog = std::make_unique<FolderPortCatalog>(ports.path());
    options.programDir = program.path();
    options.dialogs = &dialogs;
    TFormMainKviroS_D7 window(std::move(options));
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    QTest::qWait(1300); // the link check finds the instrument
    window.ActionBDTSExecute();
    BdtsFeature &bdts = window.bdts();
    bdts.btnReadBDTSFromSorClick();
    for (int i = 0; i < 400 && bdts.transfer().busy(); ++i)
        QTest::qWait(10);
    bdts.btnReadBDTSFromFileClick();
    QTest::qWait(200);
    const QString path = QDir(out).filePath(QStringLiteral("bdts.png"));
    const bool saved = window.grab().save(path);
    return saved ? 0 : 1;
}
