#include "link/networkaddress.h"

#include <QHostAddress>
#include <QRegularExpression>

bool NetworkAddress::looksLikeOne(const QString &text) { return text.contains(QLatin1String("://")); }

std::optional<NetworkAddress> NetworkAddress::parse(const QString &text, QString *why)
{
    auto refuse = [&](const QString &reason) -> std::optional<NetworkAddress> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    const qsizetype sep = text.indexOf(QLatin1String("://"));
    if (sep < 0)
        return refuse(QStringLiteral("ожидается tcp://УЗЕЛ:ПОРТ или rfc2217://УЗЕЛ:ПОРТ"));
    NetworkAddress a;
    const QString scheme = text.left(sep).toLower();
    if (scheme == QLatin1String("tcp"))
        a.protocol = Protocol::RawTcp;
    else if (scheme == QLatin1String("rfc2217"))
        a.protocol = Protocol::Rfc2217;
    else
        return refuse(QStringLiteral("неизвестный вид адреса \"%1\" (tcp или rfc2217)").arg(scheme));

    // Host and port, nothing else: no user, path or query.
    static const QRegularExpression hostPort(
        QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([A-Za-z0-9](?:[A-Za-z0-9.-]{0,251}[A-Za-z0-9])?)):([0-9]{1,5})$"));
    const auto m = hostPort.match(text.mid(sep + 3));
    if (!m.hasMatch())
        return refuse(QStringLiteral("ожидается УЗЕЛ:ПОРТ"));
    if (!m.captured(1).isEmpty()) {
        QHostAddress v6;
        if (!v6.setAddress(m.captured(1)) || v6.protocol() != QAbstractSocket::IPv6Protocol)
            return refuse(QStringLiteral("неверный адрес IPv6"));
        a.host = m.captured(1);
    } else {
        a.host = m.captured(2);
    }
    const int port = m.captured(3).toInt();
    if (port < 1 || port > 65535)
        return refuse(QStringLiteral("номер порта TCP должен быть от 1 до 65535"));
    a.port = quint16(port);
    return a;
}

QString NetworkAddress::text() const
{
    const QString scheme = protocol == Protocol::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp");
    const QString h = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("%1://%2:%3").arg(scheme, h).arg(port);
}
