#include "sim/instrumentcore.h"

InstrumentCore::InstrumentCore(QObject *parent) : QObject(parent)
{
    addCommand('l', [this](const QByteArray &) -> qsizetype {
        send(QByteArrayLiteral("L"));
        return 1;
    });
    m_loader = [this](const QByteArray &pending) -> qsizetype {
        if (pending.at(0) == 'l')
            send(QByteArrayLiteral("l"));
        return 1;
    };
}

void InstrumentCore::addCommand(char letter, Command command) { m_commands[static_cast<unsigned char>(letter)] = std::move(command); }

void InstrumentCore::setLoaderHandler(Command handler) { m_loader = std::move(handler); }

void InstrumentCore::setMode(Mode mode)
{
    if (m_mode == mode)
        return;
    m_mode = mode;
    m_pending.clear();
    emit modeChanged(mode);
}

void InstrumentCore::feed(const QByteArray &fromPc)
{
    m_received.append(fromPc);
    m_pending.append(fromPc);
    process();
}

void InstrumentCore::process()
{
    while (!m_pending.isEmpty()) {
        if (m_silent) {
            m_pending.clear();
            return;
        }
        qsizetype used = 0;
        if (m_mode == Mode::Loader) {
            used = m_loader ? m_loader(m_pending) : m_pending.size();
        } else {
            const char letter = m_pending.at(0);
            const Command &command = m_commands[static_cast<unsigned char>(letter)];
            emit commandSeen(letter);
            used = command ? command(m_pending) : 1; // an unknown byte is dropped
        }
        if (used <= 0)
            return;
        m_pending.remove(0, std::min(used, m_pending.size()));
    }
}
