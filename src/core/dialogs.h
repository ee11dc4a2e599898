#pragma once
// The seam between handlers and the modal dialogs they show. The program uses the widget
// implementation (app/qtdialogs); tests put a scripted one in its place so every handler can run
// without a person at the keyboard.
#include <QString>

class QWidget;

struct FileDialogRequest {
    QString caption;
    QString folder;        // initial folder
    QString fileName;      // pre-set name ("SorDat_")
    QString filter;        // Qt filter text, entries separated by ";;"
    QString defaultSuffix; // without the dot ("xls")
    bool mustExist = true; // open dialogs: false accepts a typed name of a file that is not there
    QString *chosenFilter = nullptr; // when set: receives the filter entry the operator left chosen
};

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    // Both return the chosen path, or an empty text when the operator cancels.
    virtual QString askSaveFile(const FileDialogRequest &request) = 0;
    virtual QString askOpenFile(const FileDialogRequest &request) = 0;
    // A warning with the buttons Yes and No; the answer is given back (true = Yes).
    virtual bool warnYesNo(const QString &caption, const QString &text) = 0;
    // The error report for a failed file or serial operation.
    virtual void showError(const QString &caption, const QString &text) = 0;
};

// Turns a filter written as "Описание (*.a)|*.a|Другое (*.b)|*.b" into Qt's "Описание (*.a);;Другое (*.b)".
QString qtFilterFromPairs(const QString &pairs);

// The extension (without the dot) of a filter entry's first pattern: "Книга Excel (*.xlsx)" gives
// "xlsx"; empty for "*" or "*.*" or an entry without patterns.
QString suffixOfFilter(const QString &filterEntry);
