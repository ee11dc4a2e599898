#pragma once
// The reader pages: optical density table ("Ридер ОП"), its spreadsheet view, results protocol
// ("Результаты"). The main window puts the pages on its tabs and calls the hooks below.
#include "link/featurecontext.h"
#include "reader/odcontroller.h"
#include "reader/protocolcontroller.h"
#include "reader/readerexchanges.h"
#include "reader/sheetobject.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;
class OdPage;
class ResultPage;
class SheetWindow;

class ReaderFeature : public QObject {
    Q_OBJECT
public:
    // Registers the reply branches 'G', 'D', '2' (optical densities) and 'g', 'N', 'd' (protocol).
    explicit ReaderFeature(FeatureContext context, QObject *parent = nullptr);
    ~ReaderFeature() override;

    // Page contents for TabShReader and TabShResult.
    QWidget *createOdPage(QWidget *parent);
    QWidget *createResultPage(QWidget *parent);

    // The page-change step for "Ридер ОП": grid panel placed, rows and columns laid out and labelled.
    void odPageBecameCurrent();
    // ActionReaderExecute's own step after the page is shown (the grid laid out again).
    void ActionReaderExecute();
    // From the link-state update: "Принять данные" enabled.
    void setReadOpEnabled(bool enabled);

    // Fills both pages with a realistic plate and protocol, as if the instrument had just sent
    // them (the working files are written to the program folder), and with openSheet also shows
    // the table in the spreadsheet window. For demonstrations and screenshots.
    void showSampleData(bool openSheet = false);

    OdController &od() { return m_exchanges.od(); }
    ProtocolController &protocol() { return m_exchanges.protocol(); }
    SheetObject &sheet() { return m_exchanges.sheet(); }
    OdPage *odPage() const;
    ResultPage *resultPage() const;
    // The spreadsheet window; made when the object is first opened, none before.
    SheetWindow *sheetWindow() const { return m_sheetWindow.get(); }

private:
    void showSheet();
    void closeSheet();

    FeatureContext m_ctx;
    ReaderExchanges m_exchanges;
    std::unique_ptr<SheetWindow> m_sheetWindow;
    QPointer<OdPage> m_odPage;
    QPointer<ResultPage> m_resultPage;
};
