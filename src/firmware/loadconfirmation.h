#pragma once
// The operator's last word before an image is streamed into the instrument: a Yes/No question
// (the answer that needs no thought is "Нет") naming the file, its size, its date and its
// checksum, all of which the journal keeps.
#include "core/dialogs.h"

#include <QDateTime>
#include <QString>

namespace firmware {

struct ImageFacts {
    QString path;
    qint64 size = 0;
    QDateTime modified;
    qint32 checksum = 0; // the sum the stream ends with
};

// Reads the whole file as a load would; false with the reason when it cannot.
bool readImageFacts(const QString &fileName, ImageFacts *facts, QString *error);
// "Файл: …\nРазмер: 131 072 байт\nДата файла: 05.06.2014 12:00\nКонтрольная сумма: 16711680 (0x00FF0000)".
QString describeImage(const ImageFacts &facts);

inline const QString ConfirmLoadCaption = QStringLiteral("Загрузка программы в прибор");

// Asks before a load and journals the file's facts and the answer. True: go on (also when the
// file cannot be read: the load itself then reports why and sends nothing).
bool confirmImageLoad(UserDialogs &dialogs, const QString &fileName);

} // namespace firmware
