#include "firmware/screenpicture.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace firmware {

namespace {
const QColor Navy(0x00, 0x00, 0x80);
const QColor Aqua(0x00, 0xFF, 0xFF);
const QColor Lime(0x00, 0xFF, 0x00);
const QColor Yellow(0xFF, 0xFF, 0x00);
const QColor White(0xFF, 0xFF, 0xFF);
const QColor Blue(0x00, 0x00, 0xFF);

QLabel *row(QWidget *parent, const QString &name, const QString &text, const QColor &colour, bool framed = false)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText); // the spacing inside the texts is part of them
    label->setAlignment(Qt::AlignCenter);
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setBold(true);
    font.setPointSizeF(8);
    label->setFont(font);
    QString style = QStringLiteral("color: %1; background: transparent;").arg(colour.name());
    if (framed)
        style += QStringLiteral("border: 1px solid %1; padding: 2px;").arg(colour.name());
    label->setStyleSheet(style);
    return label;
}

QWidget *fileBar(QWidget *parent, const QString &name, bool filled)
{
    auto *bar = new QFrame(parent);
    bar->setObjectName(name);
    bar->setFixedHeight(10);
    bar->setMinimumWidth(80);
    bar->setAccessibleName(filled ? QStringLiteral("файл принят") : QStringLiteral("прием файла"));
    bar->setStyleSheet(QStringLiteral("QFrame#%1 { border: 1px solid white; background: %2; }")
                           .arg(name, filled ? QStringLiteral("white") : QStringLiteral("transparent")));
    return bar;
}
} // namespace

ScreenPicture::ScreenPicture(Kind kind, QWidget *parent) : QFrame(parent)
{
    const bool done = kind == Kind::ProgrammingDone;
    const QString p = done ? QStringLiteral("scr3") : QStringLiteral("scr12");
    setObjectName(done ? QStringLiteral("pnlScreenStep3") : QStringLiteral("pnlScreenSteps12"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Navy);
    setPalette(pal);
    setStyleSheet(QStringLiteral("QFrame#%1 { background: %2; }").arg(objectName(), Navy.name()));

    auto *v = new QVBoxLayout(this);
    v->setContentsMargins(8, 8, 8, 8);
    v->setSpacing(4);
    v->addWidget(row(this, p + QStringLiteral("Row1"), QStringLiteral("Начальный  загрузчик  V2.2"), Aqua));
    v->addWidget(row(this, p + QStringLiteral("Row2"), QStringLiteral("Тест  ОЗУ  32Мб  .......  ОК"), Lime));
    v->addWidget(row(this, p + QStringLiteral("Row3"), QStringLiteral("Режим программирования\nвключен"), Yellow, true),
                 0, Qt::AlignHCenter);
    v->addWidget(row(this, p + QStringLiteral("Row4"), QStringLiteral("Прием файла"), White));
    v->addWidget(fileBar(this, p + QStringLiteral("Bar"), done));
    if (done) {
        v->addWidget(row(this, p + QStringLiteral("Row5"), QStringLiteral("Контрольная сумма файла  -  ОК"), Lime));
        v->addWidget(row(this, p + QStringLiteral("Row6"), QStringLiteral("Стирание\nПрограммирование\nПроверка записи"), White));
        v->addWidget(row(this, p + QStringLiteral("Row7"), QStringLiteral("Программирование завершено"), Lime));
        v->addWidget(row(this, p + QStringLiteral("Row8"), QStringLiteral("Перезагрузка прибора"), Blue));
    }
    v->addStretch(1);
}

PictureArrow::PictureArrow(QWidget *parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("стрелка"));
    setFixedSize(sizeHint());
}

void PictureArrow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal w = width(), h = height();
    QPainterPath arrow;
    arrow.moveTo(2, h * 0.35);
    arrow.lineTo(w * 0.6, h * 0.35);
    arrow.lineTo(w * 0.6, 2);
    arrow.lineTo(w - 2, h / 2);
    arrow.lineTo(w * 0.6, h - 2);
    arrow.lineTo(w * 0.6, h * 0.65);
    arrow.lineTo(2, h * 0.65);
    arrow.closeSubpath();
    painter.fillPath(arrow, QColor(0x00, 0x00, 0x80));
}

} // namespace firmware
