#include "reader/sheetwindow.h"

#include "core/dialogs.h"
#include "core/files.h"
#include "reader/sheetobject.h"

#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

SheetWindow::SheetWindow(SheetObject &sheet, UserDialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window), m_sheet(sheet), m_dialogs(dialogs), m_opener(&QDesktopServices::openUrl)
{
    setObjectName(QStringLiteral("SheetWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    // A view left open must not keep the program running once the main window is closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(900, 360);

    auto *layout = new QVBoxLayout(this);
    table = new QTableView(this);
    table->setObjectName(QStringLiteral("SheetTable"));
    table->setAccessibleName(QStringLiteral("Таблица Excel"));
    table->setModel(&sheet.model());
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setDefaultSectionSize(64);
    table->verticalHeader()->setDefaultSectionSize(20);
    layout->addWidget(table, 1);

    notText = new QLabel(QStringLiteral("Файл не является текстовой таблицей. Откройте его в программе электронных таблиц."),
                         this);
    notText->setObjectName(QStringLiteral("lbSheetNotText"));
    notText->setWordWrap(true);
    layout->addWidget(notText);

    auto *row = new QHBoxLayout;
    row->addStretch(1);
    btnOpenInSpreadsheetApp = new QPushButton(QStringLiteral("Открыть в программе электронных таблиц"), this);
    btnOpenInSpreadsheetApp->setObjectName(QStringLiteral("btnOpenInSpreadsheetApp"));
    row->addWidget(btnOpenInSpreadsheetApp);
    btnClose = new QPushButton(QStringLiteral("Закрыть"), this);
    btnClose->setObjectName(QStringLiteral("btnCloseSheet"));
    row->addWidget(btnClose);
    layout->addLayout(row);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    connect(btnOpenInSpreadsheetApp, &QPushButton::clicked, this, &SheetWindow::openInSpreadsheetApp);
    refresh();
}

void SheetWindow::refresh()
{
    const QString name = files::shortName(m_sheet.sourceFile());
    setWindowTitle(name.isEmpty() ? QStringLiteral("Таблица Excel") : QStringLiteral("Таблица Excel - ") + name);
    const bool text = m_sheet.isText();
    table->setVisible(text);
    notText->setVisible(!text);
    btnOpenInSpreadsheetApp->setEnabled(m_sheet.holdsObject() && !m_sheet.sourceFile().isEmpty());
}

void SheetWindow::openInSpreadsheetApp()
{
    if (m_sheet.sourceFile().isEmpty())
        return;
    const auto fail = [this](const QString &why) {
        m_dialogs.showError(QStringLiteral("Таблица Excel"),
                            QStringLiteral("Не удалось открыть таблицу в программе электронных таблиц.\n") + why);
    };
    if (!m_copies.isValid())
        return fail(m_copies.errorString());
    const QString copy = QDir(m_copies.path()).filePath(files::shortName(m_sheet.sourceFile()));
    QString why;
    if (!files::writeWhole(copy, m_sheet.bytes(), &why))
        return fail(why);
    if (!m_opener(QUrl::fromLocalFile(copy)))
        fail(QDir::toNativeSeparators(copy));
}
