#pragma once
// A port on the network, as the operator and the command line name it:
//   tcp://HOST:PORT      the bytes as they are, over a plain TCP connection
//   rfc2217://HOST:PORT  Telnet with the COM port control option, which carries the line settings
// HOST is a name, an IPv4 address or an IPv6 address in brackets.
#include <QString>

#include <optional>

struct NetworkAddress {
    enum class Protocol { RawTcp, Rfc2217 };
    Protocol protocol = Protocol::RawTcp;
    QString host;
    quint16 port = 0;

    // The address, or nothing with the reason in *why (without the text itself).
    static std::optional<NetworkAddress> parse(const QString &text, QString *why = nullptr);
    // Whether the text is meant as a network address (it names a scheme), valid or not.
    static bool looksLikeOne(const QString &text);
    QString text() const;
    bool operator==(const NetworkAddress &) const = default;
};
