#include "app/qtdialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace {
QString runFileDialog(QWidget *parent, const FileDialogRequest &r, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, r.caption, r.folder, r.filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave || !r.mustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!r.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(r.defaultSuffix);
    if (!r.fileName.isEmpty())
        dialog.selectFile(QDir(r.folder).filePath(r.fileName));
    if (mode == QFileDialog::AcceptSave)
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}
} // namespace

QString QtUserDialogs::askSaveFile(const FileDialogRequest &request)
{
    return runFileDialog(m_parent, request, QFileDialog::AcceptSave);
}

QString QtUserDialogs::askOpenFile(const FileDialogRequest &request)
{
    return runFileDialog(m_parent, request, QFileDialog::AcceptOpen);
}

bool QtUserDialogs::warnYesNo(const QString &caption, const QString &text)
{
    return QMessageBox::warning(m_parent, caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void QtUserDialogs::showError(const QString &caption, const QString &text)
{
    QMessageBox::critical(m_parent, caption, text);
}
