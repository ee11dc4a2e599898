// What the operator is told when a listed port cannot be opened, with a scripted serial device
// standing in for ports that refuse (permission, busy).
#include "core/status.h"
#include "link/instrumentlink.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
// A device whose open fails with a chosen reason; writes are recorded.
class RefusingDevice final : public SerialDevice {
public:
    explicit RefusingDevice(OpenErrorKind kind) : m_kind(kind) {}
    bool open(const QString &path, OpenFailure *why) override
    {
        if (m_kind == OpenErrorKind::None) {
            m_open = true;
            return true;
        }
        *why = {m_kind, path, QStringLiteral("refused")};
        return false;
    }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    bool setBaudRate(qint32) override { return true; }
    bool write(const QByteArray &bytes) override
    {
        written += bytes;
        return m_open;
    }
    QByteArray readAll() override
    {
        QByteArray out;
        out.swap(incoming);
        return out;
    }
    qint64 bytesAvailable() const override { return incoming.size(); }
    // The instrument's answer, as the port would deliver it.
    void answer(const QByteArray &bytes)
    {
        incoming += bytes;
        emit readyRead();
    }
    // The port fails for good while open.
    void lose()
    {
        m_open = false;
        emit lost(QStringLiteral("device gone"));
    }
    QByteArray incoming;
    qint64 bytesToWrite() const override { return 0; }
    void discardInput() override {}
    QByteArray written;
    OpenErrorKind m_kind;
    bool m_open = false;
};
} // namespace

class TstPortProblems : public QObject {
    Q_OBJECT
private slots:
    void permissionProblemNamesTheDialoutGroup()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), QDir(dir.path()).filePath(QStringLiteral("COM5"))));
        StatusModel status;
        OpenErrorKind kind = OpenErrorKind::Permission;
        InstrumentLink link(status, std::make_unique<FolderPortCatalog>(dir.path()),
                            [&] { return std::make_unique<RefusingDevice>(kind); });
        link.PortSearchTick();
        QVERIFY(!link.portOpen());
        QVERIFY(link.portStrip().problem.contains(QStringLiteral("dialout")));
        // The status line keeps its own texts: the hint goes only to the tooltip.
        QVERIFY(!status.text().contains(QStringLiteral("dialout")));
        QCOMPARE(link.portNumbers(), QStringList{QStringLiteral("5")});
        QCOMPARE(link.currentPort(), 0);

    }

    void portThatStopsOpeningTurnsTheLinkOff()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), QDir(dir.path()).filePath(QStringLiteral("COM2"))));
        StatusModel status;
        RefusingDevice *device = nullptr;
        InstrumentLink link(status, std::make_unique<FolderPortCatalog>(dir.path()), [&] {
            auto d = std::make_unique<RefusingDevice>(OpenErrorKind::None);
            device = d.get();
            return d;
        });
        link.PortSearchTick();
        device->answer("l");
        QVERIFY(link.linkOn());
        QVERIFY(link.instrumentInLoader());

        // Another program takes the port while it is closed: at the tick the link is off and the
        // mode unknown; the reason goes to the port drop-down's tooltip, not the status line.
        device->lose();
        device->m_kind = OpenErrorKind::Busy;
        link.PortSearchTick();
        QVERIFY(!link.portOpen());
        QVERIFY(!link.linkOn());
        QVERIFY(!link.instrumentInLoader() && !link.instrumentWorking());
        QVERIFY(link.portStrip().problem.contains(QStringLiteral("занят")));
        QCOMPARE(link.portNumbers(), QStringList{QStringLiteral("2")});

        // The same when the operator picks a port that cannot be opened.
        device->m_kind = OpenErrorKind::None;
        link.PortSearchTick();
        device->answer("L");
        QVERIFY(link.linkOn() && link.instrumentWorking());
        device->m_kind = OpenErrorKind::Permission;
        link.cbxNumPortChange(0);
        QVERIFY(!link.linkOn());
        QVERIFY(!link.instrumentWorking());
    }

    void busyPortIsSaidAndClearedOnceItOpens()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), QDir(dir.path()).filePath(QStringLiteral("COM2"))));
        StatusModel status;
        RefusingDevice *device = nullptr;
        InstrumentLink link(status, std::make_unique<FolderPortCatalog>(dir.path()), [&] {
            auto d = std::make_unique<RefusingDevice>(OpenErrorKind::Busy);
            device = d.get();
            return d;
        });
        link.PortSearchTick();
        QVERIFY(link.portStrip().problem.contains(QStringLiteral("занят")));
        device->m_kind = OpenErrorKind::None;
        link.PortSearchTick();
        QVERIFY(link.portOpen());
        QVERIFY(link.portStrip().problem.isEmpty());
        QCOMPARE(device->written, QByteArray("l")); // probed once, after the open
    }
};

QTEST_GUILESS_MAIN(TstPortProblems)
#include "tst_portproblems.moc"
