#include "bdts/bdtsimage.h"

#include <cstring>

namespace bdts {

QByteArray imageMagic() { return QByteArrayLiteral("Sor512BDTS"); }
QByteArray legacyMagic() { return QByteArrayLiteral("SorBDTS"); }

quint32 readU32(const QByteArray &bytes, qint64 at)
{
    if (at < 0 || at + 4 > bytes.size())
        return 0;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData() + at);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

qint32 readI32(const QByteArray &bytes, qint64 at) { return static_cast<qint32>(readU32(bytes, at)); }

quint16 readU16(const QByteArray &bytes, qint64 at)
{
    if (at < 0 || at + 2 > bytes.size())
        return 0;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData() + at);
    return quint16(p[0] | p[1] << 8);
}

void writeU32(QByteArray &bytes, qint64 at, quint32 value)
{
    if (at < 0 || at + 4 > bytes.size())
        return;
    char *p = bytes.data() + at;
    for (int i = 0; i < 4; ++i)
        p[i] = char((value >> (8 * i)) & 0xFF);
}

void writeU16(QByteArray &bytes, qint64 at, quint16 value)
{
    if (at < 0 || at + 2 > bytes.size())
        return;
    char *p = bytes.data() + at;
    p[0] = char(value & 0xFF);
    p[1] = char(value >> 8);
}

QByteArray formatCount(int n)
{
    QByteArray digits = QByteArray::number(n);
    if (digits.size() < 3)
        digits.prepend(QByteArray(3 - digits.size(), ' '));
    return digits;
}

std::optional<int> parseCount(const QByteArray &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == '-' || text.at(i) == '+')) {
        negative = text.at(i) == '-';
        ++i;
    }
    if (i >= text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 0x7FFFFFFF)
            return std::nullopt;
    }
    return int(negative ? -value : value);
}

QByteArray imageHeader(int pages)
{
    if (pages < 0 || pages > MaxPages)
        return {};
    return imageMagic() + formatCount(pages);
}

int wholePages(const QByteArray &image)
{
    if (image.size() < HeaderSize)
        return 0;
    return int((image.size() - HeaderSize) / PageSize);
}

quint32 pageKind(const QByteArray &image, int page)
{
    if (page < 0 || page >= wholePages(image))
        return 0;
    return readU32(image, pageOffset(page) + KindOffset);
}

QByteArray nameField(const QByteArray &bytes, qint64 at, int size)
{
    if (at < 0 || size <= 0 || at + size > bytes.size())
        return {};
    const char *p = bytes.constData() + at;
    const void *zero = std::memchr(p, 0, size_t(size));
    if (!zero)
        return {};
    return QByteArray(p, static_cast<const char *>(zero) - p);
}

quint32 checksum(const char *data)
{
    quint32 sum = 0;
    for (int i = 0; i < DataSize; ++i)
        sum += static_cast<unsigned char>(data[i]);
    return sum;
}

FileKind recognise(const QByteArray &bytes)
{
    if (bytes.startsWith(legacyMagic()))
        return FileKind::Legacy;
    if (bytes.startsWith(imageMagic()))
        return FileKind::Image;
    return FileKind::Other;
}

std::optional<QByteArray> convertLegacy(const QByteArray &legacy)
{
    if (legacy.size() < LegacyHeaderSize)
        return std::nullopt;
    const auto count = parseCount(legacy.mid(7, 3));
    // The count already includes the descriptor record; three characters cannot exceed 999.
    if (!count || *count < 0 || *count > MaxPages)
        return std::nullopt;
    const int c = *count;
    if (qint64(LegacyHeaderSize) + qint64(LegacyRecordSize) * c > legacy.size())
        return std::nullopt; // fewer records than counted: the pages would be made up
    QByteArray image = imageHeader(c);
    image.reserve(HeaderSize + qint64(PageSize) * c);
    QByteArray trailer(12, '\0');
    for (int r = 0; r < c; ++r) {
        const qint64 at = LegacyHeaderSize + qint64(LegacyRecordSize) * r;
        const char *record = legacy.constData() + at;
        image.append(record, DataSize);
        writeU32(trailer, 0, checksum(record));
        writeU32(trailer, 4, readU32(legacy, at + 516));
        writeU32(trailer, 8, readU32(legacy, at + 520));
        image.append(trailer);
    }
    return image;
}

QByteArray toLegacy(const QByteArray &image)
{
    const int pages = wholePages(image);
    QByteArray out = legacyMagic() + formatCount(pages).left(3);
    QByteArray record(LegacyRecordSize, '\0');
    for (int k = 0; k < pages; ++k) {
        const qint64 at = pageOffset(k);
        record.fill('\0');
        std::memcpy(record.data(), image.constData() + at, DataSize);
        writeU32(record, 516, readU32(image, at + 504));
        writeU32(record, 520, readU32(image, at + KindOffset));
        out.append(record);
    }
    return out;
}

ImageCheck checkImage(const QByteArray &image, int *pages)
{
    if (!image.startsWith(imageMagic()))
        return ImageCheck::NotDatabase;
    const auto n = image.size() >= HeaderSize ? parseCount(image.mid(10, 3)) : std::nullopt;
    if (!n)
        return ImageCheck::BadCount;
    if (*n < 1 || *n > wholePages(image) || pageKind(image, *n - 1) != KindDescriptor)
        return ImageCheck::BadFormat;
    if (pages)
        *pages = *n;
    return ImageCheck::Ok;
}

QByteArray lastPage(const QByteArray &image)
{
    if (image.size() < HeaderSize + PageSize)
        return QByteArray(PageSize, '\0');
    return image.right(PageSize);
}

QString dateLine(const QByteArray &first32)
{
    if (first32.size() < 32 || !first32.startsWith(QByteArrayLiteral("dbVersion\0")))
        return QStringLiteral("Дата создания БДТС не установлена");
    const auto two = [&](int at) { return QStringLiteral("%1").arg(readU16(first32, at), 2, 10, QLatin1Char('0')); };
    return QStringLiteral("БДТС создана: ") + two(10) + QLatin1Char('.') + two(12) + QLatin1Char('.') + two(14) +
           QStringLiteral(", изменена: ") + two(26) + QLatin1Char('.') + two(28) + QLatin1Char('.') + two(30);
}

QByteArray descriptorPage(const QDate &created, const QDate &modified)
{
    QByteArray page(PageSize, '\0');
    if (created.isValid() && modified.isValid()) {
        std::memcpy(page.data(), "dbVersion", 10);
        writeU16(page, 10, quint16(created.day()));
        writeU16(page, 12, quint16(created.month()));
        writeU16(page, 14, quint16(created.year() - 2000));
        writeU16(page, 26, quint16(modified.day()));
        writeU16(page, 28, quint16(modified.month()));
        writeU16(page, 30, quint16(modified.year() - 2000));
    }
    writeU32(page, DataSize, checksum(page.constData()));
    writeU32(page, KindOffset, KindDescriptor);
    return page;
}

} // namespace bdts
