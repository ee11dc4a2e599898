#pragma once
// A panel that draws a soft black drop shadow, 6 pixels deep, behind some of its children
// (the About page's panels, the optical-density grid).
#include <QFrame>
#include <QPointer>
#include <QVector>

class ShadowPanel : public QFrame {
    Q_OBJECT
public:
    using QFrame::QFrame;
    static constexpr int ShadowDepth = 6;

    void addShadowed(QWidget *child) { m_shadowed.append(child); }
    static void drawShadow(QPainter &painter, const QRect &bounds, int depth = ShadowDepth);

signals:
    void resized();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QVector<QPointer<QWidget>> m_shadowed;
};
