#include "reader/protocol.h"

namespace protokol {
namespace {
// The bytes of the window from offset `from` (may be negative), `count` long, clipped to it.
QByteArray clipped(const QByteArray &window, int from, int count)
{
    QByteArray out;
    for (int i = from; i < from + count; ++i)
        if (i >= 0 && i < window.size())
            out.append(window.at(i));
    return out;
}
} // namespace

std::optional<int> announcedLength(const QByteArray &announcement)
{
    if (announcement.size() != AnnouncementLength)
        return std::nullopt;
    QByteArray digits = announcement.mid(1);
    int at = 0;
    while (at < digits.size() && digits.at(at) == ' ')
        ++at;
    bool negative = false;
    if (at < digits.size() && (digits.at(at) == '-' || digits.at(at) == '+'))
        negative = digits.at(at++) == '-';
    if (at >= digits.size())
        return std::nullopt;
    int value = 0;
    for (; at < digits.size(); ++at) {
        const char c = digits.at(at);
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

QByteArray bodyText(const QByteArray &reply)
{
    if (reply.size() < 2)
        return {};
    return reply.mid(1, reply.size() - 2);
}

QByteArray headerWindow(const QByteArray &body) { return body.mid(HeaderOffset, HeaderLength); }

QByteArray automaticName(const QByteArray &body)
{
    const QByteArray h = headerWindow(body);
    static const QByteArray from = QByteArray(" \xEE\xF2"); // " от" in Windows-1251
    const qsizetype ot = h.indexOf(from);
    const QByteArray designation = ot >= 0 ? h.left(ot) : QByteArray();
    // p counts from 1 as the operator reads the header; the window indices count from 0.
    const int p = int(h.indexOf('.')) + 1;
    QByteArray day, month, year;
    if (p > 0) {
        day = clipped(h, p - 3, 2);
        month = clipped(h, p, 2);
        year = clipped(h, p + 3, 2);
    }
    return QByteArray("20") + year + '_' + month + '_' + day + QByteArray(" Pr \xB9") + designation;
}
} // namespace protokol
