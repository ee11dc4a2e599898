#include "link/networkports.h"

#include "core/files.h"

#include <QDir>

QString NetworkPortList::fileIn(const QString &folder) { return QDir(folder).filePath(QStringLiteral("network-ports.txt")); }

QList<NetworkPort> NetworkPortList::parse(const QByteArray &text, QStringList *problems)
{
    QList<NetworkPort> out;
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.lastIndexOf(QLatin1Char('='));
        QString why;
        const QString name = eq < 0 ? QString() : line.left(eq).trimmed();
        const auto address = eq < 0 ? std::nullopt : NetworkAddress::parse(line.mid(eq + 1).trimmed(), &why);
        if (eq < 0 || name.isEmpty() || !address) {
            if (problems)
                *problems << QStringLiteral("строка %1: %2").arg(i + 1).arg(eq < 0 || name.isEmpty() ? QStringLiteral("ожидается ИМЯ = АДРЕС") : why);
            continue;
        }
        const bool known = std::any_of(out.cbegin(), out.cend(), [&](const NetworkPort &p) { return p.address == *address; });
        if (known || out.size() >= MaxNetworkPorts) {
            if (problems)
                *problems << QStringLiteral("строка %1: %2").arg(i + 1).arg(known ? QStringLiteral("адрес уже в списке") : QStringLiteral("список полон"));
            continue;
        }
        out << NetworkPort{name, *address};
    }
    return out;
}

QList<NetworkPort> NetworkPortList::load(const QString &folder, QStringList *problems)
{
    QByteArray text;
    if (!QFile::exists(fileIn(folder)) || !files::readWhole(fileIn(folder), &text))
        return {};
    return parse(text, problems);
}

bool NetworkPortList::add(const QString &folder, const NetworkPort &port, QString *error)
{
    const QString path = fileIn(folder);
    QByteArray text;
    if (QFile::exists(path) && !files::readWhole(path, &text, error))
        return false;
    const QString name = port.name.simplified().remove(QLatin1Char('='));
    if (name.isEmpty()) {
        if (error)
            *error = QStringLiteral("Не задано имя прибора.");
        return false;
    }
    const QList<NetworkPort> known = parse(text);
    for (const NetworkPort &p : known) {
        if (p.address == port.address) {
            if (error)
                *error = QStringLiteral("%1 уже есть в списке (\"%2\").").arg(port.address.text(), p.name);
            return false;
        }
    }
    if (known.size() >= MaxNetworkPorts) {
        if (error)
            *error = QStringLiteral("В списке уже %1 сетевых приборов.").arg(MaxNetworkPorts);
        return false;
    }
    if (!text.isEmpty() && !text.endsWith('\n'))
        text += '\n';
    text += QStringLiteral("%1 = %2\n").arg(name, port.address.text()).toUtf8();
    return files::writeWhole(path, text, error);
}

std::optional<QStringList> NetworkPortCatalog::valueTexts() const
{
    std::optional<QStringList> values = m_serial->valueTexts();
    m_ports = NetworkPortList::load(m_folder);
    if (m_ports.isEmpty())
        return values;
    QStringList out = values.value_or(QStringList());
    for (int i = 0; i < m_ports.size(); ++i)
        out << QStringLiteral("COM%1").arg(FirstNetworkPort + i);
    return out;
}

QString NetworkPortCatalog::devicePath(int n) const
{
    if (!isNetworkPortNumber(n))
        return m_serial->devicePath(n);
    const int i = n - FirstNetworkPort;
    return i < m_ports.size() ? m_ports.at(i).address.text() : QString();
}

QString NetworkPortCatalog::itemText(int n) const
{
    const int i = n - FirstNetworkPort;
    return isNetworkPortNumber(n) && i < m_ports.size() ? m_ports.at(i).name : m_serial->itemText(n);
}
