// The pieces of a network port that need no network: the Telnet codec (data both ways, option
// negotiation, line settings, what the server reports), the address syntax, the settings text
// and the list of network instruments. Expected bytes are written out literally.
#include "link/networkaddress.h"
#include "link/networkports.h"
#include "link/telnetcodec.h"

#include <QTest>

using Chunks = QList<QByteArray>;
Q_DECLARE_METATYPE(LineSettings)

namespace {
QByteArray b(const char *s, int n) { return QByteArray(s, n); }
} // namespace

class TstTelnetCodec : public QObject {
    Q_OBJECT
private slots:
    void decodeAndNegotiate_data()
    {
        QTest::addColumn<bool>("started");    // the client has sent its opening requests
        QTest::addColumn<bool>("withLine");   // 115200,n,8,1 chosen before the server answers
        QTest::addColumn<Chunks>("chunks");   // what arrives, piece by piece
        QTest::addColumn<QByteArray>("data"); // the serial line's bytes
        QTest::addColumn<QByteArray>("owed"); // what the client must answer
        QTest::addColumn<int>("serverBaud");  // -1: none reported

        const QByteArray settings = b("\xff\xfa\x2c\x01\x00\x01\xc2\x00\xff\xf0" "\xff\xfa\x2c\x02\x08\xff\xf0"
                                      "\xff\xfa\x2c\x03\x01\xff\xf0" "\xff\xfa\x2c\x04\x01\xff\xf0", 31);
        QTest::newRow("plain bytes, NUL and CR kept") << true << false << Chunks{b("lL\x00\r\n", 5)} << b("lL\x00\r\n", 5) << QByteArray() << -1;
        QTest::newRow("doubled 0xFF is one data byte") << true << false << Chunks{b("\xff\xff", 2)} << b("\xff", 1) << QByteArray() << -1;
        QTest::newRow("doubling split across reads") << true << false << Chunks{b("A\xff", 2), b("\xff" "B", 2)} << b("A\xff" "B", 3) << QByteArray() << -1;
        QTest::newRow("line state notice dropped") << true << false << Chunks{b("\xff\xfa\x2c\x6a\x60\xff\xf0" "D", 8)} << QByteArray("D") << QByteArray() << -1;
        QTest::newRow("modem state notice split in three") << true << false << Chunks{b("\xff\xfa\x2c", 3), b("\x6b\x30\xff", 3), b("\xf0X", 2)}
                                                           << QByteArray("X") << QByteArray() << -1;
        QTest::newRow("no-op and go-ahead dropped") << true << false << Chunks{b("a\xff\xf1" "b\xff\xf9" "c", 7)} << QByteArray("abc") << QByteArray() << -1;
        QTest::newRow("echo offered: refused") << true << false << Chunks{b("\xff\xfb\x01", 3)} << QByteArray() << b("\xff\xfe\x01", 3) << -1;
        QTest::newRow("terminal type asked: refused") << true << false << Chunks{b("\xff\xfd\x18", 3)} << QByteArray() << b("\xff\xfc\x18", 3) << -1;
        QTest::newRow("com port agreed: settings go out, no second WILL")
            << true << true << Chunks{b("\xff\xfd\x2c", 3)} << QByteArray() << settings << -1;
        QTest::newRow("binary agreed twice: no answer")
            << true << false << Chunks{b("\xff\xfb\x00\xff\xfd\x00\xff\xfd\x00\xff\xfb\x00", 12)} << QByteArray() << QByteArray() << -1;
        QTest::newRow("unasked go-ahead suppression accepted once")
            << false << false << Chunks{b("\xff\xfb\x03\xff\xfb\x03", 6)} << QByteArray() << b("\xff\xfd\x03", 3) << -1;
        QTest::newRow("com port refused: settings never sent, no answer")
            << true << true << Chunks{b("\xff\xfe\x2c" "ok", 5)} << QByteArray("ok") << QByteArray() << -1;
        QTest::newRow("option turned off after agreement: agreed once")
            << true << false << Chunks{b("\xff\xfd\x03\xff\xfe\x03\xff\xfe\x03", 9)} << QByteArray() << b("\xff\xfc\x03", 3) << -1;
        QTest::newRow("speed acknowledged with a doubled 0xFF")
            << true << false << Chunks{b("\xff\xfa\x2c\x65\x00\x00\x00\xff\xff\xff\xf0", 11)} << QByteArray() << QByteArray() << 255;
        QTest::newRow("speed acknowledged in two reads")
            << true << false << Chunks{b("\xff\xfa\x2c\x65\x00\x01", 6), b("\xc2\x00\xff\xf0" "L", 5)} << QByteArray("L") << QByteArray() << 115200;
        QTest::newRow("unclosed subnegotiation, then a command")
            << true << false << Chunks{b("\xff\xfa\x2c\x6a\x01\xff\xfb\x01Z", 9)} << QByteArray("Z") << b("\xff\xfe\x01", 3) << -1;
        QTest::newRow("overlong subnegotiation dropped whole")
            << true << false << Chunks{b("\xff\xfa\x2c\x65", 4) + QByteArray(200, '\x01') + b("\xff\xf0Q", 3)} << QByteArray("Q") << QByteArray() << -1;
    }
    void decodeAndNegotiate()
    {
        QFETCH(bool, started);
        QFETCH(bool, withLine);
        QFETCH(Chunks, chunks);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, owed);
        QFETCH(int, serverBaud);
        TelnetCodec codec;
        if (started)
            QCOMPARE(codec.start(), b("\xff\xfb\x2c\xff\xfb\x00\xff\xfb\x03\xff\xfd\x00\xff\xfd\x03", 15));
        if (withLine) {
            codec.setLineSettings(LineSettings{115200, 8, 'n', 1});
            QCOMPARE(codec.takePendingOutput(), QByteArray()); // not before the server agrees
        }
        QByteArray got;
        for (const QByteArray &chunk : chunks)
            got += codec.decode(chunk);
        QCOMPARE(got, data);
        QCOMPARE(codec.takePendingOutput(), owed);
        QCOMPARE(codec.serverBaud().value_or(-1), serverBaud);
        // A setting chosen again is not sent again; a new one is, once agreed.
        if (withLine && codec.comPortAccepted()) {
            codec.setLineSettings(LineSettings{115200, 8, 'n', 1});
            QCOMPARE(codec.takePendingOutput(), QByteArray());
        }
    }

    void encode_data()
    {
        QTest::addColumn<LineSettings>("line");
        QTest::addColumn<QByteArray>("commands");
        QTest::newRow("115200 8N1") << LineSettings{115200, 8, 'n', 1}
                                    << b("\xff\xfa\x2c\x01\x00\x01\xc2\x00\xff\xf0\xff\xfa\x2c\x02\x08\xff\xf0"
                                         "\xff\xfa\x2c\x03\x01\xff\xf0\xff\xfa\x2c\x04\x01\xff\xf0", 31);
        QTest::newRow("9600 7E2") << LineSettings{9600, 7, 'e', 2}
                                  << b("\xff\xfa\x2c\x01\x00\x00\x25\x80\xff\xf0\xff\xfa\x2c\x02\x07\xff\xf0"
                                       "\xff\xfa\x2c\x03\x03\xff\xf0\xff\xfa\x2c\x04\x02\xff\xf0", 31);
        QTest::newRow("a speed with 0xFF in it, odd, 1.5 stop") << LineSettings{0xFFFF, 5, 'o', 15}
                                  << b("\xff\xfa\x2c\x01\x00\x00\xff\xff\xff\xff\xff\xf0\xff\xfa\x2c\x02\x05\xff\xf0"
                                       "\xff\xfa\x2c\x03\x02\xff\xf0\xff\xfa\x2c\x04\x03\xff\xf0", 33);
    }
    void encode()
    {
        QFETCH(LineSettings, line);
        QFETCH(QByteArray, commands);
        QCOMPARE(TelnetCodec::settingsCommands(line), commands);
        QCOMPARE(TelnetCodec::escape(b("a\xff\xff" "b", 4)), b("a\xff\xff\xff\xff" "b", 6));
        QCOMPARE(TelnetCodec::escape("lR"), QByteArray("lR"));
    }

    void settingsText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<LineSettings>("line");
        QTest::newRow("program's own") << "115200,n,8,1" << LineSettings{115200, 8, 'n', 1};
        QTest::newRow("even, seven, two") << "9600,E,7,2" << LineSettings{9600, 7, 'e', 2};
        QTest::newRow("one and a half") << "4800,o,8,1.5" << LineSettings{4800, 8, 'o', 15};
        QTest::newRow("nonsense parts keep 8N1") << "19200,x,9,3" << LineSettings{19200, 8, 'n', 1};
        QTest::newRow("no text at all") << "" << LineSettings{9600, 8, 'n', 1};
    }
    void settingsText()
    {
        QFETCH(QString, text);
        QFETCH(LineSettings, line);
        QCOMPARE(LineSettings::fromText(text), line);
    }

    void address_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical"); // empty: refused
        QTest::newRow("raw") << "tcp://127.0.0.1:2000" << "tcp://127.0.0.1:2000";
        QTest::newRow("telnet, scheme in capitals") << "RFC2217://lab-pc.local:7001" << "rfc2217://lab-pc.local:7001";
        QTest::newRow("IPv6") << "tcp://[::1]:2000" << "tcp://[::1]:2000";
        QTest::newRow("highest port") << "tcp://h:65535" << "tcp://h:65535";
        QTest::newRow("no port") << "tcp://host" << "";
        QTest::newRow("port 0") << "tcp://host:0" << "";
        QTest::newRow("port too high") << "tcp://host:70000" << "";
        QTest::newRow("other scheme") << "udp://host:1" << "";
        QTest::newRow("user part") << "tcp://user@host:1" << "";
        QTest::newRow("path") << "tcp://host:1/x" << "";
        QTest::newRow("bad IPv6") << "tcp://[zz]:1" << "";
        QTest::newRow("space in host") << "tcp://a b:1" << "";
        QTest::newRow("no scheme") << "host:1" << "";
    }
    void address()
    {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QString why;
        const auto a = NetworkAddress::parse(text, &why);
        QCOMPARE(a ? a->text() : QString(), canonical);
        QCOMPARE(why.isEmpty(), !canonical.isEmpty());
        QCOMPARE(NetworkAddress::looksLikeOne(text), text.contains(QLatin1String("://")));
    }

    void portList()
    {
        const QByteArray text = "# instruments\n\n"
                                "Лаборатория 2 = rfc2217://192.168.1.40:2001\r\n"
                                "no address here\n"
                                "Bad = tcp://host\n"
                                "Again = rfc2217://192.168.1.40:2001\n"
                                "  A=B = tcp://10.0.0.1:4000  \n"
                                " = tcp://10.0.0.2:1\n";
        QStringList problems;
        const QList<NetworkPort> ports = NetworkPortList::parse(text, &problems);
        QCOMPARE(ports.size(), 2);
        QCOMPARE(ports.at(0).name, QStringLiteral("Лаборатория 2"));
        QCOMPARE(ports.at(0).address.text(), QStringLiteral("rfc2217://192.168.1.40:2001"));
        QCOMPARE(ports.at(1).name, QStringLiteral("A=B"));
        QCOMPARE(ports.at(1).address.text(), QStringLiteral("tcp://10.0.0.1:4000"));
        QCOMPARE(problems.size(), 4);
        QVERIFY(problems.at(0).startsWith(QStringLiteral("строка 4:")));
        QVERIFY(problems.at(2).contains(QStringLiteral("уже")));
    }
};

QTEST_GUILESS_MAIN(TstTelnetCodec)
#include "tst_telnetcodec.moc"
