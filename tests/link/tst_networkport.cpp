// The window with instruments on the network: listed after the COM ports from the working
// folder's list, added by the dialog of the port strip, an unreachable one saying why, and a
// dropped connection ending an exchange exactly as a lost USB adapter does, the link check
// finding the instrument again once it is back. The peer is Debian's ser2net in front of the
// virtual instrument's pseudo-terminal.
#include "app/mainwindow.h"
#include "app/networkportdialog.h"
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsgen.h"
#include "bdts/bdtsimage.h"
#include "bdts/bdtsfeature.h"
#include "bdts/bdtstransfer.h"
#include "core/files.h"
#include "core/journal.h"
#include "link/networkports.h"
#include "reader/odcontroller.h"
#include "reader/readerfeature.h"
#include "sim/bdts_sim.h"
#include "sim/reader_sim.h"
#include "sim/virtualinstrument.h"
#include "support/ser2netrig.h"
#include "support/testbed.h"

#include <QDate>
#include <QDir>
#include <QLineEdit>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {
constexpr int Patience = 10000;

quint16 unusedPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// The window, ser2net in front of an instrument whose port only ser2net sees (so the link check
// cannot fall back on it), and the network instrument chosen.
struct NetBench {
    TestBed bed{false}; // the window's own port folder: COM3 only when comToo
    QTemporaryDir hidden;
    VirtualInstrument vi{hidden.path(), 3};
    Ser2netRig server;
    TFormMainKviroS_D7 *w = nullptr;
    InstrumentLink *link = nullptr;

    QString device() const { return QDir(hidden.path()).filePath(QStringLiteral("COM3")); }
    bool up(Ser2netRig::Accepter accepter, const QByteArray &moreLines = {}, bool comToo = false)
    {
        if (!vi.powerOn() || (comToo && !bed.instrument().powerOn()) || !server.start(device(), accepter))
            return false;
        files::writeWhole(NetworkPortList::fileIn(bed.programDir()), "Сеть = " + server.address().toUtf8() + "\n" + moreLines);
        w = &bed.window();
        link = &w->link();
        bed.tick();
        const int index = int(link->portNumbers().indexOf(QString::number(FirstNetworkPort)));
        if (index < 0)
            return false;
        link->cbxNumPortChange(index);
        bed.tick();
        return link->linkOn() && link->line().openDevice() == server.address();
    }
};
} // namespace

class TstNetworkPort : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        QString why;
        if (!Ser2netRig::available(&why))
            QSKIP(qPrintable(why));
    }

    void listedAfterComPortsAndUnreachableSaysWhy()
    {
        NetBench b;
        const QString refused = QStringLiteral("tcp://127.0.0.1:%1").arg(unusedPort());
        QVERIFY2(b.up(Ser2netRig::Accepter::Rfc2217, "Нет сервера = " + refused.toUtf8() + "\n", true), qPrintable(b.server.error()));
        QCOMPARE(b.link->portStrip().items.stringList(), (QStringList{QStringLiteral("3"), QStringLiteral("Сеть"), QStringLiteral("Нет сервера")}));
        QCOMPARE(b.link->portStrip().itemHints.value(1), b.server.address());
        QCOMPARE(b.link->portStrip().itemHints.value(2), refused);

        // Chosen, the unreachable one says why, as a COM port that cannot be opened does.
        b.link->cbxNumPortChange(2);
        QVERIFY(!b.link->linkOn());
        QVERIFY2(b.link->portStrip().problem.contains(QStringLiteral("соединение отвергнуто")), qPrintable(b.link->portStrip().problem));
        b.bed.tick();
        QVERIFY(b.link->portStrip().itemHints.value(2).contains(QStringLiteral("соединение отвергнуто")));

        // The dialog of the port strip adds one; a wrong address is refused and nothing written.
        const QString list = NetworkPortList::fileIn(b.bed.programDir());
        QByteArray before;
        QVERIFY(files::readWhole(list, &before));
        NetworkPortDialog dialog(b.bed.programDir());
        dialog.findChild<QLineEdit *>(QStringLiteral("edNetworkName"))->setText(QStringLiteral("Второй"));
        auto *address = dialog.findChild<QLineEdit *>(QStringLiteral("edNetworkAddress"));
        for (const char *wrong : {"tcp://host", "ftp://h:21", "rfc2217://192.168.1.40:2001/x"}) {
            address->setText(QLatin1String(wrong));
            dialog.accept();
            QVERIFY(dialog.result() != QDialog::Accepted);
            QVERIFY(!dialog.problem().isEmpty());
        }
        address->setText(b.server.address()); // already listed
        dialog.accept();
        QVERIFY(dialog.problem().contains(QStringLiteral("уже")));
        QByteArray after;
        QVERIFY(files::readWhole(list, &after));
        QCOMPARE(after, before);
        address->setText(QStringLiteral("rfc2217://192.0.2.7:2001"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(files::readWhole(list, &after));
        QCOMPARE(after, before + "Второй = rfc2217://192.0.2.7:2001\n");
        b.bed.tick();
        QCOMPARE(b.link->portStrip().items.stringList().value(3), QStringLiteral("Второй"));
        QVERIFY(b.w->findChild<QToolButton *>(QStringLiteral("btnAddNetworkPort")));
    }

    void jobsInTheWindow_data()
    {
        QTest::addColumn<int>("accepter");
        QTest::newRow("raw TCP") << int(Ser2netRig::Accepter::RawTcp);
        QTest::newRow("telnet rfc2217") << int(Ser2netRig::Accepter::Rfc2217);
    }
    void jobsInTheWindow()
    {
        QFETCH(int, accepter);
        NetBench b;
        QVERIFY2(b.up(Ser2netRig::Accepter(accepter)), qPrintable(b.server.error()));
        b.link->stopPortSearch();
        TestBed::pump(30);
        b.w->reader().od().btnReadOPClick();
        QTRY_VERIFY_WITH_TIMEOUT(!b.link->exchangeRunning(), Patience);
        QCOMPARE(b.w->reader().od().OpText, ' ' + b.vi.reader().tableReply().mid(1));
        QCOMPARE(b.w->reader().od().readingMeta().port, b.server.address() + QStringLiteral(", 115200,n,8,1")); // not COM101
        bdts::GenOptions o; // no pages the read leaves out; it puts them in list order
        o.testSystems = 6;
        const QByteArray image = bdts::generateImage(o);
        b.vi.bdts().setImage(image);
        b.w->ActionBDTSExecute();
        b.w->bdts().btnReadBDTSFromSorClick();
        QTRY_VERIFY_WITH_TIMEOUT(!b.w->bdts().transfer().busy(), Patience);
        const auto &read = b.w->bdts().database().BdtsSorStream;
        QVERIFY(read.has_value());
        QCOMPARE(read->size(), image.size());
        auto pages = [](const QByteArray &stream) {
            QList<QByteArray> out;
            for (qsizetype at = bdts::imageHeader(0).size(); at < stream.size(); at += 512)
                out << stream.mid(at, 512);
            std::sort(out.begin(), out.end());
            return out;
        };
        QCOMPARE(pages(*read), pages(image));
        QVERIFY(b.bed.dialogs.errors.isEmpty());
    }

    // ---- the connection drops, or the instrument behind the server falls silent

    void droppedConnectionIsALostPort_data()
    {
        QTest::addColumn<int>("accepter");
        QTest::addColumn<bool>("table");   // the table fetch, else the database read
        QTest::addColumn<QString>("cause"); // vanish: the instrument; server: ser2net stops; silent
        using A = Ser2netRig::Accepter;
        QTest::newRow("raw, table, instrument vanishes") << int(A::RawTcp) << true << "vanish";
        QTest::newRow("telnet, database, instrument vanishes") << int(A::Rfc2217) << false << "vanish";
        QTest::newRow("raw, database, server stops") << int(A::RawTcp) << false << "server";
        QTest::newRow("telnet, table, server stops") << int(A::Rfc2217) << true << "server";
        QTest::newRow("telnet, table, silence") << int(A::Rfc2217) << true << "silent";
        QTest::newRow("raw, database, silence") << int(A::RawTcp) << false << "silent";
    }
    void droppedConnectionIsALostPort()
    {
        QFETCH(int, accepter);
        QFETCH(bool, table);
        QFETCH(QString, cause);
        NetBench b;
        QVERIFY2(b.up(Ser2netRig::Accepter(accepter)), qPrintable(b.server.error()));
        InstrumentLink &link = *b.link;
        VirtualInstrument &vi = b.vi;
        const bool silent = cause == QLatin1String("silent");
        link.setIdleTimeout(silent ? 600 : 60000);
        b.w->bdts().transfer().setReplyTimeout(silent ? 600 : 60000);
        link.stopPortSearch();
        TestBed::pump(30);
        link.FlushInput();

        if (cause == QLatin1String("vanish"))
            vi.vanishDuringReply(table ? 'G' : 'r', table ? 300 : 200);
        else
            QVERIFY(vi.control(table ? QStringLiteral("table-short 300") : QStringLiteral("db-stall 2")).startsWith(QStringLiteral("ok")));
        if (table) {
            b.w->reader().od().btnReadOPClick();
        } else {
            b.w->ActionBDTSExecute();
            b.w->bdts().btnReadBDTSFromSorClick();
        }
        QVERIFY(link.exchangeRunning());
        if (cause == QLatin1String("server")) {
            TestBed::pump(200);
            b.server.stop();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!link.exchangeRunning(), Patience);
        QCOMPARE(b.w->status().progress(), 0);
        QVERIFY(link.rxBuffer().isEmpty());
        const QString name = table ? QStringLiteral("приём таблицы оптических плотностей") : QStringLiteral("чтение БД ТС");
        if (silent)
            QCOMPARE(b.w->status().text(), table ? QStringLiteral("Прибор не отвечает. Прервано: %1.").arg(name)
                                                 : QStringLiteral("Прибор не отвечает: чтение БД ТС прервано."));
        else
            QCOMPARE(b.w->status().text(), table ? QStringLiteral("Порт связи потерян. Прервано: %1.").arg(name) : QStringLiteral("Порт отключен."));
        QTRY_COMPARE_WITH_TIMEOUT(b.bed.dialogs.errors.size(), 1, Patience);
        QVERIFY(link.portSearchRunning());
        QVERIFY(b.w->journal().waitWritten());
        QByteArray journal;
        QVERIFY(files::readWhole(QDir(b.bed.programDir()).filePath(QStringLiteral("logs/%1.log").arg(QDate::currentDate().toString(Qt::ISODate))), &journal));
        QVERIFY(journal.contains(QStringLiteral("Порт %1 открыт.").arg(b.server.address()).toUtf8()));
        QCOMPARE(journal.contains(QStringLiteral("Связь через порт %1 потеряна").arg(b.server.address()).toUtf8()), !silent);
        // The exchange's end names the port by its address, never by the program's own number.
        QVERIFY2(journal.contains(QStringLiteral(" Порт %1. Время").arg(b.server.address()).toUtf8()), journal.constData());
        QVERIFY2(!journal.contains("COM" + QByteArray::number(FirstNetworkPort)), journal.constData());
        if (silent) {
            QTRY_COMPARE_WITH_TIMEOUT(b.w->status().text(), QStringLiteral("Связь с прибором есть."), Patience);
            return;
        }

        // The link check keeps trying the network port and finds the instrument once it is back.
        auto *indicator = b.w->findChild<QToolButton *>(QStringLiteral("sbtnCommON"));
        QTRY_VERIFY_WITH_TIMEOUT(!indicator->isEnabled(), Patience);
        TestBed::pump(1200);
        if (cause == QLatin1String("vanish")) {
            // ser2net takes the connection and closes it at once, saying why: a port that
            // cannot be used, as a COM port whose device has gone.
            QTRY_VERIFY_WITH_TIMEOUT(link.portStrip().problem.contains(QStringLiteral("Device open failure")), Patience);
            QVERIFY(vi.powerOn());
        } else {
            QVERIFY(!link.portOpen());
            QVERIFY2(link.portStrip().problem.contains(QStringLiteral("соединение отвергнуто")), qPrintable(link.portStrip().problem));
            QVERIFY2(b.server.start(b.device(), Ser2netRig::Accepter(accepter)), qPrintable(b.server.error()));
        }
        QTRY_VERIFY_WITH_TIMEOUT(indicator->isEnabled() && link.linkOn(), Patience);
        QCOMPARE(link.line().openDevice(), b.server.address());
        // While it was away the journal said so once, not at every try.
        QVERIFY(b.w->journal().waitWritten());
        QVERIFY(files::readWhole(QDir(b.bed.programDir()).filePath(QStringLiteral("logs/%1.log").arg(QDate::currentDate().toString(Qt::ISODate))), &journal));
        QCOMPARE(journal.count(QStringLiteral("Связь через порт %1 потеряна").arg(b.server.address()).toUtf8()), 1);
        QTRY_COMPARE_WITH_TIMEOUT(b.w->status().text(), QStringLiteral("Связь с прибором есть."), Patience);
    }
};

QTEST_MAIN(TstNetworkPort)
#include "tst_networkport.moc"
