#pragma once
// The firmware image file (*.tsk): where the default image is looked for, what the two file
// labels of the firmware frame show, and the image read into memory and summed. The image is
// never interpreted; it goes to the instrument byte for byte.
#include <QByteArray>
#include <QString>

namespace firmware {

inline constexpr char DefaultImageName[] = "Sorvint_3070.tsk";
inline constexpr char ImageFolder[] = "FilesInSorvint";
inline constexpr char DialogFilter[] = "Файлы загрузки (*.tsk)|*.tsk";
inline const QString NoFileLabel = QStringLiteral("Файл не найден");

// The designated image: FirmwareFileName, FirmwareFileReady and the text of both file labels.
struct ImageChoice {
    QString FirmwareFileName;
    bool FirmwareFileReady = false;
    QString labelText = NoFileLabel;
    QString dialogFileName; // pre-set in the file dialog at its next opening
};

// The image folder below the program folder.
QString imageFolder(const QString &programDir);
// Where the file dialog opens: the image folder when it exists, else the program folder.
QString dialogStartFolder(const QString &programDir);

// Default search: the default image in the current directory (then FirmwareFileName is the bare
// name), else in the image folder (the full path), else nothing. Replaces any earlier choice.
void defaultSearch(ImageChoice &choice, const QString &programDir, const QString &currentDir);

// The operator's answer in the file dialog: a path, or empty for a cancelled dialog.
void applyDialogResult(ImageChoice &choice, const QString &chosenPath);

// The label text for a chosen path: the folder part (up to and including the last separator,
// empty when there is none or it is the first character), a line break, the name part.
QString labelForPath(const QString &path);

// The image in memory with its read position (FirmwareStream).
struct ImageStream {
    QByteArray bytes;
    qint64 position = 0;
    qint32 FirmwareSize = 0;
    qint32 FirmwareChecksum = 0;
};

// Largest image whose length value (size + 6) still fits the signed 32-bit size.
inline constexpr qint64 MaxImageSize = 0x7FFFFFFF - 6;

// Reads the whole file, raw bytes, into the stream; FirmwareSize set, position 0. On failure the
// stream keeps its earlier contents and `error` receives the file name and the system's reason.
bool LoadFirmwareImage(ImageStream &stream, const QString &fileName, QString *error);

// FirmwareChecksum := the sum of all image bytes (0..255 each), not reduced; position back to 0.
void checksumPass(ImageStream &stream);

// Everything a transfer needs before its first byte goes out: the whole file read (not a folder,
// not too large for the length value), not empty, and summed. On failure `error` names the file
// and the reason, and nothing may be sent.
bool readImageForTransfer(ImageStream &stream, const QString &fileName, QString *error);

} // namespace firmware
