#pragma once
// The firmware controller on a real link to the virtual instrument over a pseudo-terminal,
// with the main window's link-state update played by the rig.
#include "bootstream.h"
#include "core/files.h"
#include "core/status.h"
#include "firmware/firmwarecontroller.h"
#include "link/instrumentlink.h"
#include "link/portcatalog.h"
#include "sim/boot_sim.h"
#include "sim/virtualinstrument.h"
#include "support/scripteddialogs.h"
#include "support/testbed.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

struct FirmwareRig {
    QTemporaryDir ports, program, cwd;
    VirtualInstrument vi{ports.path(), 3};
    StatusModel status;
    ScriptedDialogs dialogs;
    InstrumentLink link{status, std::make_unique<FolderPortCatalog>(ports.path())};
    bool pageCurrent = true;
    firmware::FirmwareController ctl{FeatureContext{link, status, dialogs, program.path() + QLatin1Char('/')},
                                     [this] { return pageCurrent; }};
    QList<int> progress;

    FirmwareRig()
    {
        ctl.setFrameExists(true);
        ctl.setCurrentDirForSearch(cwd.path());
        ctl.ResetProgWizard(); // the firmware page is the current one
        QObject::connect(&link, &InstrumentLink::tickFinished, [this] { updateLinkState(); });
        QObject::connect(&status, &StatusModel::progressChanged, [this](int p) { progress << p; });
        vi.boot().setProgrammingMs(60000); // quiet after the stream unless a test wants the restart
    }

    QString programDir() const { return program.path() + QLatin1Char('/'); }

    void updateLinkState()
    {
        status.setText(link.linkOn() ? QStringLiteral("Связь с прибором есть.") : QStringLiteral("Прибор выключен или не подключен к ПК."));
        ctl.linkUpdate();
        if (link.instrumentInLoader() && !pageCurrent)
            status.setText(QStringLiteral("Прибор в режиме перепрограммирования."));
    }

    // One link check, then wait for the instrument's answer (if it gives one).
    void tick(int maxMs = 1000) { tickAndAwaitAnswer(link, maxMs); }

    // The default image in the image folder, designated by the default search.
    void designate(const QByteArray &image)
    {
        const QString folder = firmware::imageFolder(programDir());
        QDir().mkpath(folder);
        QVERIFY(files::writeWhole(QDir(folder).filePath(QStringLiteral("Sorvint_3070.tsk")), image));
        ctl.defaultSearch();
        QVERIFY(ctl.image().FirmwareFileReady);
    }

    // Switched on with the stylus, and seen so by the link.
    void inLoader()
    {
        vi.boot().switchOnWithStylus();
        tick();
        tick();
        QVERIFY(link.instrumentInLoader());
        vi.core().clearReceived();
        progress.clear();
    }

    static QByteArray wire(const QByteArray &image) { return bootStream(image); }

    static QByteArray pattern(int size)
    {
        QByteArray b(size, '\0');
        for (int i = 0; i < size; ++i)
            b[i] = char((i * 7 + (i >> 8)) & 0xFF);
        return b;
    }
};
