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
    // A name typed without an extension gets the one of the filter the operator chose, so that
    // the format follows the filter ("Книга Excel (*.xlsx)" gives ".xlsx").
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &r](const QString &filter) {
        const QString suffix = suffixOfFilter(filter);
        dialog.setDefaultSuffix(suffix.isEmpty() ? r.defaultSuffix : suffix);
    });
    if (!r.fileName.isEmpty())
        dialog.selectFile(QDir(r.folder).filePath(r.fileName));
    if (mode == QFileDialog::AcceptSave)
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    if (r.chosenFilter)
        *r.chosenFilter = dialog.selectedNameFilter();
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
    // Every question guards an action that cannot be taken back: Enter answers No.
    return QMessageBox::warning(m_parent, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void QtUserDialogs::showError(const QString &caption, const QString &text)
{
    QMessageBox::critical(m_parent, caption, text);
}
