#pragma once
// The page "Ридер ОП": heading, the grid panel gridPanel on the page panel odPagePanel (which draws
// its drop shadow), the four buttons and two check boxes. It shows the OD controller's state and
// hands every click to it.
#include "widgets/shadowpanel.h"

#include <QFrame>
#include <QPointer>
#include <QVector>

class OdController;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;

class OdPage : public ShadowPanel {
    Q_OBJECT
public:
    OdPage(OdController &controller, QWidget *parent = nullptr);

    // The grid laid out for the page's current size and labelled anew (every value cell emptied).
    // placePanel: the grid panel is first placed at top 20, full width, page height - 100.
    void layOut(bool placePanel);
    // The least size at which the buttons, the heading and six characters a cell all fit.
    QSize minimumSizeHint() const override;

    QFrame *gridPanel = nullptr;
    QTableView *grid = nullptr;
    QPushButton *btnReadOP = nullptr;
    QPushButton *btnSaveOP = nullptr;
    QPushButton *btnCreateExcel = nullptr;
    QPushButton *btnFileToExcel = nullptr;
    QCheckBox *chckAutoReadOP = nullptr;
    QCheckBox *chckAutoSaveOP = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void placePanel();
    // Room below the grid panel: 100 px, or what the buttons and check boxes need at this text size.
    int bottomReserve() const;
    void sizeGrid();
    void placeControls();
    void refresh();

    OdController &m_controller;
    QLabel *m_heading = nullptr;
    QWidget *m_controls = nullptr;
};
