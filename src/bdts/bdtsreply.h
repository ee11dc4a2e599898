#pragma once
// The database messages of the serial link as plain functions, bytes in and result out, so that
// any shape of receive branch can use them: the page count after 'R', a page after 'r', and the
// commands that start a write and carry its pages. Each parse says how many bytes of the waiting
// ones it takes (0 while the reply is still incomplete).
#include <QByteArray>

namespace bdts {

// The reply to "R": 'R', one byte the program does not use, then the page count as decimal text
// ("  5" from the instrument; leading blanks and a closing CR and/or LF are accepted).
struct CountReply {
    enum class Kind {
        Incomplete, // nothing of the count has arrived yet: wait
        Count,      // `count` holds the number
        NotNumber   // the text is there but is no number
    };
    Kind kind = Kind::Incomplete;
    int count = 0;
    QByteArray text;       // the count text as received, CR/LF removed
    qsizetype consumed = 0; // bytes taken: the whole reply, or 0 while incomplete
};
// When only letters follow the digits (and line end), they are other messages (notices) and are
// not taken. Otherwise the reply takes every waiting byte.
// Examines the bytes waiting once no further byte is on its way; they begin with 'R'.
CountReply parseCountReply(const QByteArray &waiting);

// The reply to "r": 'r', the 512 page bytes, one byte the program does not use.
constexpr int PageReplySize = 1 + 512 + 1;
struct PageReply {
    enum class Kind {
        Incomplete, // fewer bytes than a page reply: the rest is on its way
        Page        // `page` holds the 512 page bytes; what follows them is not the page's
    };
    Kind kind = Kind::Incomplete;
    QByteArray page;
    qsizetype consumed = 0;
};
PageReply parsePageReply(const QByteArray &waiting);

// The reply 'm' (ready for the next page): one acknowledgement however often its tag repeats;
// what follows the run (a notice) is left to the dispatcher.
inline qsizetype ackConsumed(const QByteArray &waiting)
{
    qsizetype n = waiting.isEmpty() ? 0 : 1;
    while (n < waiting.size() && waiting.at(n) == waiting.at(0))
        ++n;
    return n;
}

// "M" followed by the page count div 256 and mod 256; empty for a count outside 1..65535.
QByteArray writeStartCommand(int pages);
// "m" followed by page `index` (from 0) of the image; empty when the image lacks that page.
QByteArray pageCommand(const QByteArray &image, int index);

} // namespace bdts
