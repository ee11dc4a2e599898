#include "link/portcatalog.h"

#ifdef Q_OS_WIN
#include "link/registryvalues.h"
#endif

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>
#include <limits>
#include <map>

namespace {
// The Linux serial devices the port list knows: ttyS<k>, ttyUSB<k>, ttyACM<k> (kind, then k).
const QRegularExpression &linuxSerialDevice()
{
    static const QRegularExpression re(QStringLiteral("^tty(S|USB|ACM)([0-9]+)$"));
    return re;
}
} // namespace

int comport::number(const QString &text, Match match)
{
    static const QRegularExpression whole(QStringLiteral("^COM([0-9]{1,9})$"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression atEnd(QStringLiteral("COM([0-9]{1,9})$"), QRegularExpression::CaseInsensitiveOption);
    const auto m = (match == Match::Whole ? whole : atEnd).match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QStringList comport::ascending(QStringList values)
{
    const auto key = [](const QString &value) {
        const int n = number(value, Match::AtEnd);
        return n >= 0 ? qint64(n) : std::numeric_limits<qint64>::max();
    };
    std::stable_sort(values.begin(), values.end(), [&](const QString &a, const QString &b) { return key(a) < key(b); });
    return values;
}

QList<comport::Unused> comport::unused(const QStringList &values)
{
    QList<Unused> out;
    for (const QString &value : values) {
        const int n = number(value, Match::AtEnd);
        if (listed(n))
            continue;
        QString reason;
        if (n >= 0)
            reason = QStringLiteral("программа работает только с портами COM1–COM%1").arg(MaxListed);
        else if (linuxSerialDevice().match(value).hasMatch()) // past the numbering (the catalog passes it on)
            reason = QStringLiteral("COM-номер есть только у ttyS0–ttyS3, ttyUSB0–ttyUSB5, ttyACM0–ttyACM5");
        else
            reason = QStringLiteral("не имя COM-порта");
        out << Unused{value, reason};
    }
    return out;
}

QString comport::unusedNote(const QList<Unused> &ports)
{
    if (ports.isEmpty())
        return {};
    // Values with the same reason go together, the reasons in the order they first appear.
    QStringList reasons;
    for (const Unused &p : ports)
        if (!reasons.contains(p.reason))
            reasons << p.reason;
    QStringList parts;
    for (const QString &reason : reasons) {
        QStringList values;
        for (const Unused &p : ports)
            if (p.reason == reason)
                values << (p.value.isEmpty() ? QStringLiteral("\"\"") : p.value);
        parts << QStringLiteral("%1 (%2)").arg(values.join(QStringLiteral(", ")), reason);
    }
    return QStringLiteral("Не используются: %1.").arg(parts.join(QStringLiteral(", ")));
}

std::optional<QStringList> FolderPortCatalog::valueTexts() const
{
    QDir dir(m_folder);
    if (m_folder.isEmpty() || !dir.exists())
        return std::nullopt;
    std::map<int, QString> byNumber;
    const auto entries = dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &e : entries) {
        const int n = comport::number(e);
        if (n > 0)
            byNumber.emplace(n, e);
    }
    QStringList out;
    for (const auto &[n, name] : byNumber)
        out << name;
    return out;
}

QString FolderPortCatalog::devicePath(int n) const
{
    const QString path = QDir(m_folder).filePath(QStringLiteral("COM%1").arg(n));
    const QFileInfo info(path);
    return info.exists() || info.isSymLink() ? path : QString();
}

int SystemPortCatalog::comNumberForDevice(const QString &name)
{
    const auto m = linuxSerialDevice().match(name);
    if (!m.hasMatch())
        return 0;
    const int k = m.captured(2).toInt();
    const QString kind = m.captured(1);
    if (kind == QLatin1String("S"))
        return k <= 3 ? k + 1 : 0;
    if (kind == QLatin1String("USB"))
        return k <= 5 ? k + 5 : 0;
    return k <= 5 ? k + 11 : 0;
}

#ifdef Q_OS_WIN
std::optional<QStringList> SystemPortCatalog::valueTexts() const
{
    // The value names under this key (\Device\Serial0, \Device\VCP0, ...) contain backslashes,
    // which QSettings cannot read; the registry reader goes through the Win32 API instead.
    const auto texts = registry::valueTexts(registry::Root::LocalMachine, L"HARDWARE\\DEVICEMAP\\SERIALCOMM");
    if (!texts)
        return std::nullopt; // no key: no serial hardware has ever been installed
    QStringList out;
    for (const std::wstring &text : *texts)
        out << QString::fromStdWString(text);
    return comport::ascending(out); // empty when the key has no values: every port has gone
}

QString SystemPortCatalog::devicePath(int n) const { return QStringLiteral("COM%1").arg(n); }
#else
std::optional<QStringList> SystemPortCatalog::valueTexts() const
{
    std::map<int, QString> byNumber;
    QStringList beyond; // serial devices past the numbering: named as unused, not left out silently
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &p : ports) {
        const int n = comNumberForDevice(p.portName());
        if (n > 0)
            byNumber.emplace(n, QStringLiteral("COM%1").arg(n));
        else if (linuxSerialDevice().match(p.portName()).hasMatch())
            beyond << p.portName();
    }
    if (byNumber.empty() && beyond.isEmpty())
        return std::nullopt; // like a machine without the key: no serial hardware at all
    QStringList out;
    for (const auto &[n, text] : byNumber)
        out << text;
    beyond.sort();
    return out + beyond;
}

QString SystemPortCatalog::devicePath(int n) const
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &p : ports)
        if (comNumberForDevice(p.portName()) == n)
            return p.systemLocation();
    return {};
}
#endif

std::unique_ptr<PortCatalog> makePortCatalogFromEnvironment()
{
    const QString folder = qEnvironmentVariable("KVIRO_SERIALCOMM");
    if (!folder.isEmpty())
        return std::make_unique<FolderPortCatalog>(folder);
    return std::make_unique<SystemPortCatalog>();
}
