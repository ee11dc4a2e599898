#include "reader/resultpage.h"

#include "core/dialogs.h"
#include "core/files.h"
#include "core/status.h"
#include "reader/protocol.h"
#include "reader/protocolcontroller.h"
#include "reader/protocolprint.h"
#include "reader/readerfiles.h"

#include "widgets/keyboard.h"

#include <QDir>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

ResultPage::ResultPage(ProtocolController &controller, const FeatureContext &context, QWidget *parent)
    : QWidget(parent), m_controller(controller), m_ctx(context)
{
    m_choosePrinter = [this](QPrinter &printer) {
        // Qt's own dialog on Linux proposes its "print to file" name in the current folder (when
        // it lies under the home folder): while it is made, that is the folder where the PDF goes.
        const QString before = QDir::currentPath();
        QDir::setCurrent(m_ctx.programDir);
        QPrintDialog dialog(&printer, this);
        QDir::setCurrent(before);
        dialog.setWindowTitle(QStringLiteral("Печать протокола"));
        return dialog.exec() == QDialog::Accepted;
    };
    setObjectName(QStringLiteral("ResultPage"));
    auto *layout = new QVBoxLayout(this);

    auto *heading = new QLabel(QStringLiteral("Чтение протокола результатов из СОРВИНТа."), this);
    heading->setObjectName(QStringLiteral("lbResultHeading"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);

    protocolView = new QPlainTextEdit(this);
    protocolView->setObjectName(QStringLiteral("protocolView"));
    protocolView->setAccessibleName(QStringLiteral("Протокол результатов"));
    protocolView->setReadOnly(true);
    protocolView->setTabChangesFocus(true); // Tab walks on to the buttons
    protocolView->setLineWrapMode(QPlainTextEdit::NoWrap);
    protocolView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    protocolView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The protocol is laid out in columns by blanks: a fixed-pitch font keeps them aligned.
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    if (!QFontInfo(fixed).fixedPitch()) {
        fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setFixedPitch(true);
    }
    protocolView->setFont(fixed);
    layout->addWidget(protocolView, 1);

    auto *buttons = new QHBoxLayout;
    auto makeButton = [this, buttons](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        buttons->addWidget(b);
        return b;
    };
    btnReadProtokol = makeButton("btnReadProtokol", QStringLiteral("Принять данные"));
    btnSaveProtokol = makeButton("btnSaveProtokol", QStringLiteral("Данные в файл"));
    btnClearProtocol = makeButton("btnClearProtocol", QStringLiteral("Очистить экран"));
    btnReadProtokol->setToolTip(QStringLiteral("Принять протокол результатов из прибора"));
    btnSaveProtokol->setToolTip(QStringLiteral("Записать протокол в файл"));
    btnClearProtocol->setToolTip(QStringLiteral("Очистить окно протокола"));
    buttons->addStretch(1);
    btnPrintProtokol = makeButton("btnPrintProtokol", QStringLiteral("Печать…"));
    btnSaveProtokolPdf = makeButton("btnSaveProtokolPdf", QStringLiteral("Сохранить в PDF…"));
    // The preview sits under "Печать…", in the row of the check boxes: the page keeps its width.
    btnPreviewProtokol = new QPushButton(QStringLiteral("Предварительный просмотр…"), this);
    btnPreviewProtokol->setObjectName(QStringLiteral("btnPreviewProtokol"));
    keyboard::giveMnemonics({btnReadProtokol, btnSaveProtokol, btnClearProtocol, btnPrintProtokol, btnPreviewProtokol, btnSaveProtokolPdf},
                            keyboard::MenuLetters);
    btnPreviewProtokol->setToolTip(QStringLiteral("Показать страницы последнего принятого протокола так, как они будут напечатаны"));
    btnPrintProtokol->setToolTip(QStringLiteral("Напечатать последний принятый протокол"));
    btnSaveProtokolPdf->setToolTip(QStringLiteral("Записать последний принятый протокол документом PDF"));
    layout->addLayout(buttons);
    auto *checks = new QHBoxLayout;
    chckAutoReadRes = new QCheckBox(QStringLiteral("автоприем данных"), this);
    chckAutoReadRes->setObjectName(QStringLiteral("chckAutoReadRes"));
    chckAutoSaveRes = new QCheckBox(QStringLiteral("автосохранение данных"), this);
    chckAutoSaveRes->setObjectName(QStringLiteral("chckAutoSaveRes"));
    checks->addWidget(chckAutoReadRes);
    checks->addWidget(chckAutoSaveRes);
    checks->addStretch(1);
    checks->addWidget(btnPreviewProtokol);
    layout->addLayout(checks);

    connect(btnReadProtokol, &QPushButton::clicked, &controller, &ProtocolController::btnReadProtokolClick);
    connect(btnSaveProtokol, &QPushButton::clicked, &controller, &ProtocolController::btnSaveProtokolClick);
    connect(btnClearProtocol, &QPushButton::clicked, &controller, &ProtocolController::btnClearProtocolClick);
    connect(btnPrintProtokol, &QPushButton::clicked, this, &ResultPage::btnPrintProtokolClick);
    connect(btnSaveProtokolPdf, &QPushButton::clicked, this, &ResultPage::btnSaveProtokolPdfClick);
    connect(btnPreviewProtokol, &QPushButton::clicked, this, &ResultPage::btnPreviewProtokolClick);
    // On the state, not the click: a screen reader or the keyboard may toggle a box without one.
    connect(chckAutoReadRes, &QCheckBox::toggled, &controller, &ProtocolController::setAutoRead);
    connect(chckAutoSaveRes, &QCheckBox::toggled, &controller, &ProtocolController::setAutoSave);
    connect(&controller, &ProtocolController::stateChanged, this, &ResultPage::refresh);
    connect(&controller, &ProtocolController::memoChanged, this, &ResultPage::showText);
    refresh();
    showText();
}

void ResultPage::refresh()
{
    btnSaveProtokol->setEnabled(m_controller.saveEnabled());
    btnPrintProtokol->setEnabled(m_controller.saveEnabled());
    btnPreviewProtokol->setEnabled(m_controller.saveEnabled());
    btnSaveProtokolPdf->setEnabled(m_controller.saveEnabled());
    chckAutoReadRes->setChecked(m_controller.autoRead());
    chckAutoSaveRes->setChecked(m_controller.autoSave());
}

void ResultPage::showText() { protocolView->setPlainText(m_controller.memoText()); }

bool ResultPage::lastProtocol(QByteArray *bytes, QString *name)
{
    // What "Данные в файл" would save: the working file, even after "Очистить экран".
    if (!readerfiles::readOrReport(m_ctx.dialogs, readerfiles::workingProtocolPath(m_ctx.programDir), bytes))
        return false;
    *name = files::safeInstrumentFileName(protokol::automaticName(*bytes));
    if (name->isEmpty())
        *name = QStringLiteral("Протокол");
    return true;
}

void ResultPage::setUpPrinter(QPrinter &printer, const QString &name) const
{
    printer.setDocName(name);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
#ifndef Q_OS_WIN
    // Windows' own print dialog takes no file name and refuses a printer that writes a file.
    if (QPrinterInfo::availablePrinterNames().isEmpty())
        printer.setOutputFileName(QDir(m_ctx.programDir).filePath(name + QStringLiteral(".pdf")));
#endif
}

void ResultPage::btnPreviewProtokolClick()
{
    QByteArray bytes;
    QString name;
    if (!lastProtocol(&bytes, &name))
        return;
    auto *preview = new QPrintPreviewDialog(this);
    preview->setObjectName(QStringLiteral("protocolPreview"));
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->setWindowTitle(QStringLiteral("Предварительный просмотр: ") + name);
    setUpPrinter(*preview->printer(), name);
    const QString text = protocolprint::protocolText(bytes);
    connect(preview, &QPrintPreviewDialog::paintRequested, preview,
            [text, name](QPrinter *printer) { protocolprint::paint(*printer, text, name); });
    preview->open();
}

void ResultPage::btnPrintProtokolClick()
{
    QByteArray bytes;
    QString name;
    if (!lastProtocol(&bytes, &name))
        return;
    QPrinter printer(QPrinter::HighResolution);
    setUpPrinter(printer, name);
    if (!m_choosePrinter(printer))
        return;
    if (protocolprint::paint(printer, protocolprint::protocolText(bytes), name) == 0) {
        m_ctx.dialogs.showError(QStringLiteral("Ошибка"), QStringLiteral("Не удалось напечатать протокол."));
        return;
    }
    m_ctx.status.setText(QStringLiteral("Протокол отправлен на печать."));
}

void ResultPage::btnSaveProtokolPdfClick()
{
    QByteArray bytes;
    QString name;
    if (!lastProtocol(&bytes, &name))
        return;
    FileDialogRequest request;
    request.caption = QStringLiteral("Сохранить протокол в PDF");
    request.folder = m_ctx.programDir;
    request.fileName = name + QStringLiteral(".pdf");
    request.filter = qtFilterFromPairs(QStringLiteral("Документ PDF (*.pdf)|*.pdf"));
    request.defaultSuffix = QStringLiteral("pdf");
    const QString path = m_ctx.dialogs.askSaveFile(request);
    if (path.isEmpty())
        return;
    QString why;
    if (!protocolprint::writePdf(path, protocolprint::protocolText(bytes), name, &why)) {
        m_ctx.dialogs.showError(QStringLiteral("Ошибка"), QStringLiteral("Не удалось записать файл \"%1\".\n%2")
                                                          .arg(QDir::toNativeSeparators(path), why));
        return;
    }
    m_ctx.status.setText(QStringLiteral("Протокол записан в файл: ") + files::shortName(path));
}
