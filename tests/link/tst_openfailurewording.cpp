// Why a port does not open, in the words of each system: the Linux advice names the "dialout"
// group; Windows has none, and a port it refuses is held by another program or closed by policy.
#include "link/serialdevice.h"

#include <QTest>

class TestOpenFailureWording : public QObject {
    Q_OBJECT
private slots:
    void wording_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("windows");
        QTest::addColumn<QString>("mustSay");
        QTest::addColumn<QString>("mustNotSay");
        const int permission = int(OpenErrorKind::Permission), busy = int(OpenErrorKind::Busy),
                  notFound = int(OpenErrorKind::NotFound), other = int(OpenErrorKind::Other);
        QTest::newRow("linux permission") << permission << false << QStringLiteral("dialout") << QStringLiteral("Windows");
        QTest::newRow("linux busy") << busy << false << QStringLiteral("занят другой программой") << QStringLiteral("dialout");
        QTest::newRow("windows permission") << permission << true << QStringLiteral("Windows отказала в доступе") << QStringLiteral("dialout");
        QTest::newRow("windows busy") << busy << true << QStringLiteral("Закройте программу") << QStringLiteral("usermod");
        QTest::newRow("windows not found") << notFound << true << QStringLiteral("диспетчере устройств") << QStringLiteral("dialout");
        QTest::newRow("windows other") << other << true << QStringLiteral("не открывается: Invalid function.") << QStringLiteral("dialout");
    }
    void wording()
    {
        QFETCH(int, kind);
        QFETCH(bool, windows);
        QFETCH(QString, mustSay);
        QFETCH(QString, mustNotSay);
        const OpenFailure failure{OpenErrorKind(kind), QStringLiteral("COM12"), QStringLiteral("Invalid function.")};
        const QString text = describeOpenFailure(failure, windows ? PortWording::Windows : PortWording::Posix);
        QVERIFY2(text.contains(QStringLiteral("COM12")), qPrintable(text));
        QVERIFY2(text.contains(mustSay), qPrintable(text));
        QVERIFY2(!text.contains(mustNotSay), qPrintable(text));
    }
};

QTEST_APPLESS_MAIN(TestOpenFailureWording)
#include "tst_openfailurewording.moc"
