#include "bdts/bdtsdatabase.h"

#include "bdts/bdtsbackup.h"
#include "bdts/listchanges.h"
#include "bdts/tstree.h"
#include "core/dialogs.h"
#include "core/files.h"
#include "core/status.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

using namespace bdts;

namespace {
const QString kBadFormat = QStringLiteral("Неверный формат файла.");
}

BdtsDatabase::BdtsDatabase(StatusModel &status, UserDialogs &dialogs, QString programDir, QObject *parent)
    : QObject(parent), m_status(status), m_dialogs(dialogs), m_programDir(std::move(programDir))
{
}

BdtsDatabase::~BdtsDatabase() = default;

QString BdtsDatabase::workingFile(const QString &literal) const { return files::inFolder(m_programDir, literal); }

void BdtsDatabase::reportFileError(const QString &path, const QString &reason)
{
    m_dialogs.showError(QStringLiteral("КВИРО-сервис"), path + QStringLiteral(": ") + reason);
}

bool BdtsDatabase::writeWorkingFile(const QString &literal, const QByteArray &bytes)
{
    const QString path = workingFile(literal);
    QString error;
    if (files::writeWhole(path, bytes, &error))
        return true;
    reportFileError(path, error);
    return false;
}

void BdtsDatabase::saveInstrumentImage(const QString &path)
{
    if (path.isEmpty() || !BdtsSorStream)
        return;
    QString error;
    if (!files::writeWhole(path, *BdtsSorStream, &error)) {
        reportFileError(path, error);
        return;
    }
    m_status.setText(QStringLiteral("БД ТС записана в файл: ") + files::shortName(path));
}

bool BdtsDatabase::mayReplaceConversion(const QString &convertedPath, const QByteArray &converted)
{
    const QFileInfo there(convertedPath);
    if (!there.exists() && !there.isSymLink())
        return true;
    QByteArray existing;
    if (there.isFile() && files::readWhole(convertedPath, &existing) && existing == converted)
        return true; // the same conversion: writing it again changes nothing
    return m_dialogs.warnYesNo(QStringLiteral("КВИРО-сервис"),
                               QStringLiteral("Файл %1 уже есть и отличается от БД ТС, преобразованной из %2.\n"
                                              "Заменить его?")
                                   .arg(QDir::toNativeSeparators(convertedPath), files::shortName(convertedPath.chopped(1))));
}

void BdtsDatabase::loadFile(const QString &path)
{
    const QString shortName = files::shortName(path);
    m_status.setText(QStringLiteral("Чтение из файла ") + shortName);
    BdtsFileStream.reset(); // set only once the file is accepted

    const QFileInfo info(path);
    if (info.exists() && info.size() > MaxFileBytes) {
        m_status.setText(QStringLiteral("Файл ") + shortName + QStringLiteral(" слишком велик для БД ТС."));
        return;
    }
    QByteArray bytes;
    QString error;
    if (!files::readWhole(path, &bytes, &error, MaxFileBytes)) {
        BdtsFileStream.reset();
        reportFileError(path, error);
        return;
    }
    if (bytes.size() > MaxFileBytes) { // grew while we looked
        m_status.setText(QStringLiteral("Файл ") + shortName + QStringLiteral(" слишком велик для БД ТС."));
        return;
    }
    if (recognise(bytes) == FileKind::Legacy) {
        const auto converted = convertLegacy(bytes);
        if (!converted) {
            BdtsFileStream.reset();
            m_status.setText(kBadFormat);
            return;
        }
        // The converted image goes beside the chosen file, which stays as it was. A different
        // file already there is replaced only when the operator agrees.
        const QString convertedPath = path + QLatin1Char('s');
        if (!mayReplaceConversion(convertedPath, *converted)) {
            m_status.setText(QStringLiteral("Файл ") + files::shortName(convertedPath) + QStringLiteral(" не заменён; файл ") +
                             shortName + QStringLiteral(" не загружен."));
            return;
        }
        if (!files::writeWhole(convertedPath, *converted, &error)) {
            BdtsFileStream.reset();
            reportFileError(convertedPath, error);
            return;
        }
        bytes = *converted;
    }
    // A rejected file is not kept as the file image: the file list (still showing the last good
    // file) and the additional list would otherwise take their pages from the wrong bytes.
    if (!bytes.startsWith(imageMagic())) {
        BdtsFileStream.reset();
        m_status.setText(QStringLiteral("Файл ") + shortName + QStringLiteral(" не содержит БД ТС."));
        emit changed();
        return;
    }
    int pages = 0;
    const ImageCheck check = checkImage(bytes, &pages);
    if (check == ImageCheck::BadCount) {
        BdtsFileStream.reset();
        m_status.setText(kBadFormat);
        emit changed();
        return;
    }
    view.fileVisible = false;
    view.addVisible = false;
    if (check != ImageCheck::Ok) {
        BdtsFileStream.reset();
        m_status.setText(kBadFormat);
        emit changed();
        return;
    }
    BdtsFileStream = bytes;
    BdtsFileName = shortName;
    // Bytes behind the counted pages belong to no page; the descriptor page is page N-1.
    BdtsFileStream->truncate(pageOffset(pages));

    BuildResult built;
    fileList.change([&](TsTree &tree) {
        built = BuildTsTree(*BdtsFileStream, pages, tree, BdtsFileEntries, &BdtsDescriptorPage);
        BdtsFilePages = built.pages;
        BdtsFileTsCount = built.testSystems;
        const CompactResult compacted = CompactImage(*BdtsFileStream, tree, BdtsFileEntries, &BdtsDescriptorPage);
        if (compacted.ok) {
            BdtsFilePages = compacted.pages;
            BdtsFileTsCount = compacted.testSystems;
        }
    });
    BdtsFileListReady = true;
    view.fileCaption = QStringLiteral("Список ТС в файле (%1):").arg(BdtsFileTsCount);
    m_status.setText(QStringLiteral("Считано из файла ") + shortName + QLatin1Char(' ') + QString::number(BdtsFileTsCount) +
                     QStringLiteral(" ТС"));
    view.fileVisible = true;
    view.writeFileEnabled = true;
    BuildAdditionalList();
    view.addVisible = true;
    writeWorkingFile(QStringLiteral("\\SpisokTSinFile.txt"), listText(fileList.tree()));
    view.fileDate = dateLine(lastPage(*BdtsFileStream).left(32));
    emit changed();
}

void BdtsDatabase::BuildAdditionalList()
{
    if (!frameExists || !BdtsSorStream || !BdtsFileStream) {
        // Built against an instrument list that has changed since: adding its pages now could
        // put test systems into the instrument a second time.
        if (BdtsAddStream && BdtsSorStream && !BdtsFileStream) {
            BdtsAddStream.reset();
            BdtsAddTsCount = 0;
            BdtsAddPages = 0;
            addList.change([](TsTree &add) { add.clear(); });
            view.addCaption = QStringLiteral("Дополнительный список ТС (0):");
            view.addEnabled = false;
            emit changed();
        }
        return;
    }
    BdtsAddStream = QByteArray();
    AdditionalResult counts;
    addList.change([&](TsTree &add) {
        counts = bdts::BuildAdditionalList(sorList.tree(), fileList.tree(), BdtsFileEntries, *BdtsFileStream,
                                           BdtsDescriptorPage, add, *BdtsAddStream);
    });
    BdtsAddTsCount = counts.testSystems;
    BdtsAddPages = counts.pages;
    view.addCaption = QStringLiteral("Дополнительный список ТС (%1):").arg(BdtsAddTsCount);
    view.addEnabled = BdtsSorListReady && BdtsFileListReady && BdtsAddTsCount > 0;
    if (!counts.wholePages) {
        // The list and its file are still produced; the operator must not add from them unseen.
        m_status.setText(QStringLiteral("Ошибка формирования доп.списка."));
        reportProblem(QStringLiteral("Ошибка формирования доп.списка."));
    }
    writeWorkingFile(QStringLiteral("\\TempBDTSAdd.bdt"), *BdtsAddStream);
    emit changed();
}

void BdtsDatabase::addToInstrument()
{
    m_status.setText(QStringLiteral("Включение в список прибора дополнительно %1 ТС").arg(BdtsAddTsCount));
    if (!BdtsSorStream || !BdtsAddStream)
        return;
    QByteArray &image = *BdtsSorStream;
    if (image.size() < HeaderSize + PageSize) {
        m_status.setText(QStringLiteral("Ошибка добавления в список прибора."));
        reportProblem(QStringLiteral("Ошибка добавления в список прибора."));
        return; // no descriptor page to add behind
    }
    const int newPages = BdtsPagesToRead + BdtsAddPages - 1;
    if (newPages > MaxPages) {
        m_status.setText(QStringLiteral("Нельзя добавить: в БД ТС прибора было бы %1 страниц, допустимо не более %2.")
                             .arg(newPages)
                             .arg(MaxPages));
        return;
    }
    // The additional pages go over the descriptor page; the image grows.
    const qint64 lastAt = std::max<qint64>(HeaderSize, image.size() - PageSize);
    image.truncate(lastAt);
    image.append(*BdtsAddStream);
    BdtsPagesToRead = newPages;
    // The operation completes either way; a mismatch is reported and not covered by the success text.
    const bool mismatch = wholePages(image) != BdtsPagesToRead || (image.size() - HeaderSize) % PageSize != 0;
    image.replace(10, 3, formatCount(BdtsPagesToRead).left(3));

    const QDate date = today();
    writeU16(BdtsModifiedTag, 10, quint16(date.day()));
    writeU16(BdtsModifiedTag, 12, quint16(date.month()));
    writeU16(BdtsModifiedTag, 14, quint16(date.year() - 2000));
    const qint64 last = image.size() - PageSize;
    if (last >= HeaderSize) {
        image.replace(last, 16, BdtsCreatedTag);
        image.replace(last + 16, 16, BdtsModifiedTag);
    }
    writeWorkingFile(QStringLiteral("\\TempBDTSAddSor.bdt"), image);
    if (mismatch) {
        m_status.setText(QStringLiteral("Ошибка добавления в список прибора."));
        reportProblem(QStringLiteral("Ошибка добавления в список прибора."));
    } else {
        m_status.setText(QStringLiteral("В список прибора добавлено %1 ТС").arg(BdtsAddTsCount));
    }

    BdtsPagesToRead = parseCount(image.mid(10, 3)).value_or(BdtsPagesToRead);
    sorList.change([&](TsTree &tree) {
        BdtsTsCount = BuildTsTree(image, BdtsPagesToRead, tree, BdtsSorEntries, &BdtsDescriptorPage).testSystems;
    });
    BuildAdditionalList();
    view.sorCaption = QStringLiteral("Список ТС в приборе (%1):").arg(BdtsTsCount);
    view.saveAddEnabled = true;
    showInstrumentDate();
    emit changed();
}

void BdtsDatabase::DeleteSelectedNodes(TsTreeModel &list, const std::vector<const TsNode *> &selected)
{
    list.change([&](TsTree &tree) { tree.remove(selected); });
}

void BdtsDatabase::deleteFromInstrument(const std::vector<const TsNode *> &selected)
{
    DeleteSelectedNodes(sorList, selected);
    const int before = BdtsTsCount;
    if (BdtsSorStream) {
        sorList.change([&](TsTree &tree) {
            const CompactResult compacted = CompactImage(*BdtsSorStream, tree, BdtsSorEntries, &BdtsDescriptorPage);
            if (compacted.ok) {
                BdtsPagesToRead = compacted.pages;
                BdtsTsCount = compacted.testSystems;
            }
            BuildTsTree(*BdtsSorStream, BdtsPagesToRead, tree, BdtsSorEntries, &BdtsDescriptorPage);
        });
    }
    view.sorCaption = QStringLiteral("Список ТС в приборе (%1):").arg(BdtsTsCount);
    view.saveAddEnabled = true;
    BuildAdditionalList();
    m_status.setText(QStringLiteral("Из списка прибора удалено %1 ТС").arg(before - BdtsTsCount));
    emit changed();
}

void BdtsDatabase::selectionChanged(int selectedCount)
{
    view.deleteEnabled = selectedCount > 0;
    if (selectedCount > 0)
        m_status.setText(QStringLiteral("Выбрано  позиций:%1.").arg(selectedCount));
    emit changed();
}

void BdtsDatabase::takeInstrumentImage(const QByteArray &image, int pages)
{
    BdtsSorStream = image;
    BdtsPagesToRead = pages;
    finishRead();
}

void BdtsDatabase::exchangeEnded(bool readCut)
{
    if (readCut && BdtsSorStream)
        view.sorVisible = true;
    emit changed();
}

void BdtsDatabase::setReadAllowed(bool allowed)
{
    if (view.readAllowed == allowed)
        return;
    view.readAllowed = allowed;
    emit changed();
}

void BdtsDatabase::setExchangeRunning(bool running)
{
    view.exchangeRunning = running;
    emit changed();
}

void BdtsDatabase::hideInstrumentList()
{
    view.sorVisible = false;
    emit changed();
}

void BdtsDatabase::showInstrumentDate()
{
    if (!BdtsSorStream)
        return;
    const QByteArray last = lastPage(*BdtsSorStream);
    BdtsCreatedTag = last.left(16);
    BdtsModifiedTag = last.mid(16, 16);
    view.sorDate = dateLine(last.left(32));
}

void BdtsDatabase::finishRead()
{
    if (!BdtsSorStream)
        return;
    BdtsPagesTaken = BdtsPagesToRead;
    writeWorkingFile(QStringLiteral("ProbaMSBDTSInSor.txt"), *BdtsSorStream);
    sorList.change([&](TsTree &tree) {
        const BuildResult built = BuildTsTree(*BdtsSorStream, BdtsPagesToRead, tree, BdtsSorEntries, &BdtsDescriptorPage);
        BdtsTsCount = built.testSystems;
    });
    writeWorkingFile(QStringLiteral("\\SpisokTSinSor.txt"), listText(sorList.tree()));
    sorList.change([&](TsTree &tree) {
        const CompactResult compacted = CompactImage(*BdtsSorStream, tree, BdtsSorEntries, &BdtsDescriptorPage);
        if (compacted.ok) {
            BdtsPagesToRead = compacted.pages;
            BdtsTsCount = compacted.testSystems;
        }
    });
    BdtsSorListReady = true;
    view.sorCaption = QStringLiteral("Список ТС в приборе (%1):").arg(BdtsTsCount);
    view.sorVisible = true;
    view.saveToFileEnabled = true;
    showInstrumentDate();
    BuildAdditionalList();
    m_status.setProgress(0);
    m_status.setText(pagesTakenText(BdtsPagesTaken, BdtsPagesToRead));
    emit changed();
}

QString BdtsDatabase::pagesTakenText(int taken, int kept)
{
    QString text = QStringLiteral("Принято из прибора страниц: %1").arg(taken);
    // The list keeps only the pages of the test systems it shows (and the descriptor page);
    // pages of no listed test system (a repeated name, pages past the end) are left out of it.
    if (kept < taken)
        text += QStringLiteral("; в список ТС вошло %1, не вошло %2 (страницы, не относящиеся ни к одной ТС списка)")
                    .arg(kept)
                    .arg(taken - kept);
    return text;
}

QString BdtsDatabase::writeConfirmationText(bool fromFile, int pages, const QByteArray &held) const
{
    const TsTree &tree = (fromFile ? fileList : sorList).tree();
    QString text = fromFile ? QStringLiteral("Записать в прибор БД ТС из файла %1?").arg(BdtsFileName)
                            : QStringLiteral("Записать в прибор список ТС прибора с внесёнными изменениями?");
    text += QStringLiteral("\nБД ТС в приборе будет заменена целиком: тест-систем %1, страниц %2.\n")
                .arg(tree.testSystemCount())
                .arg(pages);
    constexpr int kShown = 15;
    const auto listed = [&](const QStringList &names) {
        QString out;
        for (int i = 0; i < names.size() && i < kShown; ++i)
            out += QStringLiteral("\n    ") + names.at(i);
        if (names.size() > kShown)
            out += QStringLiteral("\n    ... и ещё %1").arg(names.size() - kShown);
        return out;
    };
    QStringList written;
    tree.forEachTestSystem([&](const TsNode &t) {
        written << t.parent->parent->text + QStringLiteral(" / ") + t.parent->text + QStringLiteral(" / ") + t.text;
    });
    text += listed(written);
    const ListChanges changes = listChanges(held, tree);
    if (!changes.heldKnown) {
        text += QStringLiteral("\n\nСписок ТС прибора не считан: какие ТС прибор потеряет, неизвестно.");
    } else {
        text += changes.lost.isEmpty() ? QStringLiteral("\n\nПрибор не потеряет ни одной ТС.")
                                       : QStringLiteral("\n\nПрибор ПОТЕРЯЕТ ТС (%1):").arg(changes.lost.size()) + listed(changes.lost);
        text += changes.gained.isEmpty() ? QStringLiteral("\nНовых ТС прибор не получит.")
                                         : QStringLiteral("\nПрибор получит ТС (%1):").arg(changes.gained.size()) + listed(changes.gained);
    }
    text += QStringLiteral("\n\nПеред записью БД ТС прибора будет сохранена в папку\n") +
            QDir::toNativeSeparators(backupFolder(m_programDir)) +
            QStringLiteral("\n\nНачатую запись остановить нельзя: прерванная запись оставила бы в приборе "
                           "неполную БД ТС.");
    return text;
}

bool BdtsDatabase::confirmWrite(bool fromFile, int pages, const QByteArray &held)
{
    return m_dialogs.warnYesNo(QStringLiteral("Запись БД ТС в прибор"), writeConfirmationText(fromFile, pages, held));
}

QString BdtsDatabase::backupInstrumentImage(const QByteArray &image, QString *failure)
{
    const BackupResult backup = writeBackup(m_programDir, image, now());
    if (backup.path.isEmpty() && failure)
        *failure = QStringLiteral("Не удалось сохранить резервную копию БД ТС прибора в папку ") +
                   QDir::toNativeSeparators(backupFolder(m_programDir)) + QStringLiteral(": ") + backup.error +
                   QStringLiteral(".\nЗапись в прибор не начата.");
    return backup.path;
}

void BdtsDatabase::reportProblem(const QString &text) { m_dialogs.showError(QStringLiteral("КВИРО-сервис"), text); }
