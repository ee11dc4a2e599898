#include "widgets/keyboard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolButton>

namespace {

class EnterPressesButtons : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        auto *button = qobject_cast<QAbstractButton *>(watched);
        if (!button || !button->hasFocus())
            return false;
        if (auto *push = qobject_cast<QPushButton *>(button)) {
            if (push->autoDefault() || push->isDefault())
                return false; // a dialog's button: Qt presses it itself
        } else if (!qobject_cast<QToolButton *>(button)) {
            return false; // check boxes and radio buttons keep Enter for their dialog
        }
        if (button->isEnabled())
            button->click();
        return true;
    }
};

} // namespace

namespace keyboard {

void enterPressesButtons()
{
    static EnterPressesButtons *filter = nullptr;
    if (filter || !qApp)
        return;
    filter = new EnterPressesButtons(qApp);
    qApp->installEventFilter(filter);
}

QStringList withMnemonics(const QStringList &captions, const QString &taken)
{
    QString used = taken.toLower();
    for (const QString &caption : captions) {
        const qsizetype at = caption.indexOf(QLatin1Char('&'));
        if (at >= 0 && at + 1 < caption.size())
            used += caption.at(at + 1).toLower();
    }
    QStringList out;
    for (const QString &caption : captions) {
        if (caption.contains(QLatin1Char('&'))) {
            out << caption;
            continue;
        }
        qsizetype pick = -1;
        // Word starts first, then any letter.
        for (int pass = 0; pass < 2 && pick < 0; ++pass) {
            for (qsizetype i = 0; i < caption.size(); ++i) {
                const QChar c = caption.at(i);
                const bool wordStart = i == 0 || !caption.at(i - 1).isLetterOrNumber();
                if (c.isLetter() && (pass == 1 || wordStart) && !used.contains(c.toLower())) {
                    pick = i;
                    break;
                }
            }
        }
        if (pick < 0) {
            out << caption;
            continue;
        }
        used += caption.at(pick).toLower();
        QString marked = caption;
        marked.insert(pick, QLatin1Char('&'));
        out << marked;
    }
    return out;
}

void giveMnemonics(const QList<QAbstractButton *> &buttons, const QString &taken)
{
    QStringList captions;
    for (QAbstractButton *b : buttons)
        captions << b->text();
    const QStringList marked = withMnemonics(captions, taken);
    for (qsizetype i = 0; i < buttons.size(); ++i)
        buttons.at(i)->setText(marked.at(i));
}

} // namespace keyboard
