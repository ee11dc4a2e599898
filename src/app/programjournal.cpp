#include "app/programjournal.h"

#include "link/networkports.h"
#include "core/status.h"
#include "journal/journalwindow.h"
#include "link/instrumentlink.h"

#include <QDir>
#include <QLabel>

ProgramJournal::ProgramJournal(const QString &workingFolder, StatusModel &status, QObject *parent)
    : QObject(parent), statusFeed(status, journal)
{
    journal.setLineMonitor(&monitor);
    journal.open(Journal::folderIn(workingFolder));
    if (!Journal::current())
        Journal::setCurrent(&journal);
    journal.info(QStringLiteral("Программа запущена. Рабочая папка: ") + QDir::toNativeSeparators(workingFolder));
}

ProgramJournal::~ProgramJournal()
{
    delete m_window;
    journal.info(QStringLiteral("Программа завершена."));
    if (Journal::current() == &journal)
        Journal::setCurrent(nullptr);
}

UserDialogs &ProgramJournal::dialogs(UserDialogs &inner)
{
    m_dialogs = std::make_unique<JournalingDialogs>(inner, journal);
    return *m_dialogs;
}

void ProgramJournal::attachLink(InstrumentLink &link)
{
    const TMSComm &comm = link.line();
    link.setLineMonitor(&monitor);
    connect(&comm, &TMSComm::portOpened, this, [this, &comm] {
        m_lastProblem.clear();
        // A port on the network goes by its address.
        if (isNetworkPortNumber(comm.CommPort())) {
            m_portName = comm.openDevice();
            journal.add(JournalKind::Port, QStringLiteral("Порт %1 открыт.").arg(m_portName));
            return;
        }
        m_portName = QStringLiteral("COM%1").arg(comm.CommPort());
        journal.add(JournalKind::Port, QStringLiteral("Порт %1 (%2) открыт.")
                                           .arg(m_portName, QDir::toNativeSeparators(comm.openDevice())));
    });
    connect(&comm, &TMSComm::portClosed, this, [this] {
        journal.add(JournalKind::Port, QStringLiteral("Порт %1 закрыт.").arg(m_portName));
    });
    connect(&comm, &TMSComm::portLost, this, [this](const QString &reason) {
        journal.add(JournalKind::Port, QStringLiteral("Связь через порт %1 потеряна: %2").arg(m_portName, reason));
    });
    // A port that cannot be opened is tried at every tick: its reason is journalled when it changes.
    connect(&link, &InstrumentLink::stripChanged, this, [this, &link] {
        const QString problem = link.portStrip().problem;
        if (problem == m_lastProblem)
            return;
        m_lastProblem = problem;
        if (!problem.isEmpty())
            journal.add(JournalKind::Port, QStringLiteral("Порт не открыт: ") + problem);
    });
}

void ProgramJournal::attachStatusPane(QLabel *pane)
{
    connect(&journal, &Journal::alert, pane, [pane](const JournalEntry &entry) {
        pane->setToolTip(entry.when.toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(' ') + Journal::kindCaption(entry.kind) +
                         QStringLiteral(": ") + entry.text);
    });
}

JournalWindow *ProgramJournal::showWindow(QWidget *parent)
{
    if (!m_window) {
        UserDialogs *d = m_dialogs.get();
        Q_ASSERT(d);
        m_window = new JournalWindow(journal, monitor, *d, parent);
        m_window->setAttribute(Qt::WA_DeleteOnClose, false);
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return m_window;
}
