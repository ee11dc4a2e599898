#pragma once
// The list of COM ports, as the system's table of serial devices gives it: value texts such as
// "COM3" in ascending order of their COM numbers on every system (so the port search tries the
// ports in the same order everywhere), or nothing when the table is absent.
//
// Windows: the registry key HARDWARE\DEVICEMAP\SERIALCOMM, read-only, sorted (the registry's own
// order is the order the drivers wrote their values in).
// Linux: the serial devices that exist, numbered by a fixed rule:
//   ttyS0..ttyS3 -> COM1..COM4, ttyUSB0..ttyUSB5 -> COM5..COM10, ttyACM0..ttyACM5 -> COM11..COM16.
//   Serial devices past that numbering (ttyUSB6, ...) follow the COM values under their own
//   names, so that the port lists name them as unused.
// When KVIRO_SERIALCOMM names a folder, its entries COM<n> (links to tty devices, usually
// pseudo-terminals) stand in for the system's devices, in the order of n. A missing folder reads
// as an absent table, an empty one as a table without values.
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// Port names: the one reading of "COM<n>" for the link, the catalogs and kviro-cli.
namespace comport {
// The program lists COM1..COM16.
inline constexpr int MaxListed = 16;
enum class Match {
    Whole, // the whole text is the name (a folder entry, a port given on the command line)
    AtEnd, // the text ends in the name (a registry value)
};
// n of "COM<n>" (any case, n of 1 to 9 decimal digits), or -1 when the text is no such name.
int number(const QString &text, Match match = Match::Whole);
// Whether the program lists COM<n>.
inline bool listed(int n) { return n >= 1 && n <= MaxListed; }
// The values in ascending order of their COM numbers; values that name no COM port keep their
// order after them.
QStringList ascending(QStringList values);

// A value of the table that the program does not use, and why: the port lists say so rather than
// leave a port above COM16 to vanish without a word.
struct Unused {
    QString value; // as the table gives it ("COM17", "CNCA0")
    QString reason;
};
QList<Unused> unused(const QStringList &values);
// One sentence naming the unused values with their reasons, or an empty text for none.
QString unusedNote(const QList<Unused> &ports);
} // namespace comport

class PortCatalog {
public:
    virtual ~PortCatalog() = default;
    virtual std::optional<QStringList> valueTexts() const = 0;
    // The device to open for COM<n>; empty when none is known.
    virtual QString devicePath(int n) const = 0;
    // What the port drop-down shows for COM<n>.
    virtual QString itemText(int n) const { return QString::number(n); }
};

// The folder of links (KVIRO_SERIALCOMM, tests, the virtual instrument).
class FolderPortCatalog final : public PortCatalog {
public:
    explicit FolderPortCatalog(QString folder) : m_folder(std::move(folder)) {}
    std::optional<QStringList> valueTexts() const override;
    QString devicePath(int n) const override;
    const QString &folder() const { return m_folder; }

private:
    QString m_folder;
};

// The system's devices (Linux rule above, the registry on Windows).
class SystemPortCatalog final : public PortCatalog {
public:
    std::optional<QStringList> valueTexts() const override;
    QString devicePath(int n) const override;
    // The COM number of a Linux device name ("ttyUSB0" -> 5), 0 for none.
    static int comNumberForDevice(const QString &name);
};

// KVIRO_SERIALCOMM when set, the system otherwise.
std::unique_ptr<PortCatalog> makePortCatalogFromEnvironment();
