#pragma once
// The About page (TabSheet1): title and instrument bands, three grey panels with soft drop
// shadows, and four feature lines that run their actions.
#include "widgets/shadowpanel.h"

#include <QLabel>
#include <QWidget>

class QFrame;

// A caption that acts like a link: hand cursor, hover colour, clicked().
class FeatureLine : public QLabel {
    Q_OBJECT
public:
    FeatureLine(const QString &objectName, const QString &text, QWidget *parent);
    // While the pointer moves over the line: the tooltip-background colour; on leaving: the
    // 3-D light colour, which is its normal colour.
    void lbLoadPOInSorMouseMove();
    void lbLoadPOInSorMouseLeave();
    bool hovered() const { return m_hovered; }

signals:
    void clicked();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setTextColour(const QColor &colour);
    bool m_hovered = false;
};

class AboutPage : public QWidget {
    Q_OBJECT
public:
    explicit AboutPage(QWidget *parent = nullptr);

    // The layout arithmetic of showing the window; integer divisions.
    void arrange();

    ShadowPanel *RzPanel2;
    QLabel *RzLabel1, *RzLabel2, *RzLabel13, *RzLabel6, *RzLabel10, *RzLabel5;
    QLabel *lbBuild; // the full version with the commit, above the version label
    QFrame *RzPanel3, *RzPanel4, *RzPanel5;
    FeatureLine *lbLoadPOInSor, *lbLoadBDTS, *lbReader, *lbProtokol;
};
