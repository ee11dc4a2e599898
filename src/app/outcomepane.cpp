#include "app/outcomepane.h"

#include <QKeyEvent>
#include <QMouseEvent>

OutcomePane::OutcomePane(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("outcomePane"));
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(QStringLiteral("Итог последней операции"));
    // Set apart from the status line by a rule, not a frame: one line is as tall as the line's.
    setStyleSheet(QStringLiteral("QLabel { border-left: 1px solid palette(mid); padding-left: 4px; }"));
}

void OutcomePane::showOutcome(const ShownOutcome &outcome)
{
    m_whole = outcome.time.toString(QStringLiteral("HH:mm:ss")) + QLatin1Char(' ') + outcome.text;
    m_failure = outcome.severity != JobOutcome::Severity::Info;
    setText(m_whole);
    setToolTip(m_whole);
    setAccessibleDescription(m_whole);
    setStyleSheet(m_failure ? QStringLiteral("QLabel { border-left: 1px solid palette(mid); padding-left: 4px; color: #C00000; }")
                            : QStringLiteral("QLabel { border-left: 1px solid palette(mid); padding-left: 4px; }"));
}

void OutcomePane::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && !m_whole.isEmpty() && rect().contains(event->position().toPoint()))
        emit readRequested(m_whole);
    QLabel::mouseReleaseEvent(event);
}

void OutcomePane::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (!m_whole.isEmpty())
            emit readRequested(m_whole);
        event->accept();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}
