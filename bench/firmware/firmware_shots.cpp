// firmware_shots: renders both pages of the firmware wizard into PNG files.
//   firmware_shots [OUTPUT_DIR]   (default docs; QT_QPA_PLATFORM=offscreen works)
// The virtual instrument sits in its boot loader and the default image is in place, so the
// second page shows the load step as the operator meets it.
#include "app/mainwindow.h"
#include "core/files.h"
#include "firmware/firmwareimage.h"
#include "firmware/firmwarefeature.h"
#include "firmware/framesoftsor.h"
#include "link/portcatalog.h"
#include "sim/boot_sim.h"
#include "sim/virtualinstrument.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(TFormMainKviroS_D7::ApplicationTitle);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    QDir().mkpath(out);

    QTemporaryDir ports, program;
    const QString folder = firmware::imageFolder(program.path() + QLatin1Char('/'));
    QDir().mkpath(folder);
    files::writeWhole(QDir(folder).filePath(QStringLiteral("Sorvint_3070.tsk")), QByteArray(4096, '\x5A'));
    QDir::setCurrent(program.path());

    VirtualInstrument vi(ports.path(), 3);
    vi.boot().switchOnWithStylus();
    MainWindowOptions options;
    options.catalog = std::make_unique<FolderPortCatalog>(ports.path());
    options.programDir = program.path();
    TFormMainKviroS_D7 window(std::move(options));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QTest::qWait(1300); // two link checks: the instrument is seen in its boot loader
    window.ActionSoftSorvintExecute();
    QTest::qWait(700);
    TFrameSoftSor *frame = window.firmware().frame();
    frame->RzPageControl2->setCurrentIndex(0);
    QTest::qWait(200);
    window.grab().save(QDir(out).filePath(QStringLiteral("firmware-steps12.png")));
    frame->RzPageControl2->setCurrentIndex(1);
    QTest::qWait(700);
    window.grab().save(QDir(out).filePath(QStringLiteral("firmware-step3.png")));
    return 0;
}
