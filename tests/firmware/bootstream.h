#pragma once
// The stream a boot loader expects, packed here byte by byte and independently of the program's
// own packing: 0x55 0xAA, the length (image + 6) low byte first, the image, then the low 16 bits
// of the image's byte sum, low byte first.
#include <QByteArray>

inline QByteArray bootStream(const QByteArray &image)
{
    const quint32 length = quint32(image.size()) + 6;
    quint32 sum = 0;
    for (char c : image)
        sum += static_cast<unsigned char>(c);
    QByteArray out("\x55\xAA", 2);
    for (int i = 0; i < 4; ++i)
        out += char((length >> (8 * i)) & 0xFF);
    out += image;
    out += char(sum & 0xFF);
    out += char((sum >> 8) & 0xFF);
    return out;
}
