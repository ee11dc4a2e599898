#pragma once
// A realistic plate and results protocol, to fill the pages without an instrument (screenshots,
// demonstrations). The instrument's own replies come over the link, never from here.
#include <QByteArray>

namespace readersamples {
// A complete table reply: 'D', 8 rows of 12 fields " 0.123" each followed by " \t", CR row ends.
QByteArray odReply();
// A complete body reply: 'd', a Windows-1251 protocol whose header holds "12 от 03.04.11" at
// body offset 92, CR LF line ends, and a final character.
QByteArray protocolReply();
} // namespace readersamples
