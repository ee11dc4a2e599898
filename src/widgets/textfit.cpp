#include "widgets/textfit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>

namespace textfit {
namespace {
QString shown(QString text)
{
    // "&&" is one ampersand; a single "&" marks the Alt letter and takes no room.
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

QSize textBlock(const QWidget &w, const QString &text)
{
    const QFontMetrics fm = w.fontMetrics();
    return fm.size(Qt::TextShowMnemonic, text);
}

bool fits(const QWidget &w, const QSize &need, QString *why)
{
    if (w.width() >= need.width() && w.height() >= need.height())
        return true;
    if (why)
        *why = QStringLiteral("%1 \"%2\": %3x%4 needs %5x%6")
                   .arg(w.objectName(), QString::fromLatin1(w.metaObject()->className()))
                   .arg(w.width())
                   .arg(w.height())
                   .arg(need.width())
                   .arg(need.height());
    return false;
}
} // namespace

int buttonTextWidth(const QAbstractButton &button)
{
    const QStyle *style = button.style();
    // The caption is drawn inside the button's frame (and its default-button ring, if any); a
    // pixel either side keeps it off the frame.
    int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button);
    if (auto *push = qobject_cast<const QPushButton *>(&button); push && (push->autoDefault() || push->isDefault()))
        frame += style->pixelMetric(QStyle::PM_ButtonDefaultIndicator, nullptr, &button);
    int icon = 0;
    if (!button.icon().isNull())
        icon = button.iconSize().width() + 4;
    return textBlock(button, shown(button.text())).width() + icon + 2 * frame + 2;
}

bool showsWhole(const QWidget &widget, QString *why)
{
    if (auto *push = qobject_cast<const QPushButton *>(&widget)) {
        const QSize text = textBlock(widget, shown(push->text()));
        return fits(widget, {buttonTextWidth(*push), text.height() + 2}, why);
    }
    if (auto *tool = qobject_cast<const QToolButton *>(&widget); tool && tool->text().isEmpty())
        return fits(widget, tool->iconSize(), why); // a lamp or a sign: only its picture must show
    if (qobject_cast<const QCheckBox *>(&widget) || qobject_cast<const QRadioButton *>(&widget) ||
        qobject_cast<const QToolButton *>(&widget))
        return fits(widget, widget.sizeHint(), why);
    if (auto *label = qobject_cast<const QLabel *>(&widget)) {
        if (label->text().isEmpty() || label->textFormat() == Qt::RichText)
            return true;
        if (label->wordWrap())
            return fits(widget, {1, label->heightForWidth(label->width())}, why);
        // A label told to ignore its width (a status text) may cut; everything else shows whole.
        if (label->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored)
            return fits(widget, {1, label->sizeHint().height()}, why);
        return fits(widget, label->sizeHint(), why);
    }
    if (auto *group = qobject_cast<const QGroupBox *>(&widget)) {
        const QSize title = textBlock(widget, shown(group->title()));
        return fits(widget, {title.width() + 8, title.height()}, why);
    }
    return true;
}

} // namespace textfit
