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
    QByteArray readAll() override { return {}; }
    qint64 bytesAvailable() const override { return 0; }
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
        QVERIFY(link.strip.problem.contains(QStringLiteral("dialout")));
        // The Part's status texts are untouched by the hint.
        QVERIFY(!status.text().contains(QStringLiteral("dialout")));
        QCOMPARE(link.PortNumbers, QStringList{QStringLiteral("5")});
        QCOMPARE(link.CurrentPort, 0);

        // A port the operator picks and cannot open turns the indicator off.
        link.setLinkOn(true);
        link.cbxNumPortChange(0);
        QVERIFY(!link.linkOn());
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
        QVERIFY(link.strip.problem.contains(QStringLiteral("занят")));
        device->m_kind = OpenErrorKind::None;
        link.PortSearchTick();
        QVERIFY(link.portOpen());
        QVERIFY(link.strip.problem.isEmpty());
        QCOMPARE(device->written, QByteArray("l")); // probed once, after the open
    }
};

QTEST_GUILESS_MAIN(TstPortProblems)
#include "tst_portproblems.moc"
