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
    setObjectName(QStringLiteral("aboutPage"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    aboutBackground = new ShadowPanel(this);
    aboutBackground->setObjectName(QStringLiteral("aboutBackground"));
    aboutBackground->setAutoFillBackground(true);
    {
        QPalette p = aboutBackground->palette();
        p.setColor(QPalette::Window, QColor(0xC8, 0xD0, 0xD8));
        aboutBackground->setPalette(p);
    }
    outer->addWidget(aboutBackground);

    titleBand = label(QStringLiteral("titleBand"), QStringLiteral("   КВИРО - сервис"), aboutBackground);
    QFont big = titleBand->font();
    big.setPointSize(20);
    big.setBold(true);
    titleBand->setFont(big);
    titleBand->setStyleSheet(QStringLiteral("color:#103070; background:#A8B8C8; border-bottom:2px solid #F0F4F8;"));

    instrumentBand = label(QStringLiteral("instrumentBand"), QStringLiteral("СОРВИНТ     "), aboutBackground);
    QFont band = big;
    band.setPointSize(18);
    instrumentBand->setFont(band);
    instrumentBand->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    instrumentBand->setStyleSheet(QStringLiteral("color:#F0F4F8; background:#305080;"));

    instrumentTypeLabel = label(QStringLiteral("instrumentTypeLabel"),
                      QStringLiteral("( Для приборов типа: СОРВИНТ, заводские номера от №3070; сборка от %1 )")
                          .arg(kviro::buildDate().toString(QStringLiteral("dd.MM.yyyy"))), aboutBackground);
    instrumentTypeLabel->setAlignment(Qt::AlignCenter);
    versionLabel = label(QStringLiteral("versionLabel"), QStringLiteral("(версия: %1)").arg(kviro::versionDateText()), aboutBackground);
    versionLabel->setStyleSheet(QStringLiteral("color:#103070;"));
    lbBuild = label(QStringLiteral("lbBuild"), QStringLiteral("сборка %1").arg(kviro::versionText()), aboutBackground);
    lbBuild->setStyleSheet(QStringLiteral("color:#103070; background:transparent;"));
    QFont tiny = lbBuild->font();
    tiny.setPointSize(7);
    lbBuild->setFont(tiny);
    lbBuild->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bandMark = label(QStringLiteral("bandMark"), QStringLiteral("◆"), aboutBackground);
    bandMark->setStyleSheet(QStringLiteral("color:#F0F4F8; background:transparent;"));
    bandMark->setFont(band);

    purposePanel = textPanel(QStringLiteral("purposePanel"), QStringLiteral("lbPurpose"),
                         QStringLiteral("Программа предназначена\nдля работы с иммуноферментными\nанализаторами "
                                        "типа СОРВИНТ\nс заводского номера 3070\nсовместно с персональным\nкомпьютером."),
                         aboutBackground);
    requirementsPanel = textPanel(QStringLiteral("requirementsPanel"), QStringLiteral("lbRequirements"),
                         QStringLiteral("Технические требования:\nIBM совместимый\nперсональный компьютер.\nWindows "
                                        "10, 11, Linux\n(Рекомендуемая скорость обмена\nпорта связи - 115200бод)"),
                         aboutBackground);

    featurePanel = greyPanel(QStringLiteral("featurePanel"), aboutBackground);
    featureHeading = label(QStringLiteral("featureHeading"), QStringLiteral("С помощью этой программы\nВы можете:"), featurePanel);
    featureHeading->setAlignment(Qt::AlignCenter);
    QFont bold = featureHeading->font();
    bold.setBold(true);
    featureHeading->setFont(bold);
    lbLoadPOInSor = new FeatureLine(QStringLiteral("lbLoadPOInSor"),
                                    QStringLiteral(" - Перепрограммировать прибор новой\n      программой управления."), featurePanel);
    lbLoadBDTS = new FeatureLine(QStringLiteral("lbLoadBDTS"),
                                 QStringLiteral(" - Записать в прибор новую базу данных\n      тест-систем."), featurePanel);
    lbReader = new FeatureLine(QStringLiteral("lbReader"),
                               QStringLiteral(" - Считать с прибора таблицу измеренных\n      оптических плотностей."), featurePanel);
    lbProtokol = new FeatureLine(QStringLiteral("lbProtokol"),
                                 QStringLiteral(" - Считать с прибора протокол результатов\n      измерений."), featurePanel);

    aboutBackground->addShadowed(purposePanel);
    aboutBackground->addShadowed(featurePanel);
    aboutBackground->addShadowed(requirementsPanel);
    connect(aboutBackground, &ShadowPanel::resized, this, &AboutPage::arrange);
}

void AboutPage::arrange()
{
    const int w = aboutBackground->width();
    const int h = aboutBackground->height();
    // Bands: title on top, instrument at the bottom, the model line above it.
    titleBand->setGeometry(0, 0, w, std::max(44, titleBand->sizeHint().height()));
    const int band = std::max(40, instrumentBand->sizeHint().height());
    instrumentBand->setGeometry(0, h - band, w, band);
    const int modelLine = std::max(20, instrumentTypeLabel->sizeHint().height());
    instrumentTypeLabel->setGeometry(0, instrumentBand->y() - modelLine, w, modelLine);
    versionLabel->adjustSize();
    versionLabel->move(w - versionLabel->width() - 10, titleBand->height() - versionLabel->height() - 2);
    lbBuild->adjustSize();
    lbBuild->move(w - lbBuild->width() - 10, 2);
    bandMark->adjustSize();
    bandMark->move(instrumentBand->width() - bandMark->width() - 20, instrumentBand->y() + (instrumentBand->height() - bandMark->height()) / 2);
    bandMark->raise();

    const int p4top = titleBand->height() + 10;
    const int p4height = h - titleBand->height() - instrumentBand->height() - instrumentTypeLabel->height() - 40;
    const int p3height = (p4height - 20) / 2;
    const int width = (instrumentBand->width() - 60) / 2;
    purposePanel->setGeometry(20, p4top, width, p3height);
    requirementsPanel->setGeometry(20, p4top + p3height + 20, width, p3height);
    featurePanel->setGeometry(width + 40, p4top, width, p4height);

    const int row = featurePanel->height() / 5;
    featureHeading->setGeometry(0, 0, featurePanel->width(), row);
    lbLoadPOInSor->setGeometry(0, row, featurePanel->width(), row);
    lbLoadBDTS->setGeometry(0, 2 * row, featurePanel->width(), row);
    lbReader->setGeometry(0, 3 * row, featurePanel->width(), row);
    lbProtokol->setGeometry(0, 4 * row, featurePanel->width(), featurePanel->height() - 4 * row);
    aboutBackground->update();
}

QSize AboutPage::minimumSizeHint() const
{
    // Inverts the arithmetic of arrange(): the grey panels' halves and fifths must hold their texts.
    const int frame = 2 * purposePanel->frameWidth();
    int textPanel = 0, textWidth = 0;
    for (QFrame *panel : {purposePanel, requirementsPanel}) {
        textPanel = std::max(textPanel, panel->sizeHint().height());
        textWidth = std::max(textWidth, panel->sizeHint().width());
    }
    int row = 0;
    for (QLabel *line : {featureHeading, static_cast<QLabel *>(lbLoadPOInSor), static_cast<QLabel *>(lbLoadBDTS),
                         static_cast<QLabel *>(lbReader), static_cast<QLabel *>(lbProtokol)}) {
        row = std::max(row, line->sizeHint().height());
        textWidth = std::max(textWidth, line->sizeHint().width() + frame);
    }
    const int panel4 = std::max(2 * textPanel + 20 + 1, 5 * row + frame);
    const int bands = std::max(44, titleBand->sizeHint().height()) + std::max(40, instrumentBand->sizeHint().height()) +
                      std::max(20, instrumentTypeLabel->sizeHint().height());
    const int title = titleBand->sizeHint().width() + versionLabel->sizeHint().width() + 20;
    const int width = std::max({2 * textWidth + 60 + 1, instrumentTypeLabel->sizeHint().width(), title});
    return {width, panel4 + bands + 40};
}
