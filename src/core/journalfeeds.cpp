#include "core/journalfeeds.h"

#include "core/status.h"

#include <QRegularExpression>

namespace {
QString shapeOf(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("[0-9]+"));
    QString shape = text;
    shape.replace(digits, QStringLiteral("#"));
    return shape;
}
} // namespace

StatusJournal::StatusJournal(StatusModel &status, Journal &journal, QObject *parent) : QObject(parent), m_journal(journal)
{
    connect(&status, &StatusModel::textChanged, this, &StatusJournal::onText);
}

StatusJournal::~StatusJournal() { flushHeld(); }

JournalKind StatusJournal::kindOf(const QString &text)
{
    static const QRegularExpression error(QStringLiteral("ошибка"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression warning(
        QStringLiteral("^(неверн|нельзя|нет |не удалось)|не содержит|слишком велик|отброшен|не считан|не отвечает|"
                       "прерван|отключен|выключен|не подключен|отклонен|недопустим|не найден|не открывается"),
        QRegularExpression::CaseInsensitiveOption);
    if (error.match(text).hasMatch())
        return JournalKind::Error;
    if (warning.match(text).hasMatch())
        return JournalKind::Warning;
    return JournalKind::Info;
}

void StatusJournal::beginTick()
{
    m_inTick = true;
    m_tickText.clear();
}

void StatusJournal::endTick(bool stateKnown)
{
    m_inTick = false;
    if (!stateKnown)
        return; // a guess before the instrument could answer: the next tick tells
    if (m_tickText.isEmpty() || m_tickText == m_lastTickText)
        return;
    m_lastTickText = m_tickText;
    if (m_tickText != m_lastJournalled) // not when the tick only repeats what the line just said
        journalNow(m_tickText);
}

void StatusJournal::onText(const QString &text)
{
    if (m_inTick) {
        flushHeld(); // the counter's run has ended: the line shows something else now
        m_tickText = text;
        return;
    }
    if (text.isEmpty() || text == m_lastJournalled)
        return;
    // A bare count (the characters of a reply received so far) is progress, not a message: the
    // exchange's end entry gives the bytes.
    static const QRegularExpression bareNumber(QStringLiteral("^\\s*\\d+\\s*$"));
    if (bareNumber.match(text).hasMatch())
        return;
    const QString shape = shapeOf(text);
    if (shape == m_lastShape && shape != text) {
        m_held = text; // the same counter with a new value: only its last value is kept
        m_heldWhen = QDateTime::currentDateTime();
        return;
    }
    journalNow(text);
}

void StatusJournal::journalNow(const QString &text)
{
    flushHeld();
    m_journal.add(kindOf(text), text);
    m_lastJournalled = text;
    m_lastShape = shapeOf(text);
}

void StatusJournal::flushHeld()
{
    if (m_held.isEmpty())
        return;
    const QString held = m_held;
    m_held.clear();
    m_journal.addAt(m_heldWhen, kindOf(held), held);
    m_lastJournalled = held;
}

bool JournalingDialogs::warnYesNo(const QString &caption, const QString &text)
{
    m_journal.warning(caption + QStringLiteral(": ") + text);
    const bool yes = m_inner.warnYesNo(caption, text);
    m_journal.info(caption + (yes ? QStringLiteral(": ответ «Да».") : QStringLiteral(": ответ «Нет».")));
    return yes;
}

void JournalingDialogs::showError(const QString &caption, const QString &text)
{
    // Journalled before the box is shown: a box left open does not hold its text back.
    m_journal.error(caption + QStringLiteral(": ") + text);
    m_inner.showError(caption, text);
}
