// The main window without a mouse and at larger text: the Tab order of every page, the keys of the
// group bar, the lists and the spreadsheet view, the menus' Alt letters, the captions that must show
// whole at the present text size (this suite also runs with QT_FONT_DPI=120), the pages growing
// with the window, Qt's Russian texts and the Russian words in front of the system's file errors.
#include "app/aboutpage.h"
#include "app/mainwindow.h"
#include "app/qtdialogs.h"
#include "app/qtrussian.h"
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsfeature.h"
#include "bdts/bdtsgen.h"
#include "bdts/tframebdts.h"
#include "bdts/tstreeview.h"
#include "core/files.h"
#include "firmware/firmwarefeature.h"
#include "firmware/framesoftsor.h"
#include "reader/odpage.h"
#include "reader/readerfeature.h"
#include "reader/resultpage.h"
#include "reader/sheetwindow.h"
#include "support/testbed.h"
#include "widgets/textfit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLibraryInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace {
using Window = TFormMainKviroS_D7;

// Every page filled as an operator would see it: the instrument answering, a table and a protocol
// received, the instrument's database and a file's database listed, the firmware page opened.
struct FilledWindow {
    TestBed bed;
    Window &w = bed.window();

    FilledWindow()
    {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        bed.tick(); // the port found and opened
        bed.tick(); // the instrument answers in working mode
        bed.fillEveryPage();
        // A long status text wraps and the bar grows for it; the least size is measured with the
        // link's one-line text.
        w.status().setText(QStringLiteral("Связь с прибором есть."));
        settle();
        w.resize(w.minimumSize());
        settle();
    }
    static void settle() { QTest::qWait(30); }

    void show(int page)
    {
        bed.showPage(page);
        settle();
        QCOMPARE(w.currentPage(), page);
    }
};

const QList<int> allPages{Window::PageAbout, Window::PageSoftSor, Window::PageBDTS, Window::PageReader, Window::PageResult};

QString nameOf(const QWidget *w)
{
    return w ? QString::fromLatin1(w->metaObject()->className()) + QLatin1Char('/') + w->objectName() : QStringLiteral("none");
}

// What Tab must reach: every visible, enabled widget that takes focus by Tab itself.
QSet<QWidget *> tabStops(QWidget *window)
{
    QSet<QWidget *> stops;
    for (QWidget *c : window->findChildren<QWidget *>())
        if (c->isVisible() && c->isEnabled() && (c->focusPolicy() & Qt::TabFocus) && !c->focusProxy())
            stops.insert(c);
    return stops;
}

// The widgets whose captions must show whole.
QList<QWidget *> captioned(QWidget *root)
{
    QList<QWidget *> out;
    for (QWidget *c : root->findChildren<QWidget *>())
        if (c->isVisible() && (qobject_cast<QAbstractButton *>(c) || qobject_cast<QLabel *>(c)))
            out << c;
    return out;
}
} // namespace

class TstKeysAndText : public QObject {
    Q_OBJECT
private slots:
    void questionsAnswerNoToEnter()
    {
        // Every Yes/No question guards what cannot be taken back (a database write, replacing a
        // file, leaving a firmware load): Enter, or Escape, answers No.
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QWidget parent;
            QtUserDialogs dialogs(&parent);
            QTimer press;
            press.setInterval(20);
            QObject::connect(&press, &QTimer::timeout, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!box || !box->isVisible())
                    return;
                QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
                press.stop();
                QTest::keyClick(box, key);
            });
            press.start();
            QVERIFY(!dialogs.warnYesNo(QStringLiteral("Запись БД ТС в прибор"), QStringLiteral("Записать в прибор БД ТС из файла?")));
        }
    }

    // KVIRO_TEST_TEXT_SCALE=1.25: the system's text made larger without a change of dpi (the
    // application font grows, sizes the program sets itself stay).
    void initTestCase()
    {
        const double scale = qEnvironmentVariable("KVIRO_TEST_TEXT_SCALE").toDouble();
        if (scale > 0) {
            QFont font = QApplication::font();
            font.setPointSizeF(font.pointSizeF() * scale);
            QApplication::setFont(font);
            qInfo("application font %.1f pt", font.pointSizeF());
        }
    }

    void tabWalksEveryPageReachingEachControlOnce()
    {
        FilledWindow f;
        Window &w = f.w;
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // The keyboard starts in the page area, not invisibly in the group bar.
        QWidget *groupBar = w.findChild<QWidget *>(QStringLiteral("groupBar"));
        QVERIFY(QApplication::focusWidget());
        QVERIFY2(!groupBar->isAncestorOf(QApplication::focusWidget()), qPrintable(nameOf(QApplication::focusWidget())));
        QCOMPARE(w.findChild<QToolButton *>(QStringLiteral("sbtnCommON"))->focusPolicy(), Qt::NoFocus);

        for (int page : allPages) {
            f.show(page);
            const QSet<QWidget *> stops = tabStops(&w);
            QVERIFY(stops.size() > 8);
            QWidget *start = QApplication::focusWidget();
            QVERIFY(start);
            QList<QWidget *> walk;
            QWidget *now = start;
            do {
                QTest::keyClick(now, Qt::Key_Tab);
                now = QApplication::focusWidget();
                QVERIFY(now);
                walk << now;
            } while (now != start && walk.size() < 400);
            QVERIFY2(now == start, qPrintable(QStringLiteral("page %1: Tab never came back, stuck in %2").arg(page).arg(nameOf(now))));
            for (QWidget *stop : stops)
                QVERIFY2(walk.count(stop) == 1,
                         qPrintable(QStringLiteral("page %1: %2 reached %3 times").arg(page).arg(nameOf(stop)).arg(walk.count(stop))));
            QCOMPARE(walk.size(), stops.size());
            // Shift+Tab walks the same ring backwards.
            QTest::keyClick(start, Qt::Key_Backtab);
            QCOMPARE(QApplication::focusWidget(), walk.at(walk.size() - 2));
        }

        // Tab leaves the optical-density grid for the first button below it.
        f.show(Window::PageReader);
        auto *odPage = w.reader().odPage();
        odPage->grid->setFocus();
        QTest::keyClick(odPage->grid, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(odPage->btnReadOP));
        odPage->grid->setFocus();
        QTest::keyClick(odPage->grid, Qt::Key_Backtab);
        QVERIFY(QApplication::focusWidget() != odPage->grid);
        // Ctrl+Tab is the page area's: it moves to the next page, away from the grid.
        odPage->grid->setFocus();
        QTest::keyClick(odPage->grid, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(w.currentPage(), int(Window::PageResult));
    }

    void groupBarAndAboutLinesWorkByKeyboard()
    {
        FilledWindow f;
        Window &w = f.w;
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QToolButton *reader = nullptr;
        for (auto *b : w.findChild<QWidget *>(QStringLiteral("groupBar"))->findChildren<QToolButton *>())
            if (b->defaultAction() == w.ActionReader)
                reader = b;
        QVERIFY(reader);
        // The group bar shows the captions without the menus' Alt marks.
        QCOMPARE(reader->text(), QStringLiteral("Оптические плотности"));
        // Focus is drawn.
        w.ActionFileExecute();
        const QImage plain = reader->grab().toImage();
        reader->setFocus(Qt::TabFocusReason);
        QVERIFY(reader->hasFocus());
        QVERIFY(reader->grab().toImage() != plain);
        // Enter runs the item.
        QTest::keyClick(reader, Qt::Key_Return);
        QCOMPARE(w.currentPage(), int(Window::PageReader));

        // "О программе" shows the About page, from the menu as from the group bar.
        w.ActionAbout->trigger();
        QCOMPARE(w.currentPage(), int(Window::PageAbout));

        // An About line takes Tab and runs on Enter.
        auto *about = w.findChild<AboutPage *>();
        QVERIFY(about->lbLoadBDTS->isEnabled());
        about->lbLoadBDTS->setFocus(Qt::TabFocusReason);
        QTest::keyClick(about->lbLoadBDTS, Qt::Key_Enter);
        QCOMPARE(w.currentPage(), int(Window::PageBDTS));
    }

    void aboutLinesGreyedWhileDisabled()
    {
        TestBed bed(false);
        Window &w = bed.window();
        auto *about = w.findChild<AboutPage *>();
        bed.tick(50); // no instrument: every line disabled
        for (FeatureLine *line : {about->lbLoadPOInSor, about->lbLoadBDTS, about->lbReader, about->lbProtokol}) {
            QVERIFY(!line->isEnabled());
            QCOMPARE(line->palette().color(QPalette::WindowText), FeatureLine::disabledColour());
            line->lbLoadPOInSorMouseMove(); // no hover colour either
            QCOMPARE(line->palette().color(QPalette::WindowText), FeatureLine::disabledColour());
            QTest::keyClick(line, Qt::Key_Return);
        }
        QCOMPARE(w.currentPage(), int(Window::PageAbout));
        bed.instrument().powerOn();
        bed.tick();
        bed.tick();
        QVERIFY(about->lbReader->isEnabled());
        const QColor normal = about->lbReader->palette().color(QPalette::Light);
        QCOMPARE(about->lbReader->palette().color(QPalette::WindowText), normal);
        QVERIFY(normal != FeatureLine::disabledColour());
    }

    void menusHaveRussianAltLetters()
    {
        TestBed bed(false);
        Window &w = bed.window();
        auto letterOf = [](const QString &text) {
            const int at = text.indexOf(QLatin1Char('&'));
            return at >= 0 && at + 1 < text.size() ? text.at(at + 1).toLower() : QChar();
        };
        auto checkUnique = [&](const QList<QAction *> &actions) {
            QSet<QChar> letters;
            for (QAction *a : actions) {
                if (a->isSeparator())
                    continue;
                const QChar letter = letterOf(a->text());
                QVERIFY2(letter.script() == QChar::Script_Cyrillic, qPrintable(a->text()));
                QVERIFY2(!letters.contains(letter), qPrintable(a->text()));
                letters.insert(letter);
            }
        };
        checkUnique(w.menuBar()->actions());
        for (QAction *menu : w.menuBar()->actions())
            checkUnique(menu->menu()->actions());
        QCOMPARE(w.menuBar()->actions().first()->text(), QStringLiteral("&Пользователю"));
    }

    void sheetWindowClosesByEscapeAndByItsButton()
    {
        TestBed bed(false);
        Window &w = bed.window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.reader().showSampleData(true);
        SheetWindow *sheet = w.reader().sheetWindow();
        QVERIFY(sheet && sheet->isVisible());
        QCOMPARE(sheet->btnClose->text().remove(QLatin1Char('&')), QStringLiteral("Закрыть"));
        sheet->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(sheet));
        QTest::keyClick(sheet->table, Qt::Key_Escape);
        QVERIFY(!sheet->isVisible());
        w.reader().od().btnCreateExcelClick();
        QVERIFY(sheet->isVisible());
        sheet->btnClose->click();
        QVERIFY(!sheet->isVisible());
    }

    void progressShowsNoTextWhileIdle()
    {
        TestBed bed(false);
        Window &w = bed.window();
        auto *bar = w.findChild<QProgressBar *>(QStringLiteral("progressBar"));
        QVERIFY(!bar->isTextVisible());
        QVERIFY(bar->isHidden()); // its room is the texts' while nothing runs
        w.status().setProgress(40);
        QVERIFY(bar->isTextVisible());
        QVERIFY(!bar->isHidden());
        QCOMPARE(bar->text(), QStringLiteral("40%"));
        w.status().setProgress(0);
        QVERIFY(!bar->isTextVisible());
        QVERIFY(bar->isHidden());
    }

    void everyCaptionShowsWholeOnEveryPage()
    {
        {
            // The group bar's quarter of the width holds at every text size.
            TestBed bed(false);
            Window &w = bed.window();
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QCOMPARE(w.findChild<QWidget *>(QStringLiteral("groupBar"))->width(), w.width() / 4);
        }
        FilledWindow f;
        Window &w = f.w;
        const int dpi = w.logicalDpiY();
        qInfo("text at %d dpi, window %dx%d", dpi, w.width(), w.height());
        // 784 x 444 is the start and the least; the window is not fixed.
        QVERIFY(w.minimumWidth() >= Window::MinimumWidth && w.minimumHeight() >= Window::MinimumHeight);
        QVERIFY(w.maximumWidth() > 2000 && w.maximumHeight() > 2000);
        if (dpi <= 96 && !qEnvironmentVariableIsSet("KVIRO_TEST_TEXT_SCALE"))
            QCOMPARE(w.minimumSize(), QSize(Window::MinimumWidth, Window::MinimumHeight));
        QCOMPARE(w.size(), w.minimumSize());

        for (const QSize &size : {w.minimumSize(), QSize(1280, 900)}) {
            w.resize(size);
            for (int page : allPages) {
                f.show(page);
                // Both pages of the firmware wizard.
                const int inner = page == Window::PageSoftSor ? 2 : 1;
                for (int i = 0; i < inner; ++i) {
                    if (page == Window::PageSoftSor)
                        w.firmware().frame()->wizardTabs->setCurrentIndex(i);
                    f.settle();
                    for (QWidget *c : captioned(&w)) {
                        QString why;
                        QVERIFY2(textfit::showsWhole(*c, &why),
                                 qPrintable(QStringLiteral("%1 dpi, page %2 at %3x%4: %5").arg(dpi).arg(page).arg(w.width()).arg(w.height()).arg(why)));
                    }
                }
            }
        }
        // At the least size the database lists still show more than a line or two.
        w.resize(w.minimumSize());
        f.show(Window::PageBDTS);
        for (QTreeView *list : w.bdts().frame()->findChildren<QTreeView *>())
            QVERIFY2(list->viewport()->height() >= 3 * list->fontMetrics().height(), qPrintable(list->objectName()));
        // The clock keeps its day and seconds, the status bar its text.
        auto *clock = w.findChild<QLabel *>(QStringLiteral("clockLabel"));
        QVERIFY(clock->width() >= clock->fontMetrics().horizontalAdvance(clock->text()));
        // The six characters of a value cell fit the grid at the least window size.
        w.resize(w.minimumSize());
        f.show(Window::PageReader);
        OdPage *od = w.reader().odPage();
        w.reader().showSampleData();
        const QFontMetrics cells(od->grid->font());
        const QString value = od->grid->model()->index(1, 1).data().toString();
        QVERIFY(!value.trimmed().isEmpty());
        QVERIFY(od->grid->columnWidth(1) >= cells.horizontalAdvance(value));
        QVERIFY(od->grid->rowHeight(1) >= cells.height());
    }

    void pagesGrowWithTheWindow()
    {
        FilledWindow f;
        Window &w = f.w;
        w.resize(w.minimumSize());
        f.show(Window::PageReader);
        OdPage *od = w.reader().odPage();
        const QSize gridBefore = od->gridPanel->size();
        f.show(Window::PageResult);
        auto *memo = w.findChild<QPlainTextEdit *>(QStringLiteral("protocolView"));
        const QSize memoBefore = memo->size();
        f.show(Window::PageBDTS);
        TFrameBDTS *bdts = w.bdts().frame();
        const QSize sorBefore = bdts->TreeViewSor->size();
        const QSize fileBefore = bdts->TreeViewFile->size();

        w.resize(w.width() + 300, w.height() + 200);
        f.settle();
        QVERIFY(bdts->TreeViewSor->width() > sorBefore.width() + 100);
        QVERIFY(bdts->TreeViewSor->height() > sorBefore.height() + 150);
        QVERIFY(bdts->TreeViewFile->height() > fileBefore.height() + 50);
        // Wide enough for the captions: the instrument's group is again 55 % of the page.
        QCOMPARE(bdts->instrumentListGroup->width(), bdts->width() * 55 / 100);
        f.show(Window::PageResult);
        QVERIFY(memo->width() > memoBefore.width() + 200 && memo->height() > memoBefore.height() + 150);
        f.show(Window::PageReader);
        QVERIFY(od->gridPanel->width() > gridBefore.width() + 200 && od->gridPanel->height() > gridBefore.height() + 150);
        QCOMPARE(od->gridPanel->height(), od->height() - 100);

        // And back: the window may shrink to its least size again.
        w.resize(w.minimumSize());
        f.settle();
        QCOMPARE(w.size(), w.minimumSize());
        if (w.logicalDpiY() <= 96 && !qEnvironmentVariableIsSet("KVIRO_TEST_TEXT_SCALE"))
            QCOMPARE(w.size(), QSize(Window::MinimumWidth, Window::MinimumHeight));
    }

    void fileErrorsSpeakRussianFirst()
    {
        QTemporaryDir dir;
        QString why;
        QByteArray bytes;
        QVERIFY(!files::readWhole(QDir(dir.path()).filePath(QStringLiteral("нет.txt")), &bytes, &why));
        QVERIFY2(why.startsWith(QStringLiteral("Файл или папка не найдены. (")), qPrintable(why));
        QVERIFY(why.endsWith(QLatin1Char(')')));
        QVERIFY(!files::writeWhole(QDir(dir.path()).filePath(QStringLiteral("нет/файл.txt")), "x", &why));
        QVERIFY2(why.at(0).script() == QChar::Script_Cyrillic, qPrintable(why));
        // A kind the program has no words for the cause of: the kind's words, then the system's.
        QCOMPARE(files::fileErrorText(QFileDevice::WriteError, QStringLiteral("Weird failure")),
                 QStringLiteral("Ошибка записи файла. (Weird failure)"));
        QCOMPARE(files::fileErrorText(QFileDevice::ReadError, QString()), QStringLiteral("Ошибка чтения файла."));
        QCOMPARE(files::fileErrorText(QFileDevice::OpenError, QStringLiteral("Permission denied")),
                 QStringLiteral("Нет прав доступа к файлу или папке. (Permission denied)"));
    }

    // Last: it changes the application's language for the rest of the run.
    void qtSpeaksRussianWhenItsCatalogueIsThere()
    {
        QTemporaryDir empty;
        QVERIFY(!installQtRussian(*QCoreApplication::instance(), empty.path()));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Look in:"));
        const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (!QFile::exists(QDir(folder).filePath(QStringLiteral("qtbase_ru.qm"))))
            QSKIP("Qt's Russian catalogue is not installed (Debian: qt6-translations-l10n)");
        QVERIFY(installQtRussian(*QCoreApplication::instance()));
        QVERIFY(QCoreApplication::translate("QFileDialog", "Look in:") != QStringLiteral("Look in:"));
    }
};

QTEST_MAIN(TstKeysAndText)
#include "tst_keysandtext.moc"
