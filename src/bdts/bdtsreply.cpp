#include "bdts/bdtsreply.h"

#include "bdts/bdtsimage.h"

namespace bdts {

static_assert(PageReplySize == PageSize + 2);

CountReply parseCountReply(const QByteArray &waiting)
{
    CountReply r;
    if (waiting.size() < 3)
        return r; // the tag and the unused byte at most: the count is still to come
    // Letters alone behind the digits (and line end) are never part of a count: they are the next
    // messages (a notice sent right behind the reply), left to the dispatcher. "1x2" stays one
    // text that is no number.
    qsizetype end = 2;
    while (end < waiting.size() && waiting.at(end) == ' ')
        ++end;
    const qsizetype digitsFrom = end;
    while (end < waiting.size() && waiting.at(end) >= '0' && waiting.at(end) <= '9')
        ++end;
    while (end < waiting.size() && (waiting.at(end) == '\r' || waiting.at(end) == '\n'))
        ++end;
    const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    bool lettersBehind = end > digitsFrom && end < waiting.size();
    for (qsizetype i = end; lettersBehind && i < waiting.size(); ++i)
        lettersBehind = isLetter(waiting.at(i));
    const qsizetype length = lettersBehind ? end : waiting.size();
    QByteArray text = waiting.mid(2, length - 2);
    bool closed = false;
    while (text.endsWith('\r') || text.endsWith('\n')) {
        text.chop(1);
        closed = true;
    }
    // Blanks alone may be the first characters of a right-aligned count, unless the line ended.
    if (!closed && text.count(' ') == text.size())
        return r;
    r.text = text;
    r.consumed = length;
    if (const auto n = parseCount(text)) {
        r.kind = CountReply::Kind::Count;
        r.count = *n;
    } else {
        r.kind = CountReply::Kind::NotNumber;
    }
    return r;
}

PageReply parsePageReply(const QByteArray &waiting)
{
    PageReply r;
    if (waiting.size() < PageReplySize)
        return r;
    // The page takes its own length; what follows it (a notice sent right behind it) is the
    // dispatcher's.
    r.consumed = PageReplySize;
    r.kind = PageReply::Kind::Page;
    r.page = waiting.mid(1, PageSize);
    return r;
}

QByteArray writeStartCommand(int pages)
{
    if (pages < 1 || pages > 0xFFFF)
        return {};
    QByteArray command("M");
    command.append(char((pages >> 8) & 0xFF));
    command.append(char(pages & 0xFF));
    return command;
}

QByteArray pageCommand(const QByteArray &image, int index)
{
    if (index < 0 || index >= wholePages(image))
        return {};
    return QByteArrayLiteral("m") + image.mid(pageOffset(index), PageSize);
}

} // namespace bdts
