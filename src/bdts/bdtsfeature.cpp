#include "bdts/bdtsfeature.h"

#include "bdts/bdtsdatabase.h"
#include "bdts/bdtstransfer.h"
#include "bdts/dbreadoperation.h"
#include "bdts/dbwriteoperation.h"
#include "bdts/tframebdts.h"
#include "core/dialogs.h"
#include "core/files.h"
#include "core/status.h"
#include "link/instrumentlink.h"

#include <QToolButton>

namespace {
FileDialogRequest databaseDialog(const QString &programDir, const QString &caption)
{
    FileDialogRequest r;
    r.caption = caption;
    r.folder = files::inFolder(programDir, QStringLiteral("FilesInSorvint"));
    r.filter = qtFilterFromPairs(QStringLiteral("Файлы данных (*.bdts)|*.bdts|Файлы данных 528(*.bdt)|*.bdt"));
    r.defaultSuffix = QStringLiteral("bdts");
    return r;
}
} // namespace

BdtsFeature::BdtsFeature(FeatureContext context, QObject *parent)
    : QObject(parent), m_ctx(context), m_db(std::make_unique<BdtsDatabase>(context.status, context.dialogs, context.programDir)),
      m_transfer(std::make_unique<BdtsTransfer>(context.link, context.status, *m_db)),
      m_readOp(std::make_unique<DbReadOperation>(*m_transfer, context.link, context.status)),
      m_writeOp(std::make_unique<DbWriteOperation>(*m_transfer, context.link, context.status))
{
    connect(m_transfer.get(), &BdtsTransfer::busyChanged, this, [this](bool busy) {
        m_db->setExchangeRunning(busy);
    });
    // A read-back that differs from what was written is no ordinary end: the operator is told
    // which page, in a box, since the link check soon rewrites the status line. (A write cut by
    // silence or a lost port is told by the link's own box, with the same text.)
    connect(m_writeOp.get(), &InstrumentOperation::finished, this, [this](const JobOutcome &outcome) {
        if (outcome.kind == JobOutcome::Kind::ReadBackDiffers)
            m_db->reportProblem(outcome.message());
    });
}

BdtsFeature::~BdtsFeature() = default;

bool BdtsFeature::confirmLeave()
{
    if (!m_writeOp->writing())
        return true;
    if (!m_ctx.dialogs.warnYesNo(QStringLiteral("Запись БД ТС в прибор"),
                                 QStringLiteral("Идёт запись БД ТС в прибор. Если прервать её, БД ТС в приборе может "
                                                "остаться неполной.\nПрервать запись?")))
        return false;
    m_writeOp->forceStop(); // the write may have ended while the question was open: then nothing happens
    return true;
}

bool BdtsFeature::frameExists() const { return m_frame != nullptr; }

QWidget *BdtsFeature::createFrame(QWidget *parent)
{
    if (!m_frame) {
        m_frame = new TFrameBDTS(*this, *m_db, parent);
        m_db->frameExists = true;
    }
    return m_frame;
}

void BdtsFeature::afterShow()
{
    if (m_frame)
        m_frame->applyWidths();
}

QAbstractButton *BdtsFeature::createReadCancelButton(QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QStringLiteral("btnCancelBDTSRead"));
    button->setText(QStringLiteral("Прервать"));
    button->setToolTip(QStringLiteral("Прервать чтение БД ТС из прибора."));
    button->setAutoRaise(true);
    button->setVisible(m_transfer->reading());
    connect(button, &QToolButton::clicked, this, &BdtsFeature::btnCancelBDTSReadClick);
    connect(m_transfer.get(), &BdtsTransfer::stateChanged, button, [this, button] { button->setVisible(m_transfer->reading()); });
    return button;
}

void BdtsFeature::btnCancelBDTSReadClick()
{
    if (m_readOp->running())
        m_readOp->requestStop();
    else if (m_writeOp->running())
        m_writeOp->requestStop();
    else
        m_transfer->cancelRead();
}

bool BdtsFeature::refusedDuringExchange()
{
    if (!m_transfer->busy())
        return false;
    m_ctx.status.setText(QStringLiteral("Идёт обмен БД ТС с прибором, дождитесь окончания."));
    return true;
}

void BdtsFeature::setReadFromSorEnabled(bool enabled)
{
    m_db->setReadAllowed(enabled);
}

void BdtsFeature::btnSaveBDTSinFileClick()
{
    if (refusedDuringExchange())
        return;
    const QString path = m_ctx.dialogs.askSaveFile(databaseDialog(m_ctx.programDir, QStringLiteral("Запись БД ТС в файл")));
    m_db->saveInstrumentImage(path);
}

void BdtsFeature::btnReadBDTSFromFileClick()
{
    if (refusedDuringExchange())
        return;
    m_db->discardFileImage();
    const QString path = m_ctx.dialogs.askOpenFile(databaseDialog(m_ctx.programDir, QStringLiteral("Чтение БД ТС из файла")));
    if (path.isEmpty())
        return;
    m_db->loadFile(path);
}

void BdtsFeature::btnAddTSInSorClick()
{
    if (!refusedDuringExchange())
        m_db->addToInstrument();
}

void BdtsFeature::btnDeleteTSClick()
{
    if (m_frame && !refusedDuringExchange())
        m_db->deleteFromInstrument(m_frame->selectedInstrumentNodes());
}

void BdtsFeature::TreeViewSorClick()
{
    if (m_frame)
        m_db->selectionChanged(m_frame->selectedInstrumentCount());
}

void BdtsFeature::RequestBdtsRead() { m_readOp->start(); }

void BdtsFeature::btnReadBDTSFromSorClick()
{
    if (refusedDuringExchange())
        return;
    RequestBdtsRead();
}

void BdtsFeature::btnWriteBDTSInSorClick() { m_writeOp->start(BdtsTransfer::Source::File); }
void BdtsFeature::btnSaveAddTsClick() { m_writeOp->start(BdtsTransfer::Source::Instrument); }
