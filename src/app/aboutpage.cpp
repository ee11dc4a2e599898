#include "app/aboutpage.h"

#include "core/version.h"

#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

FeatureLine::FeatureLine(const QString &objectName, const QString &text, QWidget *parent) : QLabel(text, parent)
{
    setObjectName(objectName);
    setAccessibleName(text);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setTextColour(normalColour());
}

QColor FeatureLine::normalColour() const { return isEnabled() ? palette().color(QPalette::Light) : disabledColour(); }

void FeatureLine::setTextColour(const QColor &colour)
{
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    setPalette(p);
}

void FeatureLine::lbLoadPOInSorMouseMove()
{
    if (!isEnabled())
        return;
    m_hovered = true;
    setTextColour(palette().color(QPalette::ToolTipBase));
}

void FeatureLine::lbLoadPOInSorMouseLeave()
{
    m_hovered = false;
    setTextColour(normalColour());
}

void FeatureLine::mouseMoveEvent(QMouseEvent *event)
{
    lbLoadPOInSorMouseMove();
    QLabel::mouseMoveEvent(event);
}

void FeatureLine::leaveEvent(QEvent *event)
{
    lbLoadPOInSorMouseLeave();
    QLabel::leaveEvent(event);
}

void FeatureLine::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) && event->modifiers() == Qt::NoModifier) {
        event->accept();
        if (isEnabled())
            emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

void FeatureLine::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        m_hovered = false;
        setTextColour(normalColour());
        setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
}

void FeatureLine::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter p(this);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
    p.drawRect(rect().adjusted(1, 1, -2, -2));
}

void FeatureLine::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

namespace {
QFrame *greyPanel(const QString &name, QWidget *parent)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setAutoFillBackground(true);
    QPalette p = panel->palette();
    p.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::WindowText, p.color(QPalette::Light));
    panel->setPalette(p);
    QFont small = panel->font();
    small.setPointSize(8);
    panel->setFont(small);
    return panel;
}

QLabel *label(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setAccessibleName(text);
    return l;
}

// A grey panel holding one centred text.
QFrame *textPanel(const QString &panelName, const QString &labelName, const QString &text, QWidget *parent)
{
    QFrame *panel = greyPanel(panelName, parent);
    QLabel *l = label(labelName, text, panel);
    l->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(4, 1, 4, 1);
    layout->addWidget(l);
    return panel;
}
} // namespace

AboutPage::AboutPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheet1"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    RzPanel2 = new ShadowPanel(this);
    RzPanel2->setObjectName(QStringLiteral("RzPanel2"));
    RzPanel2->setAutoFillBackground(true);
    {
        QPalette p = RzPanel2->palette();
        p.setColor(QPalette::Window, QColor(0xC8, 0xD0, 0xD8));
        RzPanel2->setPalette(p);
    }
    outer->addWidget(RzPanel2);

    RzLabel1 = label(QStringLiteral("RzLabel1"), QStringLiteral("   КВИРО - сервис"), RzPanel2);
    QFont big = RzLabel1->font();
    big.setPointSize(20);
    big.setBold(true);
    RzLabel1->setFont(big);
    RzLabel1->setStyleSheet(QStringLiteral("color:#103070; background:#A8B8C8; border-bottom:2px solid #F0F4F8;"));

    RzLabel2 = label(QStringLiteral("RzLabel2"), QStringLiteral("СОРВИНТ     "), RzPanel2);
    QFont band = big;
    band.setPointSize(18);
    RzLabel2->setFont(band);
    RzLabel2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    RzLabel2->setStyleSheet(QStringLiteral("color:#F0F4F8; background:#305080;"));

    RzLabel13 = label(QStringLiteral("RzLabel13"),
                      QStringLiteral("( Для приборов типа: СОРВИНТ <дата>-№3070, <дата>.dpps )"), RzPanel2);
    RzLabel13->setAlignment(Qt::AlignCenter);
    RzLabel6 = label(QStringLiteral("RzLabel6"), QStringLiteral("(версия: %1)").arg(kviro::versionDateText()), RzPanel2);
    RzLabel6->setStyleSheet(QStringLiteral("color:#103070;"));
    lbBuild = label(QStringLiteral("lbBuild"), QStringLiteral("сборка %1").arg(kviro::versionText()), RzPanel2);
    lbBuild->setStyleSheet(QStringLiteral("color:#103070; background:transparent;"));
    QFont tiny = lbBuild->font();
    tiny.setPointSize(7);
    lbBuild->setFont(tiny);
    lbBuild->setTextInteractionFlags(Qt::TextSelectableByMouse);
    RzLabel10 = label(QStringLiteral("RzLabel10"), QStringLiteral("◆"), RzPanel2);
    RzLabel10->setStyleSheet(QStringLiteral("color:#F0F4F8; background:transparent;"));
    RzLabel10->setFont(band);

    RzPanel3 = textPanel(QStringLiteral("RzPanel3"), QStringLiteral("lbPurpose"),
                         QStringLiteral("Программа предназначена\nдля работы с иммуноферментными\nанализаторами "
                                        "типа СОРВИНТ\nс заводского номера 3070\nсовместно с персональным\nкомпьютером."),
                         RzPanel2);
    RzPanel5 = textPanel(QStringLiteral("RzPanel5"), QStringLiteral("lbRequirements"),
                         QStringLiteral("Технические требования:\nIBM совместимый\nперсональный компьютер.\nWindows "
                                        "2000,NT,XP,7\n(Рекомендуемая скорость обмена\nпорта связи - 115200бод)"),
                         RzPanel2);

    RzPanel4 = greyPanel(QStringLiteral("RzPanel4"), RzPanel2);
    RzLabel5 = label(QStringLiteral("RzLabel5"), QStringLiteral("С помощью этй программы\nВы можете:"), RzPanel4);
    RzLabel5->setAlignment(Qt::AlignCenter);
    QFont bold = RzLabel5->font();
    bold.setBold(true);
    RzLabel5->setFont(bold);
    lbLoadPOInSor = new FeatureLine(QStringLiteral("lbLoadPOInSor"),
                                    QStringLiteral(" - Перепрограммировать прибор новой\n      программой управления."), RzPanel4);
    lbLoadBDTS = new FeatureLine(QStringLiteral("lbLoadBDTS"),
                                 QStringLiteral(" - Записать в прибор новую базу данных\n      тест-систем."), RzPanel4);
    lbReader = new FeatureLine(QStringLiteral("lbReader"),
                               QStringLiteral(" - Считать с прибора таблицу измеренных\n      оптических плотностей."), RzPanel4);
    lbProtokol = new FeatureLine(QStringLiteral("lbProtokol"),
                                 QStringLiteral(" - Считать с прибора протокол результатов\n      измерений."), RzPanel4);

    RzPanel2->addShadowed(RzPanel3);
    RzPanel2->addShadowed(RzPanel4);
    RzPanel2->addShadowed(RzPanel5);
    connect(RzPanel2, &ShadowPanel::resized, this, &AboutPage::arrange);
}

void AboutPage::arrange()
{
    const int w = RzPanel2->width();
    const int h = RzPanel2->height();
    // Bands: title on top, instrument at the bottom, the model line above it.
    RzLabel1->setGeometry(0, 0, w, std::max(44, RzLabel1->sizeHint().height()));
    const int band = std::max(40, RzLabel2->sizeHint().height());
    RzLabel2->setGeometry(0, h - band, w, band);
    const int modelLine = std::max(20, RzLabel13->sizeHint().height());
    RzLabel13->setGeometry(0, RzLabel2->y() - modelLine, w, modelLine);
    RzLabel6->adjustSize();
    RzLabel6->move(w - RzLabel6->width() - 10, RzLabel1->height() - RzLabel6->height() - 2);
    lbBuild->adjustSize();
    lbBuild->move(w - lbBuild->width() - 10, 2);
    RzLabel10->adjustSize();
    RzLabel10->move(RzLabel2->width() - RzLabel10->width() - 20, RzLabel2->y() + (RzLabel2->height() - RzLabel10->height()) / 2);
    RzLabel10->raise();

    const int p4top = RzLabel1->height() + 10;
    const int p4height = h - RzLabel1->height() - RzLabel2->height() - RzLabel13->height() - 40;
    const int p3height = (p4height - 20) / 2;
    const int width = (RzLabel2->width() - 60) / 2;
    RzPanel3->setGeometry(20, p4top, width, p3height);
    RzPanel5->setGeometry(20, p4top + p3height + 20, width, p3height);
    RzPanel4->setGeometry(width + 40, p4top, width, p4height);

    const int row = RzPanel4->height() / 5;
    RzLabel5->setGeometry(0, 0, RzPanel4->width(), row);
    lbLoadPOInSor->setGeometry(0, row, RzPanel4->width(), row);
    lbLoadBDTS->setGeometry(0, 2 * row, RzPanel4->width(), row);
    lbReader->setGeometry(0, 3 * row, RzPanel4->width(), row);
    lbProtokol->setGeometry(0, 4 * row, RzPanel4->width(), RzPanel4->height() - 4 * row);
    RzPanel2->update();
}

QSize AboutPage::minimumSizeHint() const
{
    // Inverts the arithmetic of arrange(): the grey panels' halves and fifths must hold their texts.
    const int frame = 2 * RzPanel3->frameWidth();
    int textPanel = 0, textWidth = 0;
    for (QFrame *panel : {RzPanel3, RzPanel5}) {
        textPanel = std::max(textPanel, panel->sizeHint().height());
        textWidth = std::max(textWidth, panel->sizeHint().width());
    }
    int row = 0;
    for (QLabel *line : {RzLabel5, static_cast<QLabel *>(lbLoadPOInSor), static_cast<QLabel *>(lbLoadBDTS),
                         static_cast<QLabel *>(lbReader), static_cast<QLabel *>(lbProtokol)}) {
        row = std::max(row, line->sizeHint().height());
        textWidth = std::max(textWidth, line->sizeHint().width() + frame);
    }
    const int panel4 = std::max(2 * textPanel + 20 + 1, 5 * row + frame);
    const int bands = std::max(44, RzLabel1->sizeHint().height()) + std::max(40, RzLabel2->sizeHint().height()) +
                      std::max(20, RzLabel13->sizeHint().height());
    const int title = RzLabel1->sizeHint().width() + RzLabel6->sizeHint().width() + 20;
    const int width = std::max({2 * textWidth + 60 + 1, RzLabel13->sizeHint().width(), title});
    return {width, panel4 + bands + 40};
}
