// The image file: where the default image is found, what the labels say, the dialog's answer,
// reading and summing the image.
#include "core/files.h"
#include "firmware/firmwareimage.h"
#include "firmware/firmwaretransfer.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace firmware;

class TestFirmwareImage : public QObject {
    Q_OBJECT
    QTemporaryDir m_program, m_cwd;

    QString programDir() const { return m_program.path() + QLatin1Char('/'); }
    void put(const QString &path, const QByteArray &bytes) { QVERIFY(files::writeWhole(path, bytes)); }

private slots:
    void defaultSearchPrefersCurrentDirectoryButLabelsNameImageFolder()
    {
        QDir().mkpath(imageFolder(programDir()));
        const QString inFolder = QDir(imageFolder(programDir())).filePath(QStringLiteral("Sorvint_3070.tsk"));
        put(inFolder, "folder");

        ImageChoice choice;
        choice.FirmwareFileName = QStringLiteral("/elsewhere/chosen.tsk"); // an earlier dialog choice
        defaultSearch(choice, programDir(), m_cwd.path());
        QCOMPARE(choice.FirmwareFileName, inFolder);
        QVERIFY(choice.FirmwareFileReady);
        const QString sep = QDir::separator();
        const QString expectedLabel = QDir::toNativeSeparators(programDir()) + QLatin1Char('\n') + QStringLiteral("FilesInSorvint") + sep +
                                      QLatin1Char('\n') + QStringLiteral("Sorvint_3070.tsk");
        QCOMPARE(choice.labelText, expectedLabel);

        put(QDir(m_cwd.path()).filePath(QStringLiteral("Sorvint_3070.tsk")), "cwd");
        defaultSearch(choice, programDir(), m_cwd.path());
        QCOMPARE(choice.FirmwareFileName, QStringLiteral("Sorvint_3070.tsk"));
        QCOMPARE(choice.labelText, expectedLabel);

        QFile::remove(inFolder);
        QFile::remove(QDir(m_cwd.path()).filePath(QStringLiteral("Sorvint_3070.tsk")));
        defaultSearch(choice, programDir(), m_cwd.path());
        QCOMPARE(choice.FirmwareFileName, QString());
        QVERIFY(!choice.FirmwareFileReady);
        QCOMPARE(choice.labelText, QStringLiteral("Файл Sorvint_3070.tsk\nне найден."));
    }

    void dialogAnswerSplitsPathAndCancelKeepsChoice()
    {
        ImageChoice choice;
        applyDialogResult(choice, QString()); // cancelled with nothing designated
        QVERIFY(!choice.FirmwareFileReady);
        QCOMPARE(choice.labelText, NoFileLabel);

        applyDialogResult(choice, QStringLiteral("C:\\Images\\A.tsk"));
        QCOMPARE(choice.labelText, QStringLiteral("C:\\Images\\\nA.tsk"));
        QCOMPARE(choice.dialogFileName, QStringLiteral("A.tsk"));
        QVERIFY(choice.FirmwareFileReady);

        applyDialogResult(choice, QString()); // cancelled after a choice: nothing changes
        QCOMPARE(choice.FirmwareFileName, QStringLiteral("C:\\Images\\A.tsk"));
        QCOMPARE(choice.labelText, QStringLiteral("C:\\Images\\\nA.tsk"));
        QVERIFY(choice.FirmwareFileReady);

        QCOMPARE(labelForPath(QStringLiteral("image.tsk")), QStringLiteral("\nimage.tsk"));
        QCOMPARE(labelForPath(QStringLiteral("/image.tsk")), QStringLiteral("\nimage.tsk"));
        QCOMPARE(labelForPath(QStringLiteral("/opt/fw/image.tsk")), QStringLiteral("/opt/fw/\nimage.tsk"));
    }

    void loadAndSumRawBytes()
    {
        const QString path = QDir(m_cwd.path()).filePath(QStringLiteral("ff.tsk"));
        put(path, QByteArray(10, char(0xFF)));
        ImageStream s;
        QString error;
        QVERIFY(LoadFirmwareImage(s, path, &error));
        checksumPass(s);
        QCOMPARE(s.FirmwareSize, 10);
        QCOMPARE(s.FirmwareChecksum, 2550);
        QCOMPARE(s.position, 0);

        // Line ends and bytes above 0x7F stay as they are; a sum above 65535 is kept whole.
        QByteArray big(70000 / 0xFF, char(0xFF));
        big.append("\r\n\x1a", 3);
        put(path, big);
        QVERIFY(LoadFirmwareImage(s, path, &error));
        checksumPass(s);
        QCOMPARE(s.bytes, big);
        QCOMPARE(s.FirmwareChecksum, 274 * 255 + 13 + 10 + 26);
        QCOMPARE(checksumBytes(70000), QByteArray("\x70\x11", 2));
        QCOMPARE(lengthHeader(3), QByteArray("\x09\x00\x00\x00", 4));
        QCOMPARE(lengthHeader(0x01020304 - 6), QByteArray("\x04\x03\x02\x01", 4));

        put(path, QByteArray());
        QVERIFY(LoadFirmwareImage(s, path, &error));
        checksumPass(s);
        QCOMPARE(s.FirmwareSize, 0);
        QCOMPARE(s.FirmwareChecksum, 0);
    }

    void missingFileNamesFileAndKeepsStream()
    {
        ImageStream s;
        s.bytes = "old";
        s.FirmwareSize = 3;
        QString error;
        const QString missing = QDir(m_cwd.path()).filePath(QStringLiteral("gone.tsk"));
        QVERIFY(!LoadFirmwareImage(s, missing, &error));
        QVERIFY2(error.contains(QStringLiteral("gone.tsk")), qPrintable(error));
        QCOMPARE(s.bytes, QByteArray("old"));
    }
};

QTEST_GUILESS_MAIN(TestFirmwareImage)
#include "tst_firmwareimage.moc"
