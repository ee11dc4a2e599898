#include "reader/resultpage.h"

#include "reader/protocolcontroller.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

ResultPage::ResultPage(ProtocolController &controller, QWidget *parent) : QWidget(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("ResultPage"));
    auto *layout = new QVBoxLayout(this);

    auto *heading = new QLabel(QStringLiteral("Чтение протокола результатов из СОРВИНТа."), this);
    heading->setObjectName(QStringLiteral("lbResultHeading"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setAccessibleName(QStringLiteral("Протокол результатов"));
    Memo1->setReadOnly(true);
    Memo1->setTabChangesFocus(true); // Tab walks on to the buttons
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The protocol is laid out in columns by blanks: a fixed-pitch font keeps them aligned.
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    if (!QFontInfo(fixed).fixedPitch()) {
        fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setFixedPitch(true);
    }
    Memo1->setFont(fixed);
    layout->addWidget(Memo1, 1);

    auto *buttons = new QHBoxLayout;
    auto makeButton = [this, buttons](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        buttons->addWidget(b);
        return b;
    };
    btnReadProtokol = makeButton("btnReadProtokol", QStringLiteral("Принять данные"));
    btnSaveProtokol = makeButton("btnSaveProtokol", QStringLiteral("Данные в файл"));
    btnClrMemo1 = makeButton("btnClrMemo1", QStringLiteral("Очистить экран"));
    btnReadProtokol->setToolTip(QStringLiteral("Принять протокол результатов из прибора"));
    btnSaveProtokol->setToolTip(QStringLiteral("Записать протокол в файл"));
    btnClrMemo1->setToolTip(QStringLiteral("Очистить окно протокола"));
    buttons->addStretch(1);
    layout->addLayout(buttons);
    auto *checks = new QHBoxLayout;
    chckAutoReadRes = new QCheckBox(QStringLiteral("автоприем данных"), this);
    chckAutoReadRes->setObjectName(QStringLiteral("chckAutoReadRes"));
    chckAutoSaveRes = new QCheckBox(QStringLiteral("автосохранение данных"), this);
    chckAutoSaveRes->setObjectName(QStringLiteral("chckAutoSaveRes"));
    checks->addWidget(chckAutoReadRes);
    checks->addWidget(chckAutoSaveRes);
    checks->addStretch(1);
    layout->addLayout(checks);

    connect(btnReadProtokol, &QPushButton::clicked, &controller, &ProtocolController::btnReadProtokolClick);
    connect(btnSaveProtokol, &QPushButton::clicked, &controller, &ProtocolController::btnSaveProtokolClick);
    connect(btnClrMemo1, &QPushButton::clicked, &controller, &ProtocolController::btnClrMemo1Click);
    connect(chckAutoReadRes, &QCheckBox::clicked, &controller, &ProtocolController::setAutoRead);
    connect(chckAutoSaveRes, &QCheckBox::clicked, &controller, &ProtocolController::setAutoSave);
    connect(&controller, &ProtocolController::stateChanged, this, &ResultPage::refresh);
    connect(&controller, &ProtocolController::memoChanged, this, &ResultPage::showText);
    refresh();
    showText();
}

void ResultPage::refresh()
{
    btnSaveProtokol->setEnabled(m_controller.saveEnabled());
    chckAutoReadRes->setChecked(m_controller.autoRead());
    chckAutoSaveRes->setChecked(m_controller.autoSave());
}

void ResultPage::showText() { Memo1->setPlainText(m_controller.memoText()); }
