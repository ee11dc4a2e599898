#pragma once
// The page "Результаты": heading, the read-only text view protocolView, three buttons and two check
// boxes. It shows the protocol controller's text and state and hands every click to it.
#include "link/featurecontext.h"

#include <QString>
#include <QWidget>

#include <functional>

class ProtocolController;
class QCheckBox;
class QPrinter;
class QPlainTextEdit;
class QPushButton;

class ResultPage : public QWidget {
    Q_OBJECT
public:
    // context: the dialogs, the status line and the program folder of the print and PDF buttons.
    ResultPage(ProtocolController &controller, const FeatureContext &context, QWidget *parent = nullptr);

    // "Печать…": the last complete protocol (the working file) on the printer the operator picks.
    void btnPrintProtokolClick();
    // "Сохранить в PDF…": the same as a PDF document, proposed under the protocol's automatic name.
    void btnSaveProtokolPdfClick();
    // "Предварительный просмотр…": the printed pages in a preview window, printable from there.
    void btnPreviewProtokolClick();

    // How the printer is chosen (the print dialog by default; tests set up a PDF printer instead).
    // False = the operator cancelled.
    using PrinterChooser = std::function<bool(QPrinter &)>;
    void setPrinterChooser(PrinterChooser chooser) { m_choosePrinter = std::move(chooser); }

    QPlainTextEdit *protocolView = nullptr;
    QPushButton *btnReadProtokol = nullptr;
    QPushButton *btnSaveProtokol = nullptr;
    QPushButton *btnClearProtocol = nullptr;
    QPushButton *btnPrintProtokol = nullptr;
    QPushButton *btnPreviewProtokol = nullptr;
    QPushButton *btnSaveProtokolPdf = nullptr;
    QCheckBox *chckAutoReadRes = nullptr;
    QCheckBox *chckAutoSaveRes = nullptr;

private:
    void refresh();
    void showText();
    // The last complete protocol's bytes and its document name; false (reported) if unreadable.
    bool lastProtocol(QByteArray *bytes, QString *name);
    // A4, the document's name, and, where the system has no printer and printing can only go to a
    // file, that file proposed in the program folder under the name the PDF button proposes.
    void setUpPrinter(QPrinter &printer, const QString &name) const;

    ProtocolController &m_controller;
    FeatureContext m_ctx;
    PrinterChooser m_choosePrinter;
};
