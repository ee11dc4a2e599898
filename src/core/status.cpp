#include "core/status.h"

#include <algorithm>

void StatusModel::setText(const QString &text)
{
    m_text = text;
    emit textChanged(m_text);
}

void StatusModel::setProgress(int percent)
{
    m_progress = std::clamp(percent, 0, 100);
    emit progressChanged(m_progress);
}

void StatusModel::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit busyChanged(m_busy);
}

int StatusModel::percentOf(qint64 done, qint64 total)
{
    if (total <= 0)
        return 0;
    return int(std::clamp<qint64>(done * 100 / total, 0, 100));
}
