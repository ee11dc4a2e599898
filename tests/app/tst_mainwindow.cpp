// The main window's structure, texts, navigation and enabling rules.
#include "app/aboutpage.h"
#include "app/mainwindow.h"
#include "core/files.h"
#include "support/testbed.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

class TstMainWindow : public QObject {
    Q_OBJECT
private slots:
    void windowLayoutAndTexts()
    {
        TestBed bed(false);
        auto &w = bed.window();
        QCOMPARE(TFormMainKviroS_D7::ApplicationTitle, QStringLiteral("КВИРО-сервис 2011_01_01 (3070)"));
        QCOMPARE(w.windowTitle(), QStringLiteral("КВИРО-сервис"));
        // Starts at 784 x 444 and may grow (the least size follows larger text).
        QVERIFY(w.minimumWidth() >= 784 && w.minimumHeight() >= 444);
        QVERIFY(w.maximumWidth() > 784 && w.maximumHeight() > 444);

        // Menus: three, with seven actions (the six and "Журнал") and one separator.
        const auto menus = w.menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QStringList captions;
        for (QAction *m : menus) {
            QStringList items;
            for (QAction *a : m->menu()->actions())
                items << (a->isSeparator() ? QStringLiteral("-") : a->text().remove(QLatin1Char('&')));
            captions << m->text().remove(QLatin1Char('&')) + QLatin1Char(':') + items.join(QLatin1Char(','));
        }
        QCOMPARE(captions, (QStringList{QStringLiteral("Пользователю:О программе,Журнал,-,Выход"),
                                        QStringLiteral("Программирование:Сорвинт,БД тест-систем"),
                                        QStringLiteral("Ридер:Оптические плотности,Результаты")}));

        // Group bar: the same actions in three open groups, no separator.
        auto *groupBar = w.findChild<QWidget *>(QStringLiteral("groupBar"));
        QCOMPARE(groupBar->findChildren<QGroupBox *>().size(), 3);
        QStringList linked;
        for (auto *b : groupBar->findChildren<QToolButton *>())
            linked << b->defaultAction()->objectName();
        QCOMPARE(linked.size(), 6);

        // Pages in order; only the About tab visible at start.
        QTabWidget *pages = w.pages();
        QCOMPARE(pages->tabPosition(), QTabWidget::South);
        const QStringList tabs{QStringLiteral("О программе"), QStringLiteral("ПО прибора"), QStringLiteral("БД ТС"),
                               QStringLiteral("Ридер ОП"), QStringLiteral("Результаты")};
        for (int i = 0; i < tabs.size(); ++i) {
            QCOMPARE(pages->tabText(i), tabs.at(i));
            QCOMPARE(w.tabVisible(i), i == 0);
        }

        // Port strip and status bar at start.
        QCOMPARE(w.findChild<QGroupBox *>(QStringLiteral("portGroup"))->title(), QStringLiteral("Порт связи:"));
        auto *port = w.findChild<QComboBox *>(QStringLiteral("cbxNumPort"));
        QCOMPARE(port->count(), 0);
        QCOMPARE(port->placeholderText(), QStringLiteral("нет"));
        QCOMPARE(port->toolTip(), QStringLiteral("Выбор Com-порта."));
        auto *baud = w.findChild<QComboBox *>(QStringLiteral("cbBaudRate"));
        QCOMPARE(baud->currentIndex(), -1);
        QCOMPARE(baud->placeholderText(), QStringLiteral("нет"));
        QCOMPARE(baud->count(), 6);
        QCOMPARE(baud->itemText(5), QStringLiteral("115200"));
        QCOMPARE(w.findChild<QToolButton *>(QStringLiteral("sbtnCommON"))->toolTip(), QStringLiteral("Индикатор связи."));
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lbCommParam"))->toolTip(),
                 QStringLiteral("Параметры порта: скорость,биты,паритет,стоп-бит"));
        QCOMPARE(w.findChild<QProgressBar *>(QStringLiteral("progressBar"))->width(), 164);
        QVERIFY(w.findChild<QLabel *>(QStringLiteral("clockLabel"))->width() >= 164);
        QVERIFY(w.findChild<QLabel *>(QStringLiteral("clockLabel"))->text().contains(QStringLiteral("г.")));
        QVERIFY(w.status().text().isEmpty());
    }

    void showingLaysOutTheAboutPage()
    {
        TestBed bed(false);
        auto &w = bed.window();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto *groupBar = w.findChild<QWidget *>(QStringLiteral("groupBar"));
        QCOMPARE(groupBar->width(), w.width() / 4);

        auto *about = w.findChild<AboutPage *>();
        QVERIFY(about);
        about->arrange();
        const int half = (about->instrumentBand->width() - 60) / 2;
        QCOMPARE(about->purposePanel->x(), 20);
        QCOMPARE(about->purposePanel->width(), half);
        QCOMPARE(about->featurePanel->x(), half + 40);
        QCOMPARE(about->featurePanel->y(), about->titleBand->height() + 10);
        QCOMPARE(about->requirementsPanel->y(), about->purposePanel->y() + about->purposePanel->height() + 20);
        QCOMPARE(about->purposePanel->height(), (about->featurePanel->height() - 20) / 2);
        QCOMPARE(about->lbLoadPOInSor->height(), about->featurePanel->height() / 5);
        QCOMPARE(about->lbProtokol->y() + about->lbProtokol->height(), about->featurePanel->height());
        QVERIFY(about->instrumentTypeLabel->text().startsWith(QStringLiteral("( Для приборов типа: СОРВИНТ, ")));
        QCOMPARE(about->versionLabel->text(), QStringLiteral("(версия: 05_06_2014)"));

        // Hover colours of a feature line.
        const QColor normal = about->lbReader->palette().color(QPalette::WindowText);
        about->lbReader->lbLoadPOInSorMouseMove();
        QCOMPARE(about->lbReader->palette().color(QPalette::WindowText), about->lbReader->palette().color(QPalette::ToolTipBase));
        about->lbReader->lbLoadPOInSorMouseLeave();
        QCOMPARE(about->lbReader->palette().color(QPalette::WindowText), normal);
    }

    void actionsShowPagesAndThePageChangeRunsOnlyOnRealChanges()
    {
        TestBed bed(false);
        auto &w = bed.window();
        QCOMPARE(w.pageChangeCount(), 0);
        w.ActionReader->trigger();
        QCOMPARE(w.currentPage(), int(TFormMainKviroS_D7::PageReader));
        QVERIFY(w.tabVisible(TFormMainKviroS_D7::PageReader));
        QCOMPARE(w.pageChangeCount(), 1);
        w.ActionReader->trigger(); // already current: no page-change step
        QCOMPARE(w.pageChangeCount(), 1);

        w.ActionFile->trigger();
        QCOMPARE(w.currentPage(), int(TFormMainKviroS_D7::PageResult));
        QCOMPARE(w.pageChangeCount(), 2);
        w.pages()->setCurrentIndex(TFormMainKviroS_D7::PageAbout); // a tab click
        QCOMPARE(w.pageChangeCount(), 3);
        QVERIFY(w.tabVisible(TFormMainKviroS_D7::PageReader)); // tabs once shown stay
        QVERIFY(w.tabVisible(TFormMainKviroS_D7::PageResult));

        QVERIFY(!w.FrameBDTS);
        w.ActionBDTS->trigger();
        QVERIFY(w.FrameBDTS);
        QWidget *frame = w.FrameBDTS;
        w.ActionReader->trigger();
        w.ActionBDTS->trigger();
        QCOMPARE(w.FrameBDTS, frame); // created once

        // The firmware page forces 115200 baud whatever the line ran at.
        w.link().setBaudIndex(1);
        w.ActionSoftSorvint->trigger();
        QVERIFY(w.FrameSoftSor);
        QCOMPARE(w.link().baudIndex(), 5);
        QCOMPARE(w.link().line().Settings(), QStringLiteral("115200,n,8,1"));
        QCOMPARE(w.findChild<QComboBox *>(QStringLiteral("cbBaudRate"))->currentText(), QStringLiteral("115200"));
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("lbCommParam"))->text(), QStringLiteral("Параметры: 115200,n,8,1"));
    }

    void withoutLinkOnlyExitStaysEnabled()
    {
        TestBed bed(false);
        auto &w = bed.window();
        bed.tick(50);
        QVERIFY(!w.ActionSoftSorvint->isEnabled());
        QVERIFY(!w.ActionBDTS->isEnabled());
        QVERIFY(!w.ActionReader->isEnabled());
        QVERIFY(!w.ActionFile->isEnabled());
        QVERIFY(w.ActionExit->isEnabled());
        auto *about = w.findChild<AboutPage *>();
        QVERIFY(!about->lbLoadPOInSor->isEnabled());
        QVERIFY(!about->lbProtokol->isEnabled());
        QCOMPARE(w.status().text(), QStringLiteral("Прибор выключен или не подключен к ПК."));
    }

    void everyControlIsFoundByItsCaption()
    {
        TestBed bed(false);
        auto &w = bed.window();
        for (QWidget *child : w.findChildren<QWidget *>()) {
            auto *label = qobject_cast<QLabel *>(child);
            if (label && !label->text().isEmpty() && child->metaObject()->className() != QByteArray("QLabel"))
                QVERIFY2(child->accessibleName() == label->text(), qPrintable(child->objectName()));
        }
    }

    void programFolderAndLiterals()
    {
        QTemporaryDir dir;
        files::setProgramDirOverride(dir.path());
        QVERIFY(files::programDir().endsWith(QLatin1Char('/')));
        files::setProgramDirOverride(QString());
        QCOMPARE(files::inFolder(QStringLiteral("/p/"), QStringLiteral("\\TempBDTS.xls")), QStringLiteral("/p/TempBDTS.xls"));
        QCOMPARE(files::inFolder(QStringLiteral("/p/"), QStringLiteral("FilesInSorvint")), QStringLiteral("/p/FilesInSorvint"));
        QCOMPARE(files::shortName(QStringLiteral("C:\\Images\\A.tsk")), QStringLiteral("A.tsk"));
        QCOMPARE(files::folderPart(QStringLiteral("C:\\Images\\A.tsk")), QStringLiteral("C:\\Images\\"));
        QCOMPARE(files::folderPart(QStringLiteral("\\A.tsk")), QString());
        QCOMPARE(files::folderPart(QStringLiteral("A.tsk")), QString());
    }
};

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
