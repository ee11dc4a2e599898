#include "reader/sheetwindow.h"

#include "widgets/textfit.h"

#include "core/dialogs.h"
#include "core/files.h"
#include "reader/plateexport.h"
#include "reader/readerfiles.h"
#include "reader/sheetobject.h"

#include "widgets/keyboard.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {
// Paints the colour-scale colour the model gives a plate cell.
class ColourScaleDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QVariant colour = index.data(SheetModel::ScaleColourRole);
        if (colour.isValid())
            option->backgroundBrush = QColor::fromRgba(colour.toUInt());
    }
};

QString baseNameOf(const QString &path)
{
    const QString base = QFileInfo(files::shortName(path)).completeBaseName();
    return base.isEmpty() ? QStringLiteral("Таблица") : base;
}
} // namespace

SheetWindow::SheetWindow(SheetObject &sheet, UserDialogs &dialogs, const QString &programDir, QWidget *parent)
    : QWidget(parent, Qt::Window), m_sheet(sheet), m_dialogs(dialogs), m_programDir(programDir),
      m_opener(&QDesktopServices::openUrl)
{
    setObjectName(QStringLiteral("SheetWindow"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    // A view left open must not keep the program running once the main window is closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(900, 360);

    auto *layout = new QVBoxLayout(this);
    lbPlateInfo = new QLabel(this);
    lbPlateInfo->setObjectName(QStringLiteral("lbPlateInfo"));
    lbPlateInfo->setWordWrap(true);
    layout->addWidget(lbPlateInfo);
    table = new QTableView(this);
    table->setObjectName(QStringLiteral("SheetTable"));
    table->setAccessibleName(QStringLiteral("Таблица Excel"));
    table->setModel(&sheet.model());
    table->setItemDelegate(new ColourScaleDelegate(table));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // One Tab stop: the arrows move inside, Tab goes on to the buttons.
    table->setTabKeyNavigation(false);
    table->horizontalHeader()->setDefaultSectionSize(64);
    table->verticalHeader()->setDefaultSectionSize(20);
    layout->addWidget(table, 1);

    notText = new QLabel(QStringLiteral("Файл не является текстовой таблицей: здесь показываются таблицы прибора (.xls, .txt) "
                                        "и CSV. Книгу Excel и другие файлы откройте кнопкой «Открыть в программе "
                                        "электронных таблиц»."),
                         this);
    notText->setObjectName(QStringLiteral("lbSheetNotText"));
    notText->setWordWrap(true);
    layout->addWidget(notText);

    auto *row = new QHBoxLayout;
    chckColourScale = new QCheckBox(QStringLiteral("Цветовая шкала"), this);
    chckColourScale->setObjectName(QStringLiteral("chckColourScale"));
    chckColourScale->setToolTip(QStringLiteral("Окрасить лунки по величине: зелёный — меньшие, красный — большие"));
    chckColourScale->setChecked(sheet.model().colourScale());
    row->addWidget(chckColourScale);
    lbScaleLegend = new QLabel(this);
    lbScaleLegend->setObjectName(QStringLiteral("lbScaleLegend"));
    lbScaleLegend->setTextFormat(Qt::RichText);
    row->addWidget(lbScaleLegend);
    row->addStretch(1);
    btnSaveAs = new QPushButton(QStringLiteral("Сохранить как…"), this);
    btnSaveAs->setObjectName(QStringLiteral("btnSheetSaveAs"));
    btnSaveAs->setToolTip(QStringLiteral("Записать таблицу книгой Excel (.xlsx) или в CSV"));
    row->addWidget(btnSaveAs);
    btnOpenInSpreadsheetApp = new QPushButton(QStringLiteral("Открыть в программе электронных таблиц"), this);
    btnOpenInSpreadsheetApp->setObjectName(QStringLiteral("btnOpenInSpreadsheetApp"));
    row->addWidget(btnOpenInSpreadsheetApp);
    btnClose = new QPushButton(QStringLiteral("Закрыть"), this);
    btnClose->setObjectName(QStringLiteral("btnCloseSheet"));
    row->addWidget(btnClose);
    keyboard::giveMnemonics({chckColourScale, btnSaveAs, btnOpenInSpreadsheetApp, btnClose});
    // Each caption shows whole whatever the text size: the row never squeezes a button below it.
    for (QPushButton *button : {btnSaveAs, btnOpenInSpreadsheetApp, btnClose})
        button->setMinimumWidth(textfit::buttonTextWidth(*button));
    layout->addLayout(row);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    connect(chckColourScale, &QCheckBox::toggled, &sheet.model(), &SheetModel::setColourScale);
    connect(chckColourScale, &QCheckBox::toggled, this, &SheetWindow::refresh);
    connect(btnSaveAs, &QPushButton::clicked, this, &SheetWindow::saveAs);
    connect(btnOpenInSpreadsheetApp, &QPushButton::clicked, this, &SheetWindow::openInSpreadsheetApp);
    refresh();
}

QString SheetWindow::proposedName() const
{
    // The plate just read is named by its time of reading, as its automatic save is.
    const QDateTime readAt = m_sheet.plateMeta().readAt;
    if (readAt.isValid())
        return readAt.toString(QStringLiteral("yyyy_MM_dd_HH-mm-ss")) + QStringLiteral(" ОП");
    return baseNameOf(m_sheet.sourceFile());
}

void SheetWindow::refresh()
{
    const QString name = files::shortName(m_sheet.sourceFile());
    const QDateTime readAt = m_sheet.plateMeta().readAt;
    if (readAt.isValid())
        setWindowTitle(QStringLiteral("Таблица Excel - ОП, принятые %1").arg(readAt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))));
    else
        setWindowTitle(name.isEmpty() ? QStringLiteral("Таблица Excel") : QStringLiteral("Таблица Excel - ") + name);
    const bool text = m_sheet.isText();
    const bool plate = m_sheet.model().isPlate();
    table->setVisible(text);
    notText->setVisible(!text);
    chckColourScale->setVisible(plate);
    // The plate read from the instrument names its time and port.
    const PlateMeta &meta = m_sheet.plateMeta();
    lbPlateInfo->setText(readAt.isValid() ? QStringLiteral("Оптические плотности, принятые %1 в %2; порт: %3")
                                                .arg(readAt.toString(QStringLiteral("dd.MM.yyyy")),
                                                     readAt.toString(QStringLiteral("HH:mm:ss")),
                                                     meta.port.isEmpty() ? QStringLiteral("не известен") : meta.port)
                                          : QString());
    lbPlateInfo->setVisible(plate && readAt.isValid());
    // The legend: what the colours stand for.
    const QVector<SheetModel::ScaleStop> stops = m_sheet.model().scaleStops();
    QStringList parts, plain;
    static const QLocale russian(QLocale::Russian, QLocale::Russia);
    const QStringList names{QStringLiteral("наименьшее"), QStringLiteral("медиана"), QStringLiteral("наибольшее")};
    for (qsizetype i = 0; i < stops.size() && i < names.size(); ++i) {
        const QString value = russian.toString(stops.at(i).value, 'f', plate::Decimals);
        parts << QStringLiteral("<span style=\"background-color:#%1\">&nbsp;&nbsp;&nbsp;&nbsp;</span>&nbsp;%2 %3")
                     .arg(stops.at(i).colour & 0xFFFFFFu, 6, 16, QLatin1Char('0'))
                     .arg(names.at(i), value);
        plain << names.at(i) + QLatin1Char(' ') + value;
    }
    lbScaleLegend->setText(parts.join(QStringLiteral("&nbsp;&nbsp;")));
    const QString legend = QStringLiteral("Шкала: ") + plain.join(QStringLiteral(", "));
    lbScaleLegend->setAccessibleName(legend);
    lbScaleLegend->setToolTip(legend);
    lbScaleLegend->setVisible(plate && !stops.isEmpty() && chckColourScale->isChecked());
    if (plate) {
        // The plate fills the window's width: twelve equal columns.
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        table->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    } else {
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
        table->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    }
    const bool held = m_sheet.holdsObject() && !m_sheet.sourceFile().isEmpty();
    btnSaveAs->setEnabled(held && text);
    btnOpenInSpreadsheetApp->setEnabled(held);
}

QByteArray SheetWindow::exportBytes(bool csv, QString *why, const CsvStyle &style) const
{
    if (m_sheet.model().isPlate())
        return csv ? plateCsvBytes(m_sheet.bytes(), m_sheet.plateMeta(), style)
                   : plateXlsxBytes(m_sheet.bytes(), m_sheet.plateMeta(), why);
    const QVector<QStringList> &rows = m_sheet.model().rows();
    return csv ? sheetCsvBytes(rows, style) : sheetXlsxBytes(rows, why);
}

void SheetWindow::saveAs()
{
    if (!m_sheet.holdsObject() || !m_sheet.isText())
        return;
    FileDialogRequest request;
    request.caption = QStringLiteral("Сохранить таблицу");
    request.folder = m_programDir;
    request.fileName = proposedName() + QStringLiteral(".xlsx");
    request.filter = readerfiles::workbookFilters();
    request.defaultSuffix = QStringLiteral("xlsx");
    QString filter;
    request.chosenFilter = &filter;
    QString path = m_dialogs.askSaveFile(request);
    if (path.isEmpty())
        return;
    const bool csv = plate::formatOfPath(path) == plate::Format::Csv;
    // Only a workbook or CSV is written here: any other name gets the workbook's extension.
    if (!csv && plate::formatOfPath(path) != plate::Format::Xlsx)
        path += QStringLiteral(".xlsx");
    QString why;
    const QByteArray bytes = exportBytes(csv, &why, readerfiles::csvStyleOfFilter(filter));
    if (bytes.isEmpty() || !files::writeWhole(path, bytes, &why))
        m_dialogs.showError(QStringLiteral("Ошибка"), QStringLiteral("Не удалось записать файл \"%1\".\n%2")
                                                          .arg(QDir::toNativeSeparators(path), why));
}

void SheetWindow::openInSpreadsheetApp()
{
    if (m_sheet.sourceFile().isEmpty())
        return;
    const auto fail = [this](const QString &why) {
        m_dialogs.showError(QStringLiteral("Таблица Excel"),
                            QStringLiteral("Не удалось открыть таблицу в программе электронных таблиц.\n") + why);
    };
    const QString folder = readerfiles::sheetCopiesFolder(m_programDir);
    if (!QDir().mkpath(folder))
        return fail(QDir::toNativeSeparators(folder));
    QString why;
    QByteArray bytes;
    QString suffix = QStringLiteral(".xlsx");
    if (m_sheet.isText()) {
        bytes = exportBytes(false, &why);
        if (bytes.isEmpty())
            return fail(why);
    } else {
        // A real workbook or another file that is not text: its own bytes and extension.
        bytes = m_sheet.bytes();
        const QString own = QFileInfo(files::shortName(m_sheet.sourceFile())).suffix();
        suffix = own.isEmpty() ? QString() : QLatin1Char('.') + own;
    }
    // A new name each time: the desktop program may still hold the previous copy open.
    const QString stem = readerfiles::freeStem(
        folder, proposedName() + QDateTime::currentDateTime().toString(QStringLiteral(" yyyy-MM-dd HH-mm-ss")),
        {suffix});
    const QString copy = QDir(folder).filePath(stem + suffix);
    if (!files::writeWhole(copy, bytes, &why))
        return fail(why);
    // Only the copies the program made are removed at the next start.
    readerfiles::rememberSheetCopy(m_programDir, stem + suffix);
    if (!m_opener(QUrl::fromLocalFile(copy)))
        fail(QStringLiteral("Для файлов \"%1\" в системе не задана программа электронных таблиц. Установите её "
                            "(например, LibreOffice Calc) или выберите её для таких файлов в настройках системы. "
                            "Копия таблицы записана: %2")
                 .arg(suffix, QDir::toNativeSeparators(copy)));
}
