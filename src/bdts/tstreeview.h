#pragma once
// A test-system list view. The instrument list allows a selection of several nodes by Ctrl and
// Shift click, but only among siblings of one parent, so a selection never holds a node together
// with one of its ancestors; a right click selects too, and the selection stays visible when the
// view has no focus.
#include <QTreeView>

class TsTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit TsTreeView(bool multiSelection, QWidget *parent = nullptr);
    void setModel(QAbstractItemModel *model) override;
    // The view is never made shorter than this many rows of text, at any text size.
    void setMinimumRows(int rows);
    QSize minimumSizeHint() const override;

signals:
    // Any click in the view, after the selection has followed it.
    void clickedInView();
    // The Delete key, pressed in the view.
    void deletePressed();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void keepSiblingsOnly();
    bool m_fixing = false;
    int m_minimumRows = 0;
};
