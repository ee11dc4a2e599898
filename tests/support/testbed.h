#pragma once
// A bench for tests: a temporary port folder with the virtual instrument on COM3, a temporary
// program folder, scripted dialogs, and the real main window wired to them.
#include "scripteddialogs.h"
#include "sim/virtualinstrument.h"

#include <QTemporaryDir>

#include <memory>

class TFormMainKviroS_D7;
class InstrumentLink;

// One port-search tick of the link, then the event loop until the probe's answer has been
// dispatched (or maxMs has passed).
void tickAndAwaitAnswer(InstrumentLink &link, int maxMs = 1000);

class TestBed {
public:
    // withInstrument: the instrument is switched on (working mode) at once.
    explicit TestBed(bool withInstrument = true);
    ~TestBed();

    QString portFolder() const { return m_ports.path(); }
    QString programDir() const { return m_program.path() + QLatin1Char('/'); }
    VirtualInstrument &instrument() { return *m_vi; }
    ScriptedDialogs dialogs;

    // The main window on this bench (created at the first call), not shown.
    TFormMainKviroS_D7 &window();
    // One port-search tick, then the event loop until the probe's answer has been dispatched
    // (or maxMs has passed).
    void tick(int maxMs = 1000);
    // Runs the event loop for ms milliseconds.
    static void pump(int ms);
    // Gives every page something to show: the sample plate and protocol, a database held from
    // the instrument (12 test systems) and one opened from a file (16); ends on the first page.
    void fillEveryPage();
    // Opens the window's page by its menu action, as the operator does.
    void showPage(int page);

private:
    QTemporaryDir m_ports;
    QTemporaryDir m_program;
    std::unique_ptr<VirtualInstrument> m_vi;
    std::unique_ptr<TFormMainKviroS_D7> m_window;
};
