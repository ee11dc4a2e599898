#include "testbed.h"

#include "app/mainwindow.h"
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsfeature.h"
#include "bdts/bdtsgen.h"
#include "bdts/tframebdts.h"
#include "core/files.h"
#include "reader/readerfeature.h"
#include "link/portcatalog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

TestBed::TestBed(bool withInstrument)
{
    m_vi = std::make_unique<VirtualInstrument>(m_ports.path(), 3);
    if (withInstrument)
        m_vi->powerOn();
}

TestBed::~TestBed()
{
    m_window.reset();
    m_vi.reset();
}

TFormMainKviroS_D7 &TestBed::window()
{
    if (!m_window) {
        MainWindowOptions options;
        options.catalog = std::make_unique<FolderPortCatalog>(m_ports.path());
        options.dialogs = &dialogs;
        options.programDir = programDir();
        options.startLinkCheck = false;
        m_window = std::make_unique<TFormMainKviroS_D7>(std::move(options));
    }
    return *m_window;
}

void tickAndAwaitAnswer(InstrumentLink &link, int maxMs)
{
    bool answered = false;
    const auto c = QObject::connect(&link, &InstrumentLink::linkChanged, [&] { answered = true; });
    link.PortSearchTick();
    QElapsedTimer t;
    t.start();
    while (!answered && t.elapsed() < maxMs)
        QTest::qWait(5);
    QObject::disconnect(c);
    QTest::qWait(10);
}

void TestBed::tick(int maxMs) { tickAndAwaitAnswer(window().link(), maxMs); }

void TestBed::pump(int ms) { QTest::qWait(ms); }

void TestBed::fillEveryPage()
{
    TFormMainKviroS_D7 &w = window();
    w.reader().showSampleData();
    w.ActionBDTSExecute();
    bdts::GenOptions inInstrument;
    inInstrument.seed = 3;
    inInstrument.testSystems = 12;
    const QByteArray image = bdts::generateImage(inInstrument);
    w.bdts().database().takeInstrumentImage(image, bdts::wholePages(image));
    bdts::GenOptions inFile = inInstrument;
    inFile.seed = 4;
    inFile.testSystems = 16;
    const QString file = programDir() + QStringLiteral("БДТС.bdts");
    files::writeWhole(file, bdts::generateImage(inFile));
    dialogs.openAnswers << file;
    w.bdts().frame()->btnReadBDTSFromFile->click();
    w.ActionSoftSorvintExecute();
    w.Action1Execute();
}

void TestBed::showPage(int page)
{
    using Window = TFormMainKviroS_D7;
    Window &w = window();
    switch (page) {
    case Window::PageAbout: w.Action1Execute(); break;
    case Window::PageSoftSor: w.ActionSoftSorvintExecute(); break;
    case Window::PageBDTS: w.ActionBDTSExecute(); break;
    case Window::PageReader: w.ActionReaderExecute(); break;
    case Window::PageResult: w.ActionFileExecute(); break;
    }
}
