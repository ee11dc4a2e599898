#include "reader/samples.h"

#include "core/cp1251.h"
#include "reader/odtable.h"
#include "reader/protocol.h"

#include <QStringList>

namespace readersamples {
namespace {
// Densities of a typical ELISA plate: blanks, negative and positive controls in column 1,
// samples spread over the rest.
double density(int r, int c)
{
    if (c == 1) {
        static const double controls[] = {0.048, 0.052, 0.113, 0.108, 2.135, 2.067, 0.874, 0.901};
        return controls[r - 1];
    }
    unsigned seed = unsigned(r * 131 + c * 17);
    seed = seed * 1103515245u + 12345u;
    const double u = double((seed >> 8) % 1000) / 1000.0;
    return (r + c) % 5 == 0 ? 1.2 + 2.3 * u : 0.06 + 0.35 * u;
}
} // namespace

QByteArray odReply()
{
    QByteArray reply("D");
    for (int r = 1; r <= odtable::Rows; ++r) {
        for (int c = 1; c <= odtable::Columns; ++c)
            reply += QByteArray::number(density(r, c), 'f', 3).rightJustified(odtable::FieldWidth, ' ') + " \t";
        reply += '\r';
    }
    return reply;
}

QByteArray protocolReply()
{
    QByteArray body = cp1251::encode(QStringLiteral("СОРВИНТ зав.№ 3070          ИФА-анализатор\r\n"));
    body += cp1251::encode(QStringLiteral("ПРОТОКОЛ РЕЗУЛЬТАТОВ ИЗМЕРЕНИЙ"));
    body = body.leftJustified(protokol::HeaderOffset - 2, ' ', true) + cp1251::encode(QStringLiteral("№ "));
    const QStringList lines = {
        QStringLiteral("12 от 03.04.11"),
        QString(),
        QStringLiteral("Тест-система: ВектоГеп В - HBs-антиген"),
        QStringLiteral("Длина волны: 450 нм, референс 620 нм"),
        QStringLiteral("Cut-off = 0.213    ОП K- = 0.111    ОП K+ = 2.101"),
        QString(),
        QStringLiteral("Лунка   ОП      Результат"),
        QStringLiteral("-------------------------"),
    };
    QString text = lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    static const double ods[] = {0.084, 0.091, 1.562, 0.077, 0.102, 2.318, 0.088, 0.095,
                                 0.241, 0.073, 0.069, 1.904, 0.081, 0.099, 0.086, 0.074};
    for (int i = 0; i < 16; ++i) {
        const double od = ods[i];
        const QString well = QStringLiteral("%1%2").arg(QChar(u'A' + i % 8)).arg(2 + i / 8);
        const QString verdict = od >= 0.213 ? QStringLiteral("ПОЛОЖИТ.") : QStringLiteral("отрицат.");
        text += QStringLiteral("%1    %2   %3\r\n").arg(well, -4).arg(od, 5, 'f', 3).arg(verdict);
    }
    text += QStringLiteral("\r\nОператор: ____________\r\n");
    body += cp1251::encode(text);
    return QByteArray("d") + body + '\x1A';
}
} // namespace readersamples
