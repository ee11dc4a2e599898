#pragma once
// The database state of the program (the instrument image, the file image, the additional pages,
// the lists with their counts, dates and flags) and the operations on it that the database page
// offers: loading and saving files, the additional list, adding to and deleting from the
// instrument list, and the end of a read from the instrument. No widgets: the frame shows the
// models and the `view` part and calls these operations from its handlers.
#include "bdts/bdtsimage.h"
#include "bdts/tstreemodel.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class StatusModel;
class UserDialogs;

// What the database page shows besides the lists.
struct BdtsView {
    QString sorCaption = QStringLiteral("Список ТС в приборе:");
    QString fileCaption = QStringLiteral("Список ТС в файле:");
    QString addCaption = QStringLiteral("Дополнительный список ТС:");
    QString sorDate, fileDate;
    bool sorVisible = true, fileVisible = true, addVisible = true;
    bool saveToFileEnabled = false; // "в файл..."
    bool deleteEnabled = false;     // "удалить"
    bool saveAddEnabled = false;    // instrument list "в прибор"
    bool writeFileEnabled = false;  // file list "в прибор"
    bool addEnabled = false;        // "<<< Добавить в список прибора"
    bool readAllowed = true;        // " из прибора": link up, instrument in working mode
    bool exchangeRunning = false;   // a database exchange with the instrument is under way
};

class BdtsDatabase : public QObject {
    Q_OBJECT
public:
    BdtsDatabase(StatusModel &status, UserDialogs &dialogs, QString programDir, QObject *parent = nullptr);
    ~BdtsDatabase() override;

    // ---- state
    std::optional<QByteArray> BdtsSorStream, BdtsFileStream, BdtsAddStream, BdtsSendStream;
    int BdtsPagesToRead = 0, BdtsTsCount = 0;
    int BdtsPagesTaken = 0; // pages the last read took from the instrument, before the list dropped any
    int BdtsFilePages = 0, BdtsFileTsCount = 0;
    int BdtsAddTsCount = 0, BdtsAddPages = 0;
    std::vector<bdts::TsEntry> BdtsSorEntries, BdtsFileEntries;
    QByteArray BdtsDescriptorPage = QByteArray(bdts::PageSize, '\0');
    QByteArray BdtsCreatedTag = QByteArray(16, '\0'), BdtsModifiedTag = QByteArray(16, '\0');
    bool BdtsSorListReady = false, BdtsFileListReady = false;
    // The additional list is built only once the page exists.
    bool frameExists = false;

    TsTreeModel sorList, fileList, addList; // TreeViewSor, TreeViewFile, TreeViewAdd
    BdtsView view;
    std::function<QDate()> today = [] { return QDate::currentDate(); };
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); }; // names the backups
    QString BdtsFileName; // short name of the file the file list was loaded from

    QString programDir() const { return m_programDir; }
    QString workingFile(const QString &literal) const;

    // ---- file operations (after the operator's choice in a dialog)
    void discardFileImage() { BdtsFileStream.reset(); }
    void saveInstrumentImage(const QString &path); // "в файл..."
    void loadFile(const QString &path);            // "из файла..."
    // Whether the conversion of a legacy file may be written to convertedPath: nothing there, the
    // same bytes there, or the operator agrees to replace a different file (asked, No default).
    bool mayReplaceConversion(const QString &convertedPath, const QByteArray &converted);

    // ---- lists
    void BuildAdditionalList();
    void addToInstrument();                                            // "<<< Добавить в список прибора"
    void deleteFromInstrument(const std::vector<const bdts::TsNode *> &selected); // "удалить"
    // Removes the selected nodes of a list; a group or subgroup goes with everything under it.
    static void DeleteSelectedNodes(TsTreeModel &list, const std::vector<const bdts::TsNode *> &selected);
    void selectionChanged(int selectedCount);                         // a click in the instrument list

    // ---- the instrument's database (the transfer fills BdtsSorStream)
    void hideInstrumentList();
    // The last page of a read has arrived: list, working files, compaction, dates, additional list.
    void finishRead();
    // The whole image of a read from the instrument (pages counted): taken as the instrument's
    // image, then finishRead().
    void takeInstrumentImage(const QByteArray &image, int pages);
    // An exchange with the instrument has ended; after a read that did not complete, the list of
    // the image held (still whole) is shown again.
    void exchangeEnded(bool readCut);
    // What the page shows of the link and the exchange: " из прибора" allowed, an exchange running.
    void setReadAllowed(bool allowed);
    void setExchangeRunning(bool running);
    // ---- writing into the instrument
    // The question put before a write: what is written (the file or the edited instrument list),
    // its test systems and pages, those the instrument holds now (`held`, its image as last read)
    // and would lose or gain, where the backup goes, and that a write cannot be stopped.
    QString writeConfirmationText(bool fromFile, int pages, const QByteArray &held) const;
    // Asks it in a Yes/No box (No is the default); true = Yes.
    bool confirmWrite(bool fromFile, int pages, const QByteArray &held);
    // The status text at the end of a read: the pages taken, and those the list left out and why.
    static QString pagesTakenText(int taken, int kept);
    // The instrument's image as the backup before a write (bdtsbackup.h); the path written, or
    // empty with the operator's explanation of why the write is not started in *failure.
    QString backupInstrumentImage(const QByteArray &image, QString *failure = nullptr);
    // A failure the operator must see, in a message box: the status line is rewritten by the next
    // text, and by the link check once an exchange has ended.
    void reportProblem(const QString &text);

signals:
    void changed();

private:
    bool writeWorkingFile(const QString &literal, const QByteArray &bytes);
    void showInstrumentDate();
    void reportFileError(const QString &path, const QString &reason);

    StatusModel &m_status;
    UserDialogs &m_dialogs;
    QString m_programDir;
};
