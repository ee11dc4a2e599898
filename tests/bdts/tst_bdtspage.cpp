// The database page through its buttons: files, the three lists, adding and deleting, with the
// captions, counts, status texts, dates and working files the operator relies on.
#include "bdtsrig.h"

#include "bdts/bdtstransfer.h"
#include "bdts/tstree.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

using namespace bdts;

namespace {
const QByteArray kInstrument = ts("Гепатиты", "Гепатит C", "анти-HCV", 2, 1) + ts("Гормоны", "Репродукция", "ЛГ-ИФА", 1, 2) +
                               ts("Гормоны", "Репродукция", "ФСГ-ИФА", 1, 3);
// The file has two of the instrument's test systems and three it lacks.
const QByteArray kFile = ts("Гормоны", "Репродукция", "ЛГ-ИФА", 1, 2) + ts("Гепатиты", "Гепатит C", "Анти-HCV", 3, 4) +
                         ts("Онкомаркеры", "Общие", "ПСА общий", 1, 5) + ts("Гепатиты", "Гепатит C", "анти-HCV", 2, 1) +
                         ts("Гормоны", "Щитовидная железа", "ТТГ-ИФА", 2, 6);

void clickNode(TsTreeView *view, const QModelIndex &index, Qt::KeyboardModifiers mods = {}, Qt::MouseButton b = Qt::LeftButton)
{
    QVERIFY(index.isValid());
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), b, mods, view->visualRect(index).center());
}
} // namespace

class TestBdtsPage : public QObject {
    Q_OBJECT
private slots:
    void controlsAtStart();
    void fileLoadListsCompactsAndWritesWorkingFiles();
    void legacyFileConvertedBesideTheChosenOne();
    void malformedFiles_data();
    void malformedFiles();
    void unreadableFileReportsTheError();
    void staleAdditionalListIsNotAddedTwice();
    void addThroughTheButton();
    void addRefusedBeyond999Pages();
    void selectionAmongSiblingsOnly();
    void deleteThroughTheButton();
    void deleteFollowsKeyboardSelection();
    void saveInstrumentImage();
    void listErrorsAreShownAndNotCoveredBySuccess();
    void writeWithoutAnImage();
};

void TestBdtsPage::controlsAtStart()
{
    BdtsRig rig;
    TFrameBDTS &f = *rig.frame;
    QCOMPARE(f.instrumentListGroup->title(), QStringLiteral("Список ТС в приборе:"));
    QCOMPARE(f.fileListGroup->title(), QStringLiteral("Список ТС в файле:"));
    QCOMPARE(f.addListGroup->title(), QStringLiteral("Дополнительный список ТС:"));
    QCOMPARE(f.btnReadBDTSFromSor->text().remove(QLatin1Char('&')), QStringLiteral(" из прибора"));
    QCOMPARE(f.btnDeleteTS->toolTip(),
             QStringLiteral("Выбор для удаления:\nShift + левый клик - непрерывно,\nCtrl + левый клик - выборочно."));
    QCOMPARE(f.btnAddTSInSor->text().remove(QLatin1Char('&')), QStringLiteral("<<< Добавить в список прибора"));
    QVERIFY(f.btnReadBDTSFromSor->isEnabled());
    QVERIFY(f.btnReadBDTSFromFile->isEnabled());
    for (QPushButton *b : {f.btnSaveBDTSinFile, f.btnDeleteTS, f.btnSaveAddTs, f.btnWriteBDTSInSor, f.btnAddTSInSor})
        QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
    QCOMPARE(rig.frame->findChild<TsTreeView *>(QStringLiteral("TreeViewSor")), f.TreeViewSor);
    QCOMPARE(f.TreeViewSor->editTriggers(), QAbstractItemView::NoEditTriggers);
    // Widths: the instrument group takes 55 % of the frame, its buttons a quarter of the group.
    QCOMPARE(f.instrumentListGroup->width(), 600 * 55 / 100);
    QCOMPARE(f.btnReadBDTSFromSor->width(), 330 / 4);
    QCOMPARE(f.btnDeleteTS->width(), 330 / 4);
    QCOMPARE(f.btnReadBDTSFromFile->width(), 270 / 2);
    rig.feature->setReadFromSorEnabled(false);
    QVERIFY(!f.btnReadBDTSFromSor->isEnabled());
}

void TestBdtsPage::fileLoadListsCompactsAndWritesWorkingFiles()
{
    BdtsRig rig;
    // A repeated test system and a stray page: listed once, dropped by the compaction.
    const QByteArray image = makeImage(kFile + ts("Гормоны", "Репродукция", "ЛГ-ИФА", 2, 9) + makeStrayPage(), dated());
    const QString chosen = rig.put(QStringLiteral("мой файл.bdts"), image);
    rig.openFile(chosen);
    QCOMPARE(rig.status.text(), QStringLiteral("Считано из файла мой файл.bdts 5 ТС"));
    QCOMPARE(rig.frame->fileListGroup->title(), QStringLiteral("Список ТС в файле (5):"));
    QCOMPARE(rig.frame->lbDateBDTSinPC->text(), QStringLiteral("БДТС создана: 05.03.09, изменена: 17.11.10"));
    QVERIFY(rig.frame->btnWriteBDTSInSor->isEnabled());
    QCOMPARE(rig.db().BdtsFilePages, 1 + 3 + 1 + 2 + 2 + 1);
    QCOMPARE(rig.db().BdtsFileStream->size(), 13 + 10 * 512);
    QCOMPARE(rig.db().BdtsFileStream->left(13), QByteArray("Sor512BDTS 10"));
    QCOMPARE(rig.read(QStringLiteral("SpisokTSinFile.txt")), listText(rig.db().fileList.tree()));
    QVERIFY(rig.read(QStringLiteral("SpisokTSinFile.txt")).startsWith(w("Гепатиты\r\n\tГепатит C\r\n\t\tанти-HCV\r\n\t\tАнти-HCV\r\n")));
    QCOMPARE(rig.read(QStringLiteral("мой файл.bdts")), image); // the chosen file is never changed
    // The dialog starts in FilesInSorvint and offers both formats.
    const FileDialogRequest &req = rig.dialogs.openRequests.last();
    QCOMPARE(req.folder, files::inFolder(rig.program.path(), QStringLiteral("FilesInSorvint")));
    QVERIFY(req.filter.contains(QStringLiteral("*.bdts")) && req.filter.contains(QStringLiteral("Файлы данных 528(*.bdt)")));
    // Without an instrument list there is no additional list yet.
    QVERIFY(!rig.db().BdtsAddStream);
    QVERIFY(!rig.frame->btnAddTSInSor->isEnabled());

    // A cancelled dialog still drops the file image.
    rig.frame->btnReadBDTSFromFile->click();
    QVERIFY(!rig.db().BdtsFileStream);
}

void TestBdtsPage::legacyFileConvertedBesideTheChosenOne()
{
    BdtsRig rig;
    const QByteArray image = makeImage(kFile, dated());
    const QByteArray legacy = toLegacy(image);
    const QString chosen = rig.put(QStringLiteral("old.bdt"), legacy);
    rig.openFile(chosen);
    QCOMPARE(rig.status.text(), QStringLiteral("Считано из файла old.bdt 5 ТС"));
    QCOMPARE(rig.read(QStringLiteral("old.bdts")), image);
    QCOMPARE(rig.read(QStringLiteral("old.bdt")), legacy);
    // An image saved under the "528" extension loads as an image.
    rig.put(QStringLiteral("image.bdt"), image);
    rig.openFile(rig.path(QStringLiteral("image.bdt")));
    QCOMPARE(rig.status.text(), QStringLiteral("Считано из файла image.bdt 5 ТС"));
    QVERIFY(!QFile::exists(rig.path(QStringLiteral("image.bdts"))));
}

void TestBdtsPage::malformedFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("listsHidden");
    const QByteArray good = makeImage(kFile, dated());
    QTest::newRow("empty") << QByteArray() << QStringLiteral("Файл bad.bdts не содержит БД ТС.") << false;
    QTest::newRow("few bytes") << QByteArray("Sor5") << QStringLiteral("Файл bad.bdts не содержит БД ТС.") << false;
    QTest::newRow("text") << QByteArray("Список ТС\r\n") << QStringLiteral("Файл bad.bdts не содержит БД ТС.") << false;
    QTest::newRow("header cut") << good.left(11) << QStringLiteral("Неверный формат файла.") << false;
    QByteArray bad = good;
    bad.replace(10, 3, "1x3");
    QTest::newRow("count no number") << bad << QStringLiteral("Неверный формат файла.") << false;
    bad = good;
    bad.replace(10, 3, "  0");
    QTest::newRow("zero pages") << bad << QStringLiteral("Неверный формат файла.") << true;
    bad = good;
    bad.replace(10, 3, "999");
    QTest::newRow("count past the image") << bad << QStringLiteral("Неверный формат файла.") << true;
    QTest::newRow("last page cut") << good.left(good.size() - 100) << QStringLiteral("Неверный формат файла.") << true;
    QTest::newRow("no descriptor") << makeImage(kFile, makeStrayPage()) << QStringLiteral("Неверный формат файла.") << true;
    QTest::newRow("legacy count no number") << QByteArray("SorBDTS x1") << QStringLiteral("Неверный формат файла.") << false;
    QTest::newRow("legacy records cut") << toLegacy(good).left(600) << QStringLiteral("Неверный формат файла.") << false;
    QTest::newRow("huge") << QByteArray(MaxFileBytes + 1, 'S') << QStringLiteral("Файл bad.bdts слишком велик для БД ТС.") << false;
}

void TestBdtsPage::malformedFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QFETCH(bool, listsHidden);
    BdtsRig rig;
    rig.instrumentHolds(makeImage(kInstrument, dated()));
    rig.openFile(rig.put(QStringLiteral("good.bdts"), makeImage(kFile, dated())));
    QCOMPARE(rig.db().BdtsAddTsCount, 3);
    rig.openFile(rig.put(QStringLiteral("bad.bdts"), bytes));
    QCOMPARE(rig.status.text(), message);
    QCOMPARE(rig.frame->TreeViewFile->isHidden(), listsHidden);
    QCOMPARE(rig.frame->TreeViewAdd->isHidden(), listsHidden);
    QVERIFY(!QFile::exists(rig.path(QStringLiteral("bad.bdtss"))));
    QCOMPARE(rig.read(QStringLiteral("bad.bdts")), bytes);
    QVERIFY(rig.dialogs.errors.isEmpty());
    // The rejected bytes never stand behind the file list: a later change of the instrument list
    // does not take pages from them, and the file list cannot be written.
    QVERIFY(!rig.db().BdtsFileStream);
    rig.instrumentHolds(makeImage(kInstrument, dated()));
    QCOMPARE(rig.db().BdtsAddTsCount, 0);
    QVERIFY(!rig.frame->btnAddTSInSor->isEnabled());
}

void TestBdtsPage::staleAdditionalListIsNotAddedTwice()
{
    BdtsRig rig;
    rig.instrumentHolds(makeImage(kInstrument, dated()));
    rig.openFile(rig.put(QStringLiteral("f.bdts"), makeImage(kFile, dated())));
    QCOMPARE(rig.db().BdtsAddTsCount, 3);
    rig.frame->btnReadBDTSFromFile->click(); // cancelled: no file image any more
    QVERIFY(rig.frame->btnAddTSInSor->isEnabled()); // the list still matches the instrument
    rig.frame->btnAddTSInSor->click();
    QCOMPARE(rig.db().BdtsTsCount, 6);
    QVERIFY(!rig.frame->btnAddTSInSor->isEnabled());
    rig.frame->btnAddTSInSor->setEnabled(true);
    rig.frame->btnAddTSInSor->click();
    QCOMPARE(rig.db().BdtsTsCount, 6);
    QCOMPARE(bdts::wholePages(*rig.db().BdtsSorStream), 5 + 7 - 1);
}

void TestBdtsPage::unreadableFileReportsTheError()
{
    BdtsRig rig;
    rig.openFile(rig.path(QStringLiteral("missing.bdts")));
    QCOMPARE(rig.dialogs.errors.size(), 1);
    QVERIFY(!rig.db().BdtsFileStream);
}

void TestBdtsPage::addThroughTheButton()
{
    BdtsRig rig;
    const QByteArray instrument = makeImage(kInstrument, dated());
    rig.instrumentHolds(instrument);
    QCOMPARE(rig.frame->instrumentListGroup->title(), QStringLiteral("Список ТС в приборе (3):"));
    rig.openFile(rig.put(QStringLiteral("f.bdts"), makeImage(kFile, dated(QDate(2012, 1, 2), QDate(2013, 4, 5)))));
    QCOMPARE(rig.frame->addListGroup->title(), QStringLiteral("Дополнительный список ТС (3):"));
    QVERIFY(rig.frame->btnAddTSInSor->isEnabled());
    QCOMPARE(rig.db().BdtsAddPages, 3 + 1 + 2 + 1);
    QCOMPARE(rig.read(QStringLiteral("TempBDTSAdd.bdt")).size(), 7 * 512);

    rig.frame->btnAddTSInSor->click();
    QCOMPARE(rig.status.text(), QStringLiteral("В список прибора добавлено 3 ТС"));
    QCOMPARE(rig.frame->instrumentListGroup->title(), QStringLiteral("Список ТС в приборе (6):"));
    QCOMPARE(rig.frame->addListGroup->title(), QStringLiteral("Дополнительный список ТС (0):"));
    QVERIFY(!rig.frame->btnAddTSInSor->isEnabled());
    QVERIFY(rig.frame->btnSaveAddTs->isEnabled());
    // Created date kept, modification date today.
    QCOMPARE(rig.frame->lbDateBDTSinSorvint->text(), QStringLiteral("БДТС создана: 05.03.09, изменена: 08.12.26"));
    const QByteArray &image = *rig.db().BdtsSorStream;
    QCOMPARE(rig.db().BdtsPagesToRead, 5 + 7 - 1);
    QCOMPARE(image.size(), 13 + 11 * 512);
    QCOMPARE(image.left(13), QByteArray("Sor512BDTS 11"));
    QCOMPARE(image.left(13 + 4 * 512).mid(13), instrument.mid(13, 4 * 512)); // old test systems first, untouched
    QCOMPARE(rig.read(QStringLiteral("TempBDTSAddSor.bdt")), image);
    int pages = 0;
    QCOMPARE(checkImage(image, &pages), ImageCheck::Ok);
    // Every listed test system is addressed correctly in the enlarged image.
    rig.db().sorList.tree().forEachTestSystem([&](const TsNode &n) {
        const TsEntry &e = rig.db().BdtsSorEntries[size_t(n.entry)];
        QCOMPARE(nameField(image, e.Offset + NameOffset, NameSize), n.name);
    });
    // Pressing again adds nothing more.
    rig.frame->btnAddTSInSor->setEnabled(true);
    rig.frame->btnAddTSInSor->click();
    QCOMPARE(rig.db().BdtsSorStream->size(), 13 + 11 * 512);
}

void TestBdtsPage::addRefusedBeyond999Pages()
{
    BdtsRig rig;
    GenOptions big;
    big.targetPages = 900;
    rig.instrumentHolds(generateImage(big));
    QByteArray pages;
    for (int i = 0; i < 30; ++i)
        pages += makeTestSystem(w("Новые"), w("Набор"), w("Тест ") + QByteArray::number(i), 4, quint32(i));
    const QByteArray file = makeImage(pages, dated());
    rig.openFile(rig.put(QStringLiteral("big.bdts"), file));
    QVERIFY(rig.frame->btnAddTSInSor->isEnabled());
    const QByteArray before = *rig.db().BdtsSorStream;
    rig.frame->btnAddTSInSor->click();
    QVERIFY(rig.status.text().contains(QStringLiteral("999")));
    QCOMPARE(*rig.db().BdtsSorStream, before);
    QCOMPARE(rig.db().BdtsPagesToRead, 900);
}

void TestBdtsPage::selectionAmongSiblingsOnly()
{
    BdtsRig rig;
    rig.host.show();
    rig.instrumentHolds(makeImage(kInstrument, dated()));
    TsTreeView *view = rig.frame->TreeViewSor;
    const TsTreeModel &m = rig.db().sorList;
    const QModelIndex lh = m.find({QStringLiteral("Гормоны"), QStringLiteral("Репродукция"), QStringLiteral("ЛГ-ИФА")});
    const QModelIndex fsh = m.find({QStringLiteral("Гормоны"), QStringLiteral("Репродукция"), QStringLiteral("ФСГ-ИФА")});
    const QModelIndex hcv = m.find({QStringLiteral("Гепатиты"), QStringLiteral("Гепатит C"), QStringLiteral("анти-HCV")});
    const QModelIndex hormones = m.find({QStringLiteral("Гормоны")});
    clickNode(view, lh);
    QCOMPARE(rig.status.text(), QStringLiteral("Выбрано  позиций:1."));
    QVERIFY(rig.frame->btnDeleteTS->isEnabled());
    clickNode(view, fsh, Qt::ControlModifier);
    QCOMPARE(rig.status.text(), QStringLiteral("Выбрано  позиций:2."));
    clickNode(view, hcv, Qt::ControlModifier); // another parent: the selection moves there
    QCOMPARE(rig.frame->selectedInstrumentCount(), 1);
    clickNode(view, hormones, Qt::ShiftModifier); // a run from a test system to a group keeps only groups
    for (const QModelIndex &i : view->selectionModel()->selectedIndexes())
        QVERIFY(!i.parent().isValid());
    clickNode(view, lh, {}, Qt::RightButton);
    QCOMPARE(view->selectionModel()->selectedIndexes(), QModelIndexList{lh});
    // Ctrl click on the only selected node: nothing is selected, the delete button goes off.
    clickNode(view, lh, Qt::ControlModifier);
    QCOMPARE(rig.frame->selectedInstrumentCount(), 0);
    QVERIFY(!rig.frame->btnDeleteTS->isEnabled());
}

void TestBdtsPage::deleteThroughTheButton()
{
    BdtsRig rig;
    rig.host.show();
    rig.instrumentHolds(makeImage(kInstrument, dated()));
    rig.openFile(rig.put(QStringLiteral("f.bdts"), makeImage(kFile, dated())));
    QCOMPARE(rig.db().BdtsAddTsCount, 3);
    clickNode(rig.frame->TreeViewSor, rig.db().sorList.find({QStringLiteral("Гормоны")}));
    rig.frame->btnDeleteTS->click();
    QCOMPARE(rig.status.text(), QStringLiteral("Из списка прибора удалено 2 ТС"));
    QCOMPARE(rig.frame->instrumentListGroup->title(), QStringLiteral("Список ТС в приборе (1):"));
    QVERIFY(rig.frame->btnSaveAddTs->isEnabled());
    // The image holds the one test system left and the descriptor page; dates untouched.
    QCOMPARE(*rig.db().BdtsSorStream, makeImage(ts("Гепатиты", "Гепатит C", "анти-HCV", 2, 1), dated()));
    QCOMPARE(rig.db().BdtsPagesToRead, 3);
    QCOMPARE(rig.frame->lbDateBDTSinSorvint->text(), QStringLiteral("БДТС создана: 05.03.09, изменена: 17.11.10"));
    // ЛГ-ИФА, deleted from the instrument, is in the file: it reappears in the additional list.
    QCOMPARE(rig.db().BdtsAddTsCount, 4);
    QVERIFY(rig.db().addList.find({QStringLiteral("Гормоны"), QStringLiteral("Репродукция"), QStringLiteral("ЛГ-ИФА")}).isValid());
    // The rebuilt list has no selection: the button is off, and the operation itself deletes nothing.
    QVERIFY(!rig.frame->btnDeleteTS->isEnabled());
    rig.feature->btnDeleteTSClick();
    QCOMPARE(rig.status.text(), QStringLiteral("Из списка прибора удалено 0 ТС"));
    QCOMPARE(rig.db().BdtsPagesToRead, 3);
}

void TestBdtsPage::deleteFollowsKeyboardSelection()
{
    BdtsRig rig;
    rig.host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.host));
    rig.instrumentHolds(makeImage(kInstrument, dated()));
    TsTreeView *view = rig.frame->TreeViewSor;
    view->setFocus();
    QVERIFY(!rig.frame->btnDeleteTS->isEnabled());
    // The arrow keys select: the button follows, without any click.
    QTest::keyClick(view, Qt::Key_Home);
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(rig.frame->selectedInstrumentCount(), 1);
    QVERIFY(rig.frame->btnDeleteTS->isEnabled());
    const QModelIndex chosen = view->currentIndex();
    QCOMPARE(chosen.data().toString(), QStringLiteral("анти-HCV"));
    // Shift+Down reaches a node of another parent: the selection keeps to siblings.
    QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
    QVERIFY(rig.frame->selectedInstrumentCount() >= 1);
    QTest::keyClick(view, Qt::Key_Up);
    QCOMPARE(view->selectionModel()->selectedIndexes(), QModelIndexList{chosen});

    // The Delete key deletes the selection, as the button does.
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(rig.status.text(), QStringLiteral("Из списка прибора удалено 1 ТС"));
    QCOMPARE(rig.frame->instrumentListGroup->title(), QStringLiteral("Список ТС в приборе (2):"));
    QVERIFY(!rig.db().sorList.find({QStringLiteral("Гепатиты")}).isValid());
    // Nothing selected in the rebuilt list: the button is off and Delete does nothing more.
    QVERIFY(!rig.frame->btnDeleteTS->isEnabled());
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(rig.frame->instrumentListGroup->title(), QStringLiteral("Список ТС в приборе (2):"));

    // A selection, then a new read from the instrument: the list is rebuilt and the button goes off.
    QTest::keyClick(view, Qt::Key_Home);
    QVERIFY(rig.frame->btnDeleteTS->isEnabled());
    rig.instrumentHolds(makeImage(kInstrument, dated()));
    QCOMPARE(rig.frame->selectedInstrumentCount(), 0);
    QVERIFY(!rig.frame->btnDeleteTS->isEnabled());
}

void TestBdtsPage::saveInstrumentImage()
{
    BdtsRig rig;
    rig.frame->btnSaveBDTSinFile->click(); // disabled: nothing asked
    QVERIFY(rig.dialogs.saveRequests.isEmpty());
    const QByteArray image = makeImage(kInstrument, dated());
    rig.instrumentHolds(image);
    QVERIFY(rig.frame->btnSaveBDTSinFile->isEnabled());
    QCOMPARE(rig.read(QStringLiteral("ProbaMSBDTSInSor.txt")), image);
    QCOMPARE(rig.read(QStringLiteral("SpisokTSinSor.txt")), listText(rig.db().sorList.tree()));
    rig.dialogs.saveAnswers << rig.path(QStringLiteral("saved.bdts"));
    rig.frame->btnSaveBDTSinFile->click();
    QCOMPARE(rig.status.text(), QStringLiteral("БД ТС записана в файл: saved.bdts"));
    QCOMPARE(rig.read(QStringLiteral("saved.bdts")), *rig.db().BdtsSorStream);
    QCOMPARE(rig.dialogs.saveRequests.last().defaultSuffix, QStringLiteral("bdts"));
    rig.status.setText(QString());
    rig.frame->btnSaveBDTSinFile->click(); // cancelled
    QCOMPARE(rig.status.text(), QString());
}

void TestBdtsPage::listErrorsAreShownAndNotCoveredBySuccess()
{
    // Additional pages that are not whole pages: an entry of the file list that no longer
    // addresses its pages (the file image lost its tail).
    BdtsRig rig;
    rig.instrumentHolds(makeImage(kInstrument, dated()));
    rig.openFile(rig.put(QStringLiteral("f.bdts"), makeImage(kFile, dated())));
    QVERIFY(rig.dialogs.errors.isEmpty());
    rig.db().BdtsFileStream->truncate(13 + 2 * 512);
    rig.db().BuildAdditionalList();
    QCOMPARE(rig.status.text(), QStringLiteral("Ошибка формирования доп.списка."));
    QCOMPARE(rig.dialogs.errors.size(), 1);
    QVERIFY(rig.dialogs.errors.last().endsWith(QStringLiteral("Ошибка формирования доп.списка.")));
    // The list and its file are still produced.
    QCOMPARE(rig.db().BdtsAddTsCount, 3);
    QVERIFY(!rig.read(QStringLiteral("TempBDTSAdd.bdt")).isEmpty());

    // An instrument page count that disagrees with its image: the addition completes, but the
    // status line keeps the error instead of announcing success.
    BdtsRig second;
    second.instrumentHolds(makeImage(kInstrument, dated()));
    second.openFile(second.put(QStringLiteral("f.bdts"), makeImage(kFile, dated())));
    second.db().BdtsPagesToRead += 1;
    second.frame->btnAddTSInSor->click();
    QCOMPARE(second.status.text(), QStringLiteral("Ошибка добавления в список прибора."));
    QCOMPARE(second.dialogs.errors.size(), 1);
    QVERIFY(second.frame->btnSaveAddTs->isEnabled());
    // An instrument image without even a descriptor page: nothing is added.
    BdtsRig third;
    third.instrumentHolds(makeImage(kInstrument, dated()));
    third.openFile(third.put(QStringLiteral("f.bdts"), makeImage(kFile, dated())));
    third.db().BdtsSorStream = QByteArray("Sor512BDTS  0");
    third.frame->btnAddTSInSor->click();
    QCOMPARE(third.status.text(), QStringLiteral("Ошибка добавления в список прибора."));
    QCOMPARE(*third.db().BdtsSorStream, QByteArray("Sor512BDTS  0"));
}

void TestBdtsPage::writeWithoutAnImage()
{
    BdtsRig rig;
    rig.feature->btnWriteBDTSInSorClick();
    QCOMPARE(rig.status.text(), QStringLiteral("Список не считан из файла."));
    rig.status.setText(QString());
    rig.feature->btnSaveAddTsClick();
    QCOMPARE(rig.status.text(), QStringLiteral("Список не считан из файла."));
    QVERIFY(rig.dialogs.warnings.isEmpty()); // nothing to confirm
    QVERIFY(!rig.feature->transfer().busy());
}

QTEST_MAIN(TestBdtsPage)
#include "tst_bdtspage.moc"
