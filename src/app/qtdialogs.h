#pragma once
// The real dialogs behind the dialog seam.
#include "core/dialogs.h"

class QWidget;

class QtUserDialogs final : public UserDialogs {
public:
    explicit QtUserDialogs(QWidget *parent) : m_parent(parent) {}
    QString askSaveFile(const FileDialogRequest &request) override;
    QString askOpenFile(const FileDialogRequest &request) override;
    bool warnYesNo(const QString &caption, const QString &text) override;
    void showError(const QString &caption, const QString &text) override;

private:
    QWidget *m_parent;
};
