#pragma once
// The database page on its own: the feature with a link on an empty port folder, scripted
// dialogs and a temporary program folder. The instrument's database is put in place the way a
// completed read leaves it.
#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsfeature.h"
#include "bdts/bdtsgen.h"
#include "bdts/tframebdts.h"
#include "bdts/tstreeview.h"
#include "core/cp1251.h"
#include "core/files.h"
#include "core/status.h"
#include "link/instrumentlink.h"
#include "support/scripteddialogs.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

struct BdtsRig {
    QTemporaryDir program, ports;
    StatusModel status;
    ScriptedDialogs dialogs;
    std::unique_ptr<InstrumentLink> link;
    std::unique_ptr<BdtsFeature> feature;
    QWidget host;
    TFrameBDTS *frame = nullptr;

    BdtsRig()
    {
        link = std::make_unique<InstrumentLink>(status, std::make_unique<FolderPortCatalog>(ports.path()));
        feature = std::make_unique<BdtsFeature>(FeatureContext{*link, status, dialogs, programDir()});
        frame = static_cast<TFrameBDTS *>(feature->createFrame(&host));
        host.resize(600, 420);
        frame->resize(600, 420);
        feature->afterShow();
        db().today = [] { return QDate(2026, 12, 8); };
    }
    QString programDir() const { return program.path() + QLatin1Char('/'); }
    QString path(const QString &name) const { return files::inFolder(program.path(), name); }
    BdtsDatabase &db() { return feature->database(); }

    // What a completed read from the instrument leaves.
    void instrumentHolds(const QByteArray &image)
    {
        db().BdtsSorStream = image;
        db().BdtsPagesToRead = bdts::wholePages(image);
        db().finishRead();
    }
    QString put(const QString &name, const QByteArray &bytes)
    {
        const QString p = path(name);
        files::writeWhole(p, bytes);
        return p;
    }
    void openFile(const QString &p)
    {
        dialogs.openAnswers << p;
        frame->btnReadBDTSFromFile->click();
    }
    QByteArray read(const QString &name) const
    {
        QByteArray b;
        files::readWhole(path(name), &b);
        return b;
    }
};

inline QByteArray w(const char *utf8) { return cp1251::encode(QString::fromUtf8(utf8)); }
inline QByteArray ts(const char *g, const char *s, const char *n, int pages = 1, quint32 seed = 7)
{
    return bdts::makeTestSystem(w(g), w(s), w(n), pages, seed);
}
inline QByteArray dated(QDate created = QDate(2009, 3, 5), QDate modified = QDate(2010, 11, 17))
{
    return bdts::descriptorPage(created, modified);
}
