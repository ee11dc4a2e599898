#pragma once
// The main window's status line and progress bar as a model: every subsystem reports through it,
// the status bar widgets only show it.
#include <QObject>
#include <QString>

class StatusModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // One line, replaced by each message; an empty text clears it.
    void setText(const QString &text);
    QString text() const { return m_text; }

    // Integer percent 0..100 (done * 100 / total); values outside are clamped.
    void setProgress(int percent);
    int progress() const { return m_progress; }

    // Work goes on whose share cannot be counted (the instrument programming itself): the
    // progress bar shows that it is busy instead of a percent.
    void setBusy(bool busy);
    bool busy() const { return m_busy; }

    // done * 100 div total with a 64-bit product; 0 for a total of 0 or less.
    static int percentOf(qint64 done, qint64 total);

signals:
    void textChanged(const QString &text);
    void progressChanged(int percent);
    void busyChanged(bool busy);

private:
    QString m_text;
    int m_progress = 0;
    bool m_busy = false;
};
