#include "shots_pages.h"

#include "app/mainwindow.h"
#include "reader/plateexport.h"
#include "reader/readerfeature.h"
#include "sim/virtualinstrument.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTabWidget>

namespace {
QWidget *otherTopLevel(QWidget *main)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != main && w->isVisible() && w->isWindow() && !w->inherits("QMenu"))
            return w;
    return nullptr;
}

void click(TFormMainKviroS_D7 &window, const char *name)
{
    if (auto *b = window.findChild<QAbstractButton *>(QString::fromLatin1(name)); b && b->isEnabled())
        b->click();
}
} // namespace

void shotsOfPages(TFormMainKviroS_D7 &window, VirtualInstrument &vi, const QString &outDir,
                  const std::function<void(const QString &)> &shoot, const std::function<void(int)> &settle)
{
    // Optical densities: the instrument measures a plate and announces it; the page fetches it.
    window.ActionReaderExecute();
    vi.control(QStringLiteral("measure 7"));
    settle(1500);
    shoot(QStringLiteral("reader"));
    click(window, "btnCreateExcel");
    settle(400);
    if (QWidget *sheet = otherTopLevel(&window)) {
        sheet->grab().save(QDir(outDir).filePath(QStringLiteral("sheet.png")));
        sheet->close();
    }
    // The same plate as a workbook; scripts/screenshots.sh shows it in a spreadsheet program.
    writePlateXlsx(QDir(outDir).filePath(QStringLiteral("plate.xlsx")), window.reader().od().OpText,
                   window.reader().od().readingMeta());

    // Results protocol, announced by the instrument.
    window.ActionFileExecute();
    vi.control(QStringLiteral("results"));
    settle(1500);
    shoot(QStringLiteral("results"));

    // Test-system database: the instrument's list, a file's list and the additional list.
    window.ActionBDTSExecute();
    settle(100);
    click(window, "btnReadBDTSFromSor");
    settle(2500);
    click(window, "btnReadBDTSFromFile");
    settle(500);
    shoot(QStringLiteral("bdts"));

    // Firmware wizard with an image designated and the instrument in its boot loader.
    QDir(window.ProgramDir).mkpath(QStringLiteral("FilesInSorvint"));
    QFile image(QDir(window.ProgramDir).filePath(QStringLiteral("FilesInSorvint/Sorvint_3070.tsk")));
    if (image.open(QIODevice::WriteOnly))
        image.write(QByteArray(40000, '\x5A'));
    image.close();
    window.ActionSoftSorvintExecute();
    settle(1200);
    shoot(QStringLiteral("firmware-steps12"));
    vi.control(QStringLiteral("stylus 600"));
    settle(2500);
    if (auto *inner = window.findChild<QTabWidget *>(QStringLiteral("wizardTabs")))
        inner->setCurrentIndex(1);
    settle(700);
    shoot(QStringLiteral("firmware-step3"));
}
