#pragma once
// Windows-1251, the code page of every text the instrument sends and stores. Bytes are kept as
// they are everywhere; this is used only to show them and to name files.
#include <QByteArray>
#include <QString>

namespace cp1251 {
QString decode(const QByteArray &bytes);
// Characters without a Windows-1251 byte become '?'.
QByteArray encode(const QString &text);
} // namespace cp1251
