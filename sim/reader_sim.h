#pragma once
// The virtual instrument's reader feature: it measures a plate (notice 'G', table 'D' on "G"),
// prepares a results protocol (notice 'g', length 'N' on "g", body 'd' on "d") and asks the PC
// to save the table under a name of its own ('2').
#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class VirtualInstrument;

class ReaderSim {
public:
    explicit ReaderSim(VirtualInstrument &instrument);
    ~ReaderSim();

    // ---- optical densities
    // How the instrument writes its table: the two characters after each field and the row end.
    //   Tabs: " 0.123" + " \t", CR;  Blanks: " 0.123" + "  ", LF;
    //   Semicolons: " 0,123" (decimal comma) + "; ", CR.
    enum class TableStyle { Tabs, Blanks, Semicolons };
    void setTableStyle(TableStyle style) { m_style = style; }
    // Measures a new plate (values drawn from the seed) and sends the notice 'G'.
    void measurePlate(unsigned seed);
    void measurePlate() { measurePlate(++m_plate); }
    // The table reply served on "G": 'D', 8 rows of 12 fields " 0.123" each followed by the
    // separators " \t", a CR at each row end; 777 characters.
    const QByteArray &tableReply() const { return m_table; }
    void setTableReply(const QByteArray &reply) { m_table = reply; }
    static QByteArray plateTable(unsigned seed, TableStyle style = TableStyle::Tabs);

    // ---- save request
    // '2' followed by the name's characters, 19 in all (padded with '_' or cut).
    void sendSaveRequest(const QByteArray &nameAfterTag);
    void sendSaveRequest() { sendSaveRequest(defaultSaveName().mid(1)); }
    // The instrument's own choice: the date and time of the measurement, "20110403_153000.txt".
    static QByteArray defaultSaveName();
    // Names no file may be written under: climbing out of the folder, absolute paths, control
    // bytes, characters file systems reject. Each is 19 characters long, tag included.
    static QList<QByteArray> hostileSaveNames();

    // ---- results protocol
    // Sends the notice 'g'.
    void announceResults();
    // Rebuilds the protocol with this designation and date ("12", "03.04.11") in its header.
    void setProtocol(const QString &designation, const QString &date);
    // Any body (Windows-1251 bytes, without tag and final character).
    void setProtocolBody(const QByteArray &body) { m_body = body; }
    const QByteArray &protocolBody() const { return m_body; }
    // The reply served on "d": 'd', the body, a final character.
    QByteArray bodyReply() const;
    // The reply served on "g": 'N' and the body reply's length in 5 digits, or the override.
    QByteArray announcement() const;
    void setAnnouncementOverride(std::optional<QByteArray> fiveCharacters) { m_announceOverride = std::move(fiveCharacters); }
    // Serves only the first characters of the body reply on "d", while the announcement keeps
    // the whole length (-1: the whole reply).
    void setBodyCut(int characters) { m_bodyCut = characters; }
    static QByteArray protocolText(const QString &designation, const QString &date);

    // How often each request was served.
    int tableRequests = 0;
    int lengthRequests = 0;
    int bodyRequests = 0;

private:
    void addVerbs();

    VirtualInstrument &m_vi;
    unsigned m_plate = 0;
    TableStyle m_style = TableStyle::Tabs;
    QByteArray m_table;
    QByteArray m_body;
    std::optional<QByteArray> m_announceOverride;
    int m_bodyCut = -1;
};
