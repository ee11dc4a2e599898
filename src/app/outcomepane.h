#pragma once
// The status bar's place for the last job's outcome: its time and text, red for a failure, kept
// until the next job ends. The text wraps; the whole of it is also in the tooltip, in the
// accessible description, and in a box that a click, Enter or Space opens.
#include "core/joboutcomes.h"

#include <QLabel>

class OutcomePane : public QLabel {
    Q_OBJECT
public:
    explicit OutcomePane(QWidget *parent = nullptr);

    void showOutcome(const ShownOutcome &outcome);
    // "15:30:00 Данные записаны в файл." or empty before the first outcome.
    QString wholeText() const { return m_whole; }
    bool showsFailure() const { return m_failure; }

signals:
    // The operator asked to read the whole text.
    void readRequested(const QString &text);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_whole;
    bool m_failure = false;
};
