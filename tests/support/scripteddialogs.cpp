#include "scripteddialogs.h"

QString ScriptedDialogs::askSaveFile(const FileDialogRequest &request)
{
    saveRequests.append(request);
    if (request.chosenFilter)
        *request.chosenFilter = saveFilterAnswers.isEmpty() ? request.filter.section(QStringLiteral(";;"), 0, 0)
                                                            : saveFilterAnswers.takeFirst();
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
}

QString ScriptedDialogs::askOpenFile(const FileDialogRequest &request)
{
    openRequests.append(request);
    return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
}

bool ScriptedDialogs::warnYesNo(const QString &caption, const QString &text)
{
    warnings << caption + QLatin1Char('|') + text;
    return yesNoAnswer;
}

void ScriptedDialogs::showError(const QString &caption, const QString &text) { errors << caption + QLatin1Char('|') + text; }
