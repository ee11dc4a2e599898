#include "firmware/framesoftsor.h"

#include "firmware/firmwarecontroller.h"
#include "firmware/screenpicture.h"

#include "firmware/loadconfirmation.h"
#include "link/instrumentlink.h"
#include "widgets/keyboard.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

using firmware::FirmwareController;
using firmware::PictureArrow;
using firmware::ScreenPicture;

namespace {
const QString NavyCss = QStringLiteral("color: #000080;");
const QString MagentaCss = QStringLiteral("color: #ff00ff;");

QLabel *textBlock(QWidget *parent, const QString &name, const QStringList &lines, const QString &css, bool bold = false)
{
    auto *label = new QLabel(lines.join(QLatin1Char('\n')), parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(css);
    if (bold) {
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    return label;
}

QLabel *fileLabel(QWidget *parent, const QString &name)
{
    auto *label = textBlock(parent, name, {firmware::NoFileLabel}, MagentaCss, true);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// The instruction pane scrolls rather than squeezing its lines when the page is short.
QWidget *scrolling(QWidget *pane)
{
    auto *area = new QScrollArea;
    area->setObjectName(pane->objectName() + QStringLiteral("Scroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(pane);
    return area;
}

void compact(QWidget *pane, QVBoxLayout *v)
{
    QFont f = pane->font();
    f.setPointSizeF(8.5);
    pane->setFont(f);
    v->setContentsMargins(6, 4, 6, 4);
    v->setSpacing(3);
}

QSplitter *splitPage(QWidget *page, const QString &name, QWidget *instructions, QWidget *picture)
{
    auto *split = new QSplitter(Qt::Horizontal, page);
    split->setObjectName(name);
    split->addWidget(scrolling(instructions));
    split->addWidget(picture);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setChildrenCollapsible(false);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
    return split;
}
} // namespace

TFrameSoftSor::TFrameSoftSor(FirmwareController &controller, QWidget *parent) : QFrame(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("FrameSoftSor"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildHeader());

    wizardTabs = new QTabWidget(this);
    wizardTabs->setObjectName(QStringLiteral("wizardTabs"));
    wizardTabs->addTab(buildStepsPage(), QStringLiteral("Шаги 1,2"));
    wizardTabs->addTab(buildLoadPage(), QStringLiteral("Шаг 3"));
    wizardTabs->setCurrentIndex(0);
    layout->addWidget(wizardTabs, 1);

    keyboard::giveMnemonics({btnOtherFileLoadPO, btnLoadPO, btnStopProgramSor}, keyboard::MenuLetters);
    connect(btnOtherFileLoadPO, &QPushButton::clicked, this, &TFrameSoftSor::btnOtherFileLoadPOClick);
    connect(btnLoadPO, &QPushButton::clicked, this, &TFrameSoftSor::btnLoadPOClick);
    connect(btnStopProgramSor, &QPushButton::clicked, this, &TFrameSoftSor::btnStopProgramSorClick);
    connect(wizardTabs, &QTabWidget::currentChanged, this, &TFrameSoftSor::wizardTabsChanging);
    connect(&m_controller, &FirmwareController::viewChanged, this, &TFrameSoftSor::showView);
    showView();
}

QWidget *TFrameSoftSor::buildHeader()
{
    auto *band = new QLabel(QStringLiteral("Для программирования прибора СОРВИНТ\nвыполните последовательно следующие шаги..."), this);
    band->setObjectName(QStringLiteral("lbHeaderSoftSor"));
    band->setTextFormat(Qt::PlainText);
    band->setAlignment(Qt::AlignCenter);
    band->setAutoFillBackground(true);
    band->setStyleSheet(QStringLiteral("QLabel { background: #808080; color: #f0f0f0; padding: 2px; }"));
    QFont f = band->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.1);
    band->setFont(f);
    auto *shadow = new QGraphicsDropShadowEffect(band);
    shadow->setOffset(1.5, 1.5);
    shadow->setBlurRadius(2);
    shadow->setColor(QColor(0x30, 0x30, 0x30));
    band->setGraphicsEffect(shadow);
    return band;
}

QWidget *TFrameSoftSor::buildStepsPage()
{
    stepsPage = new QWidget(this);
    stepsPage->setObjectName(QStringLiteral("stepsPage"));
    auto *pane = new QWidget(stepsPage);
    pane->setObjectName(QStringLiteral("pnlInstrSteps12"));
    auto *v = new QVBoxLayout(pane);
    compact(pane, v);
    v->addWidget(textBlock(pane, QStringLiteral("lbStep1"), {QStringLiteral("Шаг 1. Файл для загрузки:")}, NavyCss, true));
    lbFileLoadPO = fileLabel(pane, QStringLiteral("lbFileLoadPO"));
    v->addWidget(lbFileLoadPO);
    btnOtherFileLoadPO = new QPushButton(QStringLiteral("Другой файл..."), pane);
    btnOtherFileLoadPO->setObjectName(QStringLiteral("btnOtherFileLoadPO"));
    v->addWidget(btnOtherFileLoadPO, 0, Qt::AlignHCenter);
    v->addSpacing(4);
    v->addWidget(textBlock(pane, QStringLiteral("lbStep2"),
                           {QStringLiteral("Шаг 2. Выключите прибор"), QStringLiteral("и через 5 сек"), QStringLiteral("включите,")},
                           NavyCss, true));
    v->addWidget(textBlock(pane, QStringLiteral("lbStep2Stylus"),
                           {QStringLiteral("предварительно нажав"), QStringLiteral("указкой на экран"), QStringLiteral("и"),
                            QStringLiteral("удерживая ее в этом положении.")},
                           MagentaCss, true));
    v->addWidget(textBlock(pane, QStringLiteral("lbStep2Screen"),
                           {QStringLiteral("Экран прибора должен приобрести вид,"), QStringLiteral("показанный в окне справа.")},
                           NavyCss));
    auto *arrow = new PictureArrow(pane);
    arrow->setObjectName(QStringLiteral("imgArrowSteps12"));
    v->addWidget(arrow, 0, Qt::AlignHCenter);
    v->addStretch(1);

    auto *picture = new ScreenPicture(ScreenPicture::Kind::LoaderWaiting, stepsPage);
    stepsSplitter = splitPage(stepsPage, QStringLiteral("stepsSplitter"), pane, picture);
    return stepsPage;
}

QWidget *TFrameSoftSor::buildLoadPage()
{
    loadPage = new QWidget(this);
    loadPage->setObjectName(QStringLiteral("loadPage"));
    auto *pane = new QWidget(loadPage);
    pane->setObjectName(QStringLiteral("pnlInstrStep3"));
    auto *v = new QVBoxLayout(pane);
    compact(pane, v);
    v->addWidget(textBlock(pane, QStringLiteral("lbStep3File"), {QStringLiteral("Файл для загрузки:")}, NavyCss, true));
    lbFileLoadPO2 = fileLabel(pane, QStringLiteral("lbFileLoadPO2"));
    v->addWidget(lbFileLoadPO2);
    btnLoadPO = new QPushButton(QStringLiteral("Загрузить программу в прибор"), pane);
    btnLoadPO->setObjectName(QStringLiteral("btnLoadPO"));
    btnLoadPO->setEnabled(false);
    v->addWidget(btnLoadPO, 0, Qt::AlignHCenter);
    v->addSpacing(4);
    v->addWidget(textBlock(pane, QStringLiteral("lbStep3Result"),
                           {QStringLiteral("При успешном программировании"), QStringLiteral("экран прибора приобретет вид,"),
                            QStringLiteral("показанный справа"), QString(), QString(), QStringLiteral("и произойдет"),
                            QStringLiteral("перезагрузка прибора.")},
                           NavyCss));
    auto *arrow = new PictureArrow(pane);
    arrow->setObjectName(QStringLiteral("imgArrowStep3"));
    v->addWidget(arrow, 0, Qt::AlignHCenter);
    btnStopProgramSor = new QPushButton(QStringLiteral("Отменить загрузку"), pane);
    btnStopProgramSor->setObjectName(QStringLiteral("btnStopProgramSor"));
    btnStopProgramSor->setStyleSheet(QStringLiteral("QPushButton { color: white; background: #e00000; font-weight: bold; padding: 4px 12px; }"));
    btnStopProgramSor->setEnabled(false);
    btnStopProgramSor->setVisible(false);
    v->addWidget(btnStopProgramSor, 0, Qt::AlignHCenter);
    v->addStretch(1);

    auto *picture = new ScreenPicture(ScreenPicture::Kind::ProgrammingDone, loadPage);
    loadSplitter = splitPage(loadPage, QStringLiteral("loadSplitter"), pane, picture);
    return loadPage;
}

void TFrameSoftSor::arrangePanes()
{
    for (QSplitter *split : {stepsSplitter, loadSplitter}) {
        const int total = std::max(split->width(), 1000);
        const int left = total * 60 / 100;
        split->setSizes({left, total - left});
    }
}

void TFrameSoftSor::showView()
{
    const firmware::FrameView &v = m_controller.view();
    lbFileLoadPO->setText(v.fileLabel);
    lbFileLoadPO2->setText(v.fileLabel);
    btnLoadPO->setEnabled(v.loadEnabled);
    btnLoadPO->setToolTip(v.loadHint);
    btnStopProgramSor->setEnabled(v.cancelShown);
    btnStopProgramSor->setVisible(v.cancelShown);
    // The boot loader has appeared and the file is ready: the wizard is at step 3, and so is the page.
    const bool becameEnabled = v.loadEnabled && !m_loadWasEnabled && m_link && m_link->instrumentInLoader();
    m_loadWasEnabled = v.loadEnabled;
    if (becameEnabled)
        wizardTabs->setCurrentWidget(loadPage);
}

void TFrameSoftSor::btnOtherFileLoadPOClick() { m_controller.btnOtherFileLoadPOClick(); }
void TFrameSoftSor::btnLoadPOClick()
{
    // The operator confirms the file before the boot loader gets its first byte.
    if (m_dialogs && m_link && m_link->instrumentInLoader() && m_controller.loader().ready() && !m_controller.transferBusy() &&
        !firmware::confirmImageLoad(*m_dialogs, m_controller.image().FirmwareFileName))
        return;
    m_controller.btnLoadPOClick();
}
void TFrameSoftSor::btnStopProgramSorClick() { m_controller.btnStopProgramSorClick(); }
void TFrameSoftSor::wizardTabsChanging() { m_controller.wizardTabsChanging(); }
