#pragma once
// TFrameSoftSor: the firmware page. A header band, then the inner pages "Шаги 1,2" and "Шаг 3",
// each split into an instruction pane (60 % of the width) and a picture of the instrument's
// screen. The frame holds no state of its own: it shows the controller's view and forwards
// the operator's clicks.
#include <QFrame>

class QLabel;
class QPushButton;
class QSplitter;
class QTabWidget;

namespace firmware {
class FirmwareController;
}

class UserDialogs;
class InstrumentLink;

class TFrameSoftSor : public QFrame {
    Q_OBJECT
public:
    explicit TFrameSoftSor(firmware::FirmwareController &controller, QWidget *parent = nullptr);
    // The dialogs that ask before a load and the link that says whether the boot loader is there;
    // none: no question.
    void setConfirmation(UserDialogs *dialogs, const InstrumentLink *link)
    {
        m_dialogs = dialogs;
        m_link = link;
    }

    // Splitters at 60 % for the instruction pane (done on every opening of the wizard).
    void arrangePanes();

    QTabWidget *wizardTabs = nullptr;
    QWidget *stepsPage = nullptr; // "Шаги 1,2"
    QWidget *loadPage = nullptr; // "Шаг 3"
    QSplitter *stepsSplitter = nullptr;
    QSplitter *loadSplitter = nullptr;
    QLabel *lbFileLoadPO = nullptr;
    QLabel *lbFileLoadPO2 = nullptr;
    QPushButton *btnOtherFileLoadPO = nullptr;
    QPushButton *btnLoadPO = nullptr;
    QPushButton *btnStopProgramSor = nullptr;

    // Handlers.
    void btnOtherFileLoadPOClick();
    void btnLoadPOClick();
    void btnStopProgramSorClick();
    void wizardTabsChanging();

private:
    QWidget *buildHeader();
    QWidget *buildStepsPage();
    QWidget *buildLoadPage();
    void showView();

    firmware::FirmwareController &m_controller;
    UserDialogs *m_dialogs = nullptr;
    const InstrumentLink *m_link = nullptr;
    bool m_loadWasEnabled = false;
};
