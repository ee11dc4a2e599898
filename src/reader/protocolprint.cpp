#include "reader/protocolprint.h"

#include "core/cp1251.h"
#include "core/files.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace protocolprint {
namespace {
constexpr double LargestPoints = 10.0;
constexpr double SmallestPoints = 6.0;
constexpr int TabWidth = 8;

QFont fixedFont()
{
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setFixedPitch(true);
    }
    return font;
}

// Lines with their tabs turned into blanks up to the next multiple of eight columns, as a text
// view shows them; trailing empty lines dropped.
QStringList layoutLines(const QString &text)
{
    QStringList lines;
    for (const QString &raw : text.split(QLatin1Char('\n'))) {
        QString line;
        for (QChar ch : raw) {
            if (ch == QLatin1Char('\t'))
                line += QString(TabWidth - line.size() % TabWidth, QLatin1Char(' '));
            else
                line += ch;
        }
        lines << line;
    }
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    return lines;
}
} // namespace

QString protocolText(const QByteArray &bytes)
{
    QString text = cp1251::decode(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

int paint(QPagedPaintDevice &device, const QString &text, const QString &title)
{
    const QStringList lines = layoutLines(text);
    QPainter painter;
    if (!painter.begin(&device))
        return 0;
    const double width = device.width();
    const double height = device.height();

    QFont font = fixedFont();
    for (double points = LargestPoints; points >= SmallestPoints; points -= 0.5) {
        font.setPointSizeF(points);
        const QFontMetricsF metrics(font, &device);
        double widest = 0;
        for (const QString &line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        if (widest <= width)
            break;
    }
    QFont footFont = font;
    footFont.setPointSizeF(std::max(SmallestPoints, font.pointSizeF() - 1));
    const QFontMetricsF metrics(font, &device);
    const QFontMetricsF footMetrics(footFont, &device);
    const double footHeight = footMetrics.lineSpacing() * 2;
    const int perPage = std::max(1, int((height - footHeight) / metrics.lineSpacing()));
    const int pages = std::max(1, int((lines.size() + perPage - 1) / perPage));

    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            device.newPage();
        painter.setFont(font);
        for (int i = 0; i < perPage; ++i) {
            const int at = page * perPage + i;
            if (at >= lines.size())
                break;
            painter.drawText(QPointF(0, metrics.ascent() + i * metrics.lineSpacing()), lines.at(at));
        }
        painter.setFont(footFont);
        const QString foot = QStringLiteral("%1 — стр. %2 из %3").arg(title).arg(page + 1).arg(pages);
        painter.drawText(QRectF(0, height - footMetrics.lineSpacing(), width, footMetrics.lineSpacing()),
                         Qt::AlignRight | Qt::AlignVCenter, foot);
    }
    painter.end();
    return pages;
}

QByteArray pdfBytes(const QString &text, const QString &title, int *pages)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    int count = 0;
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("КВИРО-сервис"));
        writer.setResolution(300);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        count = paint(writer, text, title);
    }
    if (pages)
        *pages = count;
    return count > 0 ? buffer.data() : QByteArray();
}

bool writePdf(const QString &path, const QString &text, const QString &title, QString *error)
{
    const QByteArray bytes = pdfBytes(text, title);
    if (bytes.isEmpty()) {
        if (error)
            *error = QStringLiteral("не удалось построить документ PDF");
        return false;
    }
    return files::writeWhole(path, bytes, error);
}
} // namespace protocolprint
