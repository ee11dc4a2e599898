// The main window on screens of several sizes, text sizes and scalings: every page at the least
// window size shows each button and drop-down whole and on screen, the database file list shows
// a useful number of rows, and the least size keeps within the screen's available area.
// Each screen is a fresh process: the offscreen platform reads its screen from a configuration file
// at start, and the scale factor is read once.
#include "app/mainwindow.h"
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsfeature.h"
#include "bdts/bdtsgen.h"
#include "bdts/tframebdts.h"
#include "bdts/tstreeview.h"
#include "core/files.h"
#include "firmware/firmwarefeature.h"
#include "firmware/framesoftsor.h"
#include "reader/readerfeature.h"
#include "support/testbed.h"
#include "widgets/textfit.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {
using Window = TFormMainKviroS_D7;
// The file list asks for five rows; a date line wrapped beside it at the least width may take one.
constexpr int FileListRows = 4;

void settle() { QTest::qWait(40); }

// The ancestor the widget sticks out of (cut off, or off screen), or none. Inside a scrolled area
// only the area's contents count: what lies outside its viewport is reached by scrolling.
const QWidget *cutBy(const QWidget *w)
{
    for (const QWidget *p = w->parentWidget(); p; p = p->parentWidget()) {
        const auto *area = qobject_cast<const QAbstractScrollArea *>(p->parentWidget());
        if (area && area->viewport() == p)
            return nullptr;
        if (!p->rect().contains(QRect(w->mapTo(p, QPoint(0, 0)), w->size())))
            return p;
        if (p->isWindow())
            return nullptr;
    }
    return nullptr;
}

// The checks run in the child process; each failure is one line on stderr.
int probe()
{
    QStringList failures;
    auto fail = [&failures](const QString &what) { failures << what; };
    TestBed bed;
    Window &w = bed.window();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return 2;
    bed.tick();
    bed.tick();
    bed.fillEveryPage();
    settle();
    w.resize(w.minimumSize());
    settle();

    const QSize room = w.screen()->availableGeometry().size();
    qInfo("screen %dx%d, text at %d dpi, scale %.2f: least window %dx%d", room.width(), room.height(), w.logicalDpiY(),
          w.devicePixelRatioF(), w.minimumWidth(), w.minimumHeight());
    if (w.minimumWidth() > room.width() || w.minimumHeight() > room.height() || w.width() > room.width() ||
        w.height() > room.height())
        fail(QStringLiteral("window %1x%2 (least %3x%4) larger than the screen")
                 .arg(w.width()).arg(w.height()).arg(w.minimumWidth()).arg(w.minimumHeight()));

    auto checkControls = [&](const QString &where) {
        for (QWidget *c : w.findChildren<QWidget *>()) {
            auto *combo = qobject_cast<QComboBox *>(c);
            auto *button = qobject_cast<QAbstractButton *>(c);
            if (!c->isVisible() || (!combo && !button))
                continue;
            // On screen, tall enough for the style's frame around the text at this text size, and a
            // drop-down as wide as it asks; a button shows its caption whole.
            QString why;
            const QSize hint = c->sizeHint();
            if (const QWidget *p = cutBy(c))
                fail(where + c->objectName() + QStringLiteral(" sticks out of ") + p->objectName());
            if (c->height() < hint.height() || (combo && c->width() < hint.width()))
                fail(where + QStringLiteral("%1 is %2x%3, needs %4x%5")
                                 .arg(c->objectName()).arg(c->width()).arg(c->height()).arg(hint.width()).arg(hint.height()));
            if (button && !textfit::showsWhole(*c, &why))
                fail(where + why);
        }
    };
    for (int page : {Window::PageAbout, Window::PageSoftSor, Window::PageBDTS, Window::PageReader, Window::PageResult}) {
        bed.showPage(page);
        settle();
        const int inner = page == Window::PageSoftSor ? 2 : 1;
        for (int i = 0; i < inner; ++i) {
            if (page == Window::PageSoftSor) {
                w.firmware().frame()->wizardTabs->setCurrentIndex(i);
                settle();
            }
            checkControls(QStringLiteral("page %1.%2: ").arg(page).arg(i));
        }
        if (page == Window::PageBDTS) {
            TsTreeView *list = w.bdts().frame()->TreeViewFile;
            const int row = list->sizeHintForRow(0);
            if (row <= 0 || list->viewport()->height() < FileListRows * row)
                fail(QStringLiteral("file list shows %1 px for rows of %2 px").arg(list->viewport()->height()).arg(row));
        }
    }
    // The journal window, too, opens within the screen.
    w.ActionJournalExecute();
    settle();
    if (auto *journal = w.findChild<QWidget *>(QStringLiteral("JournalWindow"));
        !journal || journal->width() > room.width() || journal->height() > room.height())
        fail(QStringLiteral("journal window larger than the screen"));
    for (const QString &f : failures)
        qWarning("%s", qPrintable(f));
    return failures.isEmpty() ? 0 : 1;
}
} // namespace

class TstScreens : public QObject {
    Q_OBJECT
private slots:
    void everyControlWholeAndOnScreen_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QString>("scale");
        // Text at 96, 120 and 144 dpi (only the text grows), and the whole window scaled.
        QTest::newRow("96 dpi, 1280x1024") << 1280 << 1024 << 96 << QString();
        QTest::newRow("96 dpi, 800x600") << 800 << 600 << 96 << QString();
        QTest::newRow("120 dpi, 1280x1024") << 1280 << 1024 << 120 << QString();
        QTest::newRow("144 dpi, 1280x1024") << 1280 << 1024 << 144 << QString();
        QTest::newRow("144 dpi, 1024x768") << 1024 << 768 << 144 << QString();
        QTest::newRow("1.5x, 1280x1024") << 1280 << 1024 << 96 << QStringLiteral("1.5");
        QTest::newRow("2x, 1280x1024") << 1280 << 1024 << 96 << QStringLiteral("2");
        QTest::newRow("2x, 1920x1080") << 1920 << 1080 << 96 << QStringLiteral("2");
    }
    void everyControlWholeAndOnScreen()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, dpi);
        QFETCH(QString, scale);
        QTemporaryDir dir;
        const QString config = dir.filePath(QStringLiteral("screen.json"));
        QFile f(config);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral(R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": %1, "height": %2, "logicalDpi": %3}]})")
                    .arg(width).arg(height).arg(dpi).toUtf8());
        f.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
        env.remove(QStringLiteral("QT_FONT_DPI"));
        if (scale.isEmpty()) {
            env.insert(QStringLiteral("QT_ENABLE_HIGHDPI_SCALING"), QStringLiteral("0"));
            env.remove(QStringLiteral("QT_SCALE_FACTOR"));
        } else {
            env.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
        }
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--probe")});
        QVERIFY(child.waitForFinished(120000));
        const QString out = QString::fromLocal8Bit(child.readAllStandardError() + child.readAllStandardOutput());
        qInfo("%s", qPrintable(out.trimmed()));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(out));
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--probe") == 0) {
        QApplication app(argc, argv);
        return probe();
    }
    QApplication app(argc, argv);
    TstScreens test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screens.moc"
