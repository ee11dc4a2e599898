#pragma once
// The virtual instrument's test-system database: it holds an image (generated at power-up or
// loaded from a file), serves it page by page on "R" / "r", takes a new one on "M" and the pages
// that follow, and misbehaves on command (stalls, drops a byte, announces a wrong count).
#include <QByteArray>
#include <QString>

class VirtualInstrument;

class BdtsSim {
public:
    explicit BdtsSim(VirtualInstrument &instrument);
    ~BdtsSim();

    // The database as an image (13-byte header + pages).
    const QByteArray &image() const { return m_image; }
    void setImage(const QByteArray &image);
    // A *.bdts or legacy *.bdt file; false with the reason.
    bool loadFile(const QString &path, QString *error = nullptr);
    void generate(quint32 seed, int testSystems, int targetPages = 0);
    int pages() const;

    // Knobs.
    void stallAfter(int answers) { m_answersLeft = answers; } // -1 = never stall
    void dropByteInNextPage() { m_dropByte = true; }
    void announceWrongCount(int count) { m_wrongCount = count; } // -1 = the true count
    // The next "R" is answered with 'R', one byte and exactly this count text (of any width,
    // with or without a line end, or no number at all); empty = the usual "%3d".
    void announceCountText(const QByteArray &text) { m_countText = text; }
    // The next database written in keeps page `page` (from 0) with one byte changed, as a failing
    // flash cell would; -1 = store faithfully.
    void corruptNextWrite(int page) { m_corruptPage = page; }

    // What happened.
    int writesCompleted() const { return m_writesCompleted; }
    int pagesServed() const { return m_readPage; }
    bool writing() const { return m_writePages >= 0; }

private:
    bool answering(); // false while stalled
    qsizetype onRead(const QByteArray &pending);
    qsizetype onNextPage(const QByteArray &pending);
    qsizetype onWriteStart(const QByteArray &pending);
    qsizetype onWritePage(const QByteArray &pending);

    VirtualInstrument &m_vi;
    QByteArray m_image;
    int m_readPage = 0;
    int m_writePages = -1; // pages announced by "M"; -1 = no write open
    QByteArray m_incoming;
    int m_answersLeft = -1;
    bool m_dropByte = false;
    int m_wrongCount = -1;
    QByteArray m_countText;
    int m_corruptPage = -1;
    int m_writesCompleted = 0;
};
