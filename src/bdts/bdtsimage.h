#pragma once
// The test-system database image as the instrument stores it and as a *.bdts file holds it:
// a 13-byte header ("Sor512BDTS" and the page count as "%3d") followed by 512-byte pages.
// Also the legacy "528" file (*.bdt) and its conversion, and the date line of a database.
// Everything here works on bytes and never reads outside them.
#include <QByteArray>
#include <QDate>
#include <QString>

#include <optional>

namespace bdts {

constexpr int PageSize = 512;
constexpr int HeaderSize = 13;
constexpr int DataSize = 500;      // page data; the checksum follows
constexpr int MaxPages = 999;      // the header's three characters cannot say more
constexpr int KindOffset = 508;    // page kind inside a page
constexpr quint32 KindTestSystem = 123456789u;
constexpr quint32 KindDescriptor = 987654321u;

constexpr int LegacyHeaderSize = 10;
constexpr int LegacyRecordSize = 528;

// First page of a test system.
constexpr int GroupOffset = 4, GroupSize = 21;
constexpr int SubgroupOffset = 25, SubgroupSize = 21;
constexpr int NameOffset = 46, NameSize = 31;

// A file larger than any database can be (with ample room) is refused before it is read.
constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

QByteArray imageMagic();  // "Sor512BDTS"
QByteArray legacyMagic(); // "SorBDTS"

// One listed test system: where its first page begins in its image, and how many pages it owns.
struct TsEntry {
    qint32 Offset = 0;
    qint32 PageCount = 0;
};

// Little-endian fields; out-of-range reads give 0, out-of-range writes do nothing.
quint32 readU32(const QByteArray &bytes, qint64 at);
qint32 readI32(const QByteArray &bytes, qint64 at);
quint16 readU16(const QByteArray &bytes, qint64 at);
void writeU32(QByteArray &bytes, qint64 at, quint32 value);
void writeU16(QByteArray &bytes, qint64 at, quint16 value);

// "%3d": right-aligned in three characters (longer when the number needs more).
QByteArray formatCount(int n);
// A decimal count: leading blanks, an optional sign, digits, nothing else.
std::optional<int> parseCount(const QByteArray &text);
// The 13-byte header for a page count of 0..999; empty for any other count.
QByteArray imageHeader(int pages);

// Offset of page k, the pages that lie wholly in the image, and the kind of page k (0 outside).
constexpr qint64 pageOffset(qint64 k) { return HeaderSize + PageSize * k; }
int wholePages(const QByteArray &image);
quint32 pageKind(const QByteArray &image, int page);
// A name field: the bytes before its first zero byte; no zero byte inside the field = empty name.
QByteArray nameField(const QByteArray &bytes, qint64 at, int size);
// The sum of 500 data bytes taken as unsigned bytes.
quint32 checksum(const char *data);

enum class FileKind { Legacy, Image, Other };
FileKind recognise(const QByteArray &bytes);

// The legacy "528" file as an image. Refused (with nothing) when its count is not a number or
// the file holds fewer records than it counts.
std::optional<QByteArray> convertLegacy(const QByteArray &legacy);
// The image as a legacy file (for the sample generator and tests).
QByteArray toLegacy(const QByteArray &image);

enum class ImageCheck { Ok, NotDatabase, BadCount, BadFormat };
// Header, count and a descriptor page as page N-1. On Ok, *pages is N.
ImageCheck checkImage(const QByteArray &image, int *pages);

// The last page of an image (512 bytes; zeros when the image holds no page).
QByteArray lastPage(const QByteArray &image);
// "БДТС создана: 05.03.09, изменена: 17.11.10" or "Дата создания БДТС не установлена",
// from the first 32 bytes of a descriptor page.
QString dateLine(const QByteArray &descriptorFirst32);
// A descriptor page (512 bytes, kind 987654321) carrying the two dates, or none when invalid.
QByteArray descriptorPage(const QDate &created, const QDate &modified);

} // namespace bdts
