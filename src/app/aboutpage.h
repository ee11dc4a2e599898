#pragma once
// The About page (aboutPage): title and instrument bands, three grey panels with soft drop
// shadows, and four feature lines that run their actions.
#include "widgets/shadowpanel.h"

#include <QLabel>
#include <QWidget>

class QFrame;

// A caption that acts like a link: hand cursor, hover colour, clicked(). It also takes the
// keyboard: Tab reaches it, Enter or Space runs it, and a dotted frame shows the focus. Disabled,
// it is greyed.
class FeatureLine : public QLabel {
    Q_OBJECT
public:
    FeatureLine(const QString &objectName, const QString &text, QWidget *parent);
    // While the pointer moves over the line: the tooltip-background colour; on leaving: the
    // 3-D light colour, which is its normal colour.
    void lbLoadPOInSorMouseMove();
    void lbLoadPOInSorMouseLeave();
    bool hovered() const { return m_hovered; }
    // The text colour of a disabled line.
    static QColor disabledColour() { return QColor(0xB4, 0xB4, 0xB4); }

signals:
    void clicked();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void setTextColour(const QColor &colour);
    QColor normalColour() const;
    bool m_hovered = false;
};

class AboutPage : public QWidget {
    Q_OBJECT
public:
    explicit AboutPage(QWidget *parent = nullptr);

    // The layout arithmetic of showing the window; integer divisions. The bands are as tall as
    // their text needs, never less than their classic heights.
    void arrange();
    // The least size at which every panel shows all its lines.
    QSize minimumSizeHint() const override;

    ShadowPanel *aboutBackground;
    QLabel *titleBand, *instrumentBand, *instrumentTypeLabel, *versionLabel, *bandMark, *featureHeading;
    QLabel *lbBuild; // the full version with the commit, above the version label
    QFrame *purposePanel, *featurePanel, *requirementsPanel;
    FeatureLine *lbLoadPOInSor, *lbLoadBDTS, *lbReader, *lbProtokol;
};
