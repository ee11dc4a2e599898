#pragma once
// Dialogs answered by the test: queued file names (empty = cancel), recorded message boxes.
#include "core/dialogs.h"

#include <QStringList>
#include <QVector>

class ScriptedDialogs final : public UserDialogs {
public:
    QStringList saveAnswers; // taken from the front; none left = cancel
    QStringList openAnswers;
    QStringList saveFilterAnswers; // the filter entry chosen with each save answer; none left = the first
    bool yesNoAnswer = true;

    QVector<FileDialogRequest> saveRequests, openRequests;
    QStringList warnings; // "caption|text"
    QStringList errors;   // "caption|text"

    QString askSaveFile(const FileDialogRequest &request) override;
    QString askOpenFile(const FileDialogRequest &request) override;
    bool warnYesNo(const QString &caption, const QString &text) override;
    void showError(const QString &caption, const QString &text) override;
};
