#pragma once
// TFrameBDTS: the database page "БД ТС". Left: the instrument list with its buttons; right: the
// file list above and the additional list below. The frame only shows the database state and
// passes the operator's clicks on to the feature.
#include <QWidget>

#include <vector>

class QGroupBox;
class QLabel;
class QPushButton;
class TsTreeView;
class BdtsDatabase;
class BdtsFeature;
namespace bdts {
struct TsNode;
}

class TFrameBDTS : public QWidget {
    Q_OBJECT
public:
    TFrameBDTS(BdtsFeature &feature, BdtsDatabase &database, QWidget *parent = nullptr);

    // Widths of the groups and buttons, from the frame's width, each at least what its caption
    // needs. Run at showing and at every resize, so the page grows with the window.
    void applyWidths();
    // The least size at which every caption shows whole (not the present widths: the page may
    // shrink again after it has grown).
    QSize minimumSizeHint() const override;
    // Shows the database state: captions, dates, visibility and the buttons it enables.
    void refresh();

    std::vector<const bdts::TsNode *> selectedInstrumentNodes() const;
    int selectedInstrumentCount() const;

    QLabel *title = nullptr;
    QGroupBox *instrumentListGroup = nullptr, *fileListGroup = nullptr, *addListGroup = nullptr;
    TsTreeView *TreeViewSor = nullptr, *TreeViewFile = nullptr, *TreeViewAdd = nullptr;
    QLabel *lbDateBDTSinSorvint = nullptr, *lbDateBDTSinPC = nullptr;
    QPushButton *btnReadBDTSFromSor = nullptr, *btnSaveBDTSinFile = nullptr, *btnDeleteTS = nullptr,
                *btnSaveAddTs = nullptr, *btnReadBDTSFromFile = nullptr, *btnWriteBDTSInSor = nullptr,
                *btnAddTSInSor = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    BdtsDatabase &m_db;
};
