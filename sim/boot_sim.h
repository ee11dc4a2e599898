#pragma once
// The virtual instrument's boot loader. Switched on "with the stylus" it answers the probe with
// "l" and waits for a firmware stream: 0x55 0xAA, a 4-byte length (image + 6, low byte first),
// the image, a 2-byte checksum (low 16 bits of the byte sum, low first). A good stream is
// "programmed" for a while (answering the probe "l" meanwhile if told to), then the instrument restarts in working mode (its port gone for a
// moment, then answering "L"); a bad checksum leaves it waiting in the boot loader.
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

class VirtualInstrument;

class BootSim : public QObject {
    Q_OBJECT
public:
    enum class Stage { Idle, Length, Image, Checksum, Programming, Restarting };

    explicit BootSim(VirtualInstrument &instrument);
    ~BootSim() override;

    // What the boot loader made of the last stream.
    struct Stream {
        bool markerSeen = false;
        quint32 lengthValue = 0;   // as received
        qint64 imageExpected = -1; // lengthValue - 6, -1 before the length or when it is below 6
        QByteArray image;          // the image bytes received so far
        quint32 sum = 0;           // byte sum of the image received so far
        int checksumSent = -1;     // the 16-bit checksum received, -1 before it
        bool complete = false;     // checksum received
        bool checksumOk = false;
        QString error;             // why the stream was refused
        // When the marker and the checksum arrived (ms, the boot loader's clock), and the line
        // time the virtual port lost meanwhile (ms): the stream's time on the line, for measurements.
        double markerMs = -1;
        double completeMs = -1;
        double portLostMs = 0;
        qint64 portLostAtMarker = 0;
        qint64 withMarker = 0;     // bytes that arrived together with the marker
    };
    const Stream &last() const { return m_stream; }
    Stage stage() const { return m_stage; }
    QString stageName() const;
    // Streams accepted and programmed since construction.
    int programmed() const { return m_programmed; }

    // Switch off, wait offMs, switch on with the stylus pressed: boot-loader mode.
    void switchOnWithStylus(int offMs = 0);
    // Boot-loader mode at once (no power cycle).
    void enterLoader();

    // Knobs: how long programming takes, how long the restart takes, and whether the port
    // vanishes during the restart (a real instrument's USB-serial adapter does; one on a fixed
    // serial port does not).
    void setProgrammingMs(int ms) { m_programmingMs = std::max(0, ms); }
    void setRestartGapMs(int ms) { m_restartGapMs = std::max(0, ms); }
    void setRestartDropsPort(bool drops) { m_restartDropsPort = drops; }
    // Some boot loaders go on answering the probe "l" while they erase and write the flash.
    void setAnswersWhileProgramming(bool answers) { m_answersWhileProgramming = answers; }
    bool answersWhileProgramming() const { return m_answersWhileProgramming; }
    int programmingMs() const { return m_programmingMs; }
    int restartGapMs() const { return m_restartGapMs; }
    bool restartDropsPort() const { return m_restartDropsPort; }

    // A one-paragraph report for the control interface.
    QString report() const;

signals:
    void streamFinished(bool checksumOk);
    void restarted();

private:
    qsizetype onLoaderBytes(const QByteArray &pending);
    void finishProgramming();
    void finishRestart();
    void resetStream();

    VirtualInstrument &m_vi;
    Stream m_stream;
    Stage m_stage = Stage::Idle;
    QByteArray m_header;
    QTimer m_timer;
    QTimer m_powerWatch; // a switch-off by any means drops a half-received stream
    QElapsedTimer m_clock;
    int m_programmingMs = 1500;
    int m_restartGapMs = 1200;
    bool m_restartDropsPort = true;
    bool m_answersWhileProgramming = false;
    int m_programmed = 0;
};
