#pragma once
// Instruments behind serial device servers, listed for the port drop-down after the COM ports.
//
// They come from network-ports.txt in the working folder, one instrument a line:
//   NAME = ADDRESS          e.g.  Лаборатория 2 = rfc2217://192.168.1.40:2001
// UTF-8; blank lines and lines starting with '#' are skipped; a line with an invalid address is
// skipped and named in problems(). The list keeps its order and takes each address once; it
// holds at most MaxNetworkPorts instruments. Each gets a port number from FirstNetworkPort on.
#include "link/networkaddress.h"
#include "link/portcatalog.h"

#include <QList>

#include <memory>

inline constexpr int FirstNetworkPort = 101;
inline constexpr int MaxNetworkPorts = 99;
inline bool isNetworkPortNumber(int n) { return n >= FirstNetworkPort && n < FirstNetworkPort + MaxNetworkPorts; }

struct NetworkPort {
    QString name;
    NetworkAddress address;
};

class NetworkPortList {
public:
    static QString fileIn(const QString &folder);
    // The list in text form (the file's content), and the reasons lines were skipped.
    static QList<NetworkPort> parse(const QByteArray &text, QStringList *problems = nullptr);
    // Adds an instrument to the file in folder (the file is written whole or not at all).
    static bool add(const QString &folder, const NetworkPort &port, QString *error);
    static QList<NetworkPort> load(const QString &folder, QStringList *problems = nullptr);
};

// The COM ports of another catalog, then the network instruments listed in the folder's file,
// read anew at every scan so that an added instrument shows at the next link check.
class NetworkPortCatalog final : public PortCatalog {
public:
    NetworkPortCatalog(std::unique_ptr<PortCatalog> serial, QString folder)
        : m_serial(std::move(serial)), m_folder(std::move(folder)) {}
    std::optional<QStringList> valueTexts() const override;
    QString devicePath(int n) const override;
    QString itemText(int n) const override;

private:
    std::unique_ptr<PortCatalog> m_serial;
    QString m_folder;
    mutable QList<NetworkPort> m_ports; // as last read
};
