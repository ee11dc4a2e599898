#include "widgets/shadowpanel.h"

#include <QPainter>

void ShadowPanel::drawShadow(QPainter &painter, const QRect &bounds, int depth)
{
    // Layers offset down and right, each adding a little black: darkest by the panel's edge.
    painter.save();
    painter.setPen(Qt::NoPen);
    for (int d = depth; d >= 1; --d)
        painter.fillRect(bounds.translated(d, d), QColor(0, 0, 0, 14));
    painter.restore();
}

void ShadowPanel::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    for (const QPointer<QWidget> &child : std::as_const(m_shadowed))
        if (child && child->isVisibleTo(this))
            drawShadow(painter, child->geometry());
}

void ShadowPanel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    emit resized();
}
