#include "cli/commands.h"

#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsimage.h"
#include "bdts/bdtstransfer.h"
#include "bdts/dbreadoperation.h"
#include "bdts/dbwriteoperation.h"
#include "bdts/tstree.h"
#include "cli/outputformats.h"
#include "cli/portnotes.h"
#include "cli/session.h"
#include "core/cp1251.h"
#include "core/files.h"
#include "core/joboutcome.h"
#include "firmware/firmwarecontroller.h"
#include "firmware/firmwareimage.h"
#include "link/instrumentlink.h"
#include "link/portcatalog.h"
#include "reader/readerexchanges.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>

#include <algorithm>

namespace {
QString native(const QString &path) { return QDir::toNativeSeparators(path); }

// The list text of a database (TABs by level, Windows-1251, CR LF) as lines for the terminal.
QStringList listLines(const bdts::TsTree &tree)
{
    QString text = cp1251::decode(bdts::listText(tree));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// ---------------------------------------------------------------- ports

Outcome runPorts(const CliOptions &options)
{
    struct Row {
        QString name, device, state;
        QString reason; // why the program does not use the port, for the unused ones
        bool opens = false;
        OpenErrorKind why = OpenErrorKind::None;
    };
    // Opening a port tells whether it can be used; nothing is sent.
    auto examine = [](const QString &name, const QString &path) {
        Row row;
        row.name = name;
        row.device = path;
        const QFileInfo info(path);
        if (info.isSymLink())
            row.device += QStringLiteral(" -> ") + info.symLinkTarget();
        const auto device = makePortDevice(NetworkConnectTimeoutMs);
        OpenFailure why;
        if (path.isEmpty()) {
            row.state = QStringLiteral("устройство не найдено");
            row.why = OpenErrorKind::NotFound;
        } else if (device->open(path, &why)) {
            device->close();
            row.opens = true;
            row.state = QStringLiteral("открывается");
        } else {
            row.state = describeOpenFailure(why);
            row.why = why.kind;
        }
        return row;
    };
    QList<Row> rows;
    QList<Row> unusedRows; // ports of the table the program does not use, with the reason
    std::unique_ptr<PortCatalog> catalog;
    if (!options.port.isEmpty() && comport::number(options.port) < 0) {
        rows << examine(options.port, options.port); // a device named on the command line
    } else {
        catalog = makePortCatalogFromEnvironment();
        const QStringList values = catalog->valueTexts().value_or(QStringList());
        for (const QString &value : values) {
            const int n = comport::number(value, comport::Match::AtEnd);
            if (!comport::listed(n))
                continue; // the program does not list it either
            const QString name = QStringLiteral("COM%1").arg(n);
            if (!options.port.isEmpty() && options.port.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            rows << examine(name, catalog->devicePath(n));
        }
        for (const comport::Unused &u : comport::unused(values)) {
            const int n = comport::number(u.value, comport::Match::AtEnd);
            if (!options.port.isEmpty() && (n < 0 || n != comport::number(options.port)))
                continue;
            Row row;
            row.name = u.value;
            row.device = n > 0 ? catalog->devicePath(n) : QString();
            row.reason = u.reason;
            row.state = QStringLiteral("не используется: ") + u.reason;
            unusedRows << row;
        }
    }
    Outcome o;
    QJsonArray list, unusedList;
    int nameWidth = 4, deviceWidth = 10;
    for (const Row &r : rows + unusedRows) {
        nameWidth = std::max(nameWidth, int(r.name.size()));
        deviceWidth = std::max(deviceWidth, int(r.device.size()));
    }
    if (!rows.isEmpty() || !unusedRows.isEmpty())
        o.lines << QStringLiteral("%1  %2  %3").arg(QStringLiteral("ПОРТ"), -nameWidth).arg(QStringLiteral("УСТРОЙСТВО"), -deviceWidth).arg(QStringLiteral("СОСТОЯНИЕ"));
    for (const Row &r : rows) {
        o.lines << QStringLiteral("%1  %2  %3").arg(r.name, -nameWidth).arg(r.device, -deviceWidth).arg(r.state);
        QJsonObject item{{QStringLiteral("port"), r.name}, {QStringLiteral("device"), r.device}, {QStringLiteral("opens"), r.opens}};
        if (!r.opens)
            item.insert(QStringLiteral("problem"), r.state);
        list.append(item);
    }
    for (const Row &r : unusedRows) {
        o.lines << QStringLiteral("%1  %2  %3").arg(r.name, -nameWidth).arg(r.device, -deviceWidth).arg(r.state);
        unusedList.append(QJsonObject{{QStringLiteral("port"), r.name}, {QStringLiteral("device"), r.device}, {QStringLiteral("reason"), r.reason}});
    }
    o.fields.insert(QStringLiteral("ports"), list);
    if (!unusedList.isEmpty())
        o.fields.insert(QStringLiteral("unused"), unusedList);
    o.summary = rows.isEmpty() ? QStringLiteral("COM-порты не найдены.") : QStringLiteral("Найдено портов: %1.").arg(rows.size());
    if (rows.isEmpty() && catalog && options.port.isEmpty()) {
        // Listing nothing is an answer too, but it says what was looked at and what to do.
        o.summary = portnotes::whyNoPorts(*catalog) + QLatin1Char(' ') + portnotes::noPortsAdvice(*catalog);
    } else if (!options.port.isEmpty()) {
        // The port asked for: listed and opening, or the failure with the advice for its cause.
        if (rows.isEmpty() && !unusedRows.isEmpty())
            return Outcome::failed(QStringLiteral("Порт %1 есть, но не используется: %2.").arg(unusedRows.first().name, unusedRows.first().reason),
                                   portnotes::noPortsAdvice(*catalog));
        if (rows.isEmpty())
            return Outcome::failed(QStringLiteral("Порт %1 не найден.").arg(options.port),
                                   QStringLiteral("kviro-cli ports без --port покажет порты."));
        if (!rows.first().opens) {
            o.exitCode = exitcode::Failed;
            o.summary = QStringLiteral("Порт %1 не открывается: %2").arg(options.port, rows.first().state);
            o.advice = portnotes::openFailureAdvice(rows.first().why);
        }
    }
    return o;
}

// ---------------------------------------------------------------- probe

Outcome runProbe(InstrumentSession &s)
{
    Outcome failure;
    const InstrumentMode mode = s.findInstrument(&failure);
    if (mode == InstrumentMode::None) {
        failure.lines << QStringLiteral("no answer");
        failure.fields.insert(QStringLiteral("answer"), QStringLiteral("no answer"));
        s.addPortFields(failure);
        return failure;
    }
    Outcome o;
    o.summary = mode == InstrumentMode::Working ? QStringLiteral("working") : QStringLiteral("boot-loader");
    o.fields.insert(QStringLiteral("answer"), o.summary);
    s.addPortFields(o);
    return o;
}

// ---------------------------------------------------------------- optical densities and protocol

Outcome runOd(InstrumentSession &s, const QString &out)
{
    if (auto refused = writeReaderOutput(ReaderOutput::OdTable, out, {}, true))
        return *refused;
    if (auto refused = s.requireWorking())
        return *refused;
    ReaderExchanges reader(s.context());
    OdTableOperation &fetch = reader.odOperation();
    const qint64 from = s.meter.received();
    const JobOutcome job = s.runOperation(fetch, [&] { fetch.start(); }, [&] {
        const qint64 got = s.meter.received() - from;
        return InstrumentSession::Progress{got, std::min(1.0, double(got) / 777.0)};
    });
    if (!job.ok())
        return s.outcomeOf(job);
    const QByteArray table = reader.od().OpText;
    // Above the plate: the time of reading as the reader keeps it, and the port as named here
    // (a device path given on the command line stands for itself).
    PlateMeta meta = reader.od().readingMeta();
    meta.port = QStringLiteral("%1, %2").arg(QDir::toNativeSeparators(s.portName()), s.link().settingsText());
    if (auto failed = writeReaderOutput(ReaderOutput::OdTable, out, table, false, meta)) {
        s.addPortFields(*failed);
        return *failed;
    }
    Outcome o = s.outcomeOf(job);
    o.summary = QStringLiteral("Оптические плотности приняты: %1 (%2 байт). Порт %3.").arg(native(out)).arg(table.size()).arg(s.portName());
    o.fields.insert(QStringLiteral("file"), out);
    o.fields.insert(QStringLiteral("bytes"), table.size());
    return o;
}

Outcome runProtocol(InstrumentSession &s, const QString &out)
{
    if (auto refused = writeReaderOutput(ReaderOutput::Protocol, out, {}, true))
        return *refused;
    if (auto refused = s.requireWorking())
        return *refused;
    ReaderExchanges reader(s.context());
    ProtocolController &protocol = reader.protocol();
    ProtocolOperation &fetch = reader.protocolOperation();
    const qint64 from = s.meter.received();
    const JobOutcome job = s.runOperation(fetch, [&] { fetch.start(); }, [&] {
        const qint64 got = s.meter.received() - from;
        const double total = protocol.ProtokolLen > 0 ? protocol.ProtokolLen + 6.0 : 0.0;
        return InstrumentSession::Progress{got, total > 0 ? std::min(1.0, double(got) / total) : -1.0};
    });
    if (!job.ok())
        return s.outcomeOf(job);
    const QByteArray body = protocol.ProtokolStream;
    if (auto failed = writeReaderOutput(ReaderOutput::Protocol, out, body, false)) {
        s.addPortFields(*failed);
        return *failed;
    }
    Outcome o = s.outcomeOf(job);
    o.summary = QStringLiteral("Протокол результатов принят: %1 (%2 байт). Порт %3.").arg(native(out)).arg(body.size()).arg(s.portName());
    o.fields.insert(QStringLiteral("file"), out);
    o.fields.insert(QStringLiteral("bytes"), body.size());
    return o;
}

// ---------------------------------------------------------------- database

// The database operations' progress: the bytes both ways and the share the status line counts.
InstrumentSession::Progress transferProgress(InstrumentSession &s, qint64 from, double passes = 1.0, double pass = 0.0)
{
    return InstrumentSession::Progress{s.meter.received() + s.meter.sent() - from, (pass + s.status.progress() / 100.0) / passes};
}

Outcome runDbRead(InstrumentSession &s, const QString &out)
{
    if (auto refused = checkOutputPath(out))
        return *refused;
    if (auto refused = s.requireWorking())
        return *refused;
    BdtsDatabase db(s.status, s.seam(), s.programDir);
    BdtsTransfer transfer(s.link(), s.status, db);
    transfer.setReplyTimeout(s.silenceMs());
    DbReadOperation read(transfer, s.link(), s.status);
    const qint64 from = s.meter.received() + s.meter.sent();
    const JobOutcome job = s.runOperation(read, [&] { read.start(); }, [&] { return transferProgress(s, from); });
    if (!job.ok())
        return s.outcomeOf(job);
    QString why;
    if (!files::writeWhole(out, *db.BdtsSorStream, &why)) {
        Outcome o = writeFailure(out, why);
        s.addPortFields(o);
        return o;
    }
    Outcome o = s.outcomeOf(job);
    o.lines = listLines(db.sorList.tree());
    o.lines << db.view.sorDate << QStringLiteral("Тест-систем: %1, страниц: %2").arg(db.BdtsTsCount).arg(db.BdtsPagesToRead)
            << BdtsDatabase::pagesTakenText(db.BdtsPagesTaken, db.BdtsPagesToRead);
    o.summary = QStringLiteral("БД ТС прибора записана в файл %1. Порт %2.").arg(native(out), s.portName());
    o.fields.insert(QStringLiteral("file"), out);
    o.fields.insert(QStringLiteral("testSystems"), db.BdtsTsCount);
    o.fields.insert(QStringLiteral("pages"), db.BdtsPagesToRead);
    o.fields.insert(QStringLiteral("pagesTaken"), db.BdtsPagesTaken);
    o.fields.insert(QStringLiteral("dates"), db.view.sorDate);
    o.fields.insert(QStringLiteral("list"), QJsonArray::fromStringList(listLines(db.sorList.tree())));
    return o;
}

Outcome runDbWrite(InstrumentSession &s, const QString &in, bool replace)
{
    // The file first: one that cannot be read or is no database never reaches the instrument.
    QByteArray bytes;
    QString why;
    if (!files::readWhole(in, &bytes, &why))
        return Outcome::failed(QStringLiteral("Файл не принят: не удалось прочитать файл %1: %2.").arg(native(in), why),
                               QStringLiteral("Укажите читаемый файл БД ТС (.bdts или .bdt)."));
    BdtsDatabase db(s.status, s.seam(), s.programDir);
    bool askedToReplace = false;
    s.dialogs.confirm = replace; // the only question here: replace a different .bdts beside a legacy file
    s.dialogs.onQuestion = [&] { askedToReplace = true; };
    db.loadFile(in); // "из файла..." (a legacy file is converted beside it, as the program does)
    s.dialogs.confirm = true;
    s.dialogs.onQuestion = {};
    if (!db.BdtsFileStream)
        return Outcome::failed(QStringLiteral("Файл не принят: %1").arg(s.status.text()),
                               askedToReplace && !replace ? QStringLiteral("Чтобы заменить его, добавьте --replace.")
                                                          : QStringLiteral("Укажите читаемый файл БД ТС (.bdts или .bdt)."));
    if (auto refused = s.requireWorking(true))
        return *refused;
    BdtsTransfer transfer(s.link(), s.status, db);
    transfer.setReplyTimeout(s.silenceMs());
    DbWriteOperation write(transfer, s.link(), s.status);
    bool written = false;
    QObject::connect(&transfer, &BdtsTransfer::writeCompleted, [&] { written = true; });
    const qint64 from = s.meter.received() + s.meter.sent();
    // Three passes: the backup read (when one is needed), the write, the read-back.
    const JobOutcome job = s.runOperation(write, [&] { write.start(BdtsTransfer::Source::File); }, [&] {
        const double pass = written ? 2 : transfer.state() == BdtsTransfer::State::Writing ? 1 : 0;
        return transferProgress(s, from, 3.0, pass);
    });
    Outcome o = s.outcomeOf(job);
    o.fields.insert(QStringLiteral("file"), in);
    o.fields.insert(QStringLiteral("pages"), db.BdtsFilePages);
    if (!job.backup.isEmpty()) {
        // How to put back what the instrument held, as a command to copy.
        const QString restore = QStringLiteral("kviro-cli db-write --port %1 \"%2\"").arg(s.portName(), job.backup);
        if (job.mayBeIncomplete)
            o.advice = QStringLiteral("Чтобы вернуть прежнюю БД ТС: %1").arg(restore);
        else if (job.kind == JobOutcome::Kind::ReadBackDiffers)
            o.advice = QStringLiteral("Запишите БД ТС ещё раз; если расхождение повторится, прибор неисправен. Прежняя БД ТС: %1")
                           .arg(restore);
        else if (job.ok())
            o.summary = QStringLiteral("%1 Резервная копия прежней БД: %2. Порт %3.")
                            .arg(job.text, job.backup, s.portName());
    }
    return o;
}

Outcome runDbList(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && info.size() > bdts::MaxFileBytes)
        return Outcome::failed(QStringLiteral("Файл %1 слишком велик для БД ТС.").arg(native(path)));
    QByteArray bytes;
    QString why;
    if (!files::readWhole(path, &bytes, &why, bdts::MaxFileBytes))
        return Outcome::failed(QStringLiteral("Не удалось прочитать файл %1: %2.").arg(native(path), why),
                               QStringLiteral("Проверьте имя файла и права на чтение."));
    // The same steps as opening a file on the database page, without its working files.
    const bool legacy = bdts::recognise(bytes) == bdts::FileKind::Legacy;
    if (legacy) {
        const auto converted = bdts::convertLegacy(bytes);
        if (!converted)
            return Outcome::failed(QStringLiteral("Неверный формат файла %1.").arg(native(path)));
        bytes = *converted;
    }
    int pages = 0;
    if (!bytes.startsWith(bdts::imageMagic()))
        return Outcome::failed(QStringLiteral("Файл %1 не содержит БД ТС.").arg(native(path)));
    if (bdts::checkImage(bytes, &pages) != bdts::ImageCheck::Ok)
        return Outcome::failed(QStringLiteral("Неверный формат файла %1.").arg(native(path)));
    bytes.truncate(bdts::pageOffset(pages));
    bdts::TsTree tree;
    std::vector<bdts::TsEntry> entries;
    QByteArray descriptor;
    bdts::BuildResult built = bdts::BuildTsTree(bytes, pages, tree, entries, &descriptor);
    const bdts::CompactResult compacted = bdts::CompactImage(bytes, tree, entries, &descriptor);
    if (compacted.ok) {
        built.pages = compacted.pages;
        built.testSystems = compacted.testSystems;
    }
    Outcome o;
    o.lines = listLines(tree);
    const QString dates = bdts::dateLine(bdts::lastPage(bytes).left(32));
    o.lines << dates;
    o.summary = QStringLiteral("Тест-систем: %1, страниц: %2%3.")
                    .arg(built.testSystems)
                    .arg(built.pages)
                    .arg(legacy ? QStringLiteral(" (файл формата 528)") : QString());
    o.fields.insert(QStringLiteral("file"), path);
    o.fields.insert(QStringLiteral("legacy"), legacy);
    o.fields.insert(QStringLiteral("testSystems"), built.testSystems);
    o.fields.insert(QStringLiteral("pages"), built.pages);
    o.fields.insert(QStringLiteral("dates"), dates);
    o.fields.insert(QStringLiteral("list"), QJsonArray::fromStringList(listLines(tree)));
    return o;
}

// ---------------------------------------------------------------- firmware

// The image is checked by the firmware core itself (read whole, not a folder, not too large for
// the length value, not empty), so the command line refuses exactly the images the wizard refuses,
// before the instrument is touched.
std::optional<Outcome> checkFirmwareImage(const QString &path, qint64 *size)
{
    firmware::ImageStream image;
    QString error;
    if (!firmware::readImageForTransfer(image, path, &error))
        return Outcome::failed(error.replace(QLatin1Char('\n'), QLatin1Char(' ')),
                               QStringLiteral("Укажите непустой файл программы .tsk, доступный для чтения."));
    *size = image.FirmwareSize;
    return std::nullopt;
}

Outcome runFlash(InstrumentSession &s, const CliOptions &options, const QString &path)
{
    qint64 size = 0;
    if (auto refused = checkFirmwareImage(path, &size))
        return *refused;
    Outcome failure;
    const InstrumentMode mode = s.findInstrument(&failure, true);
    if (mode == InstrumentMode::None)
        return failure;
    if (mode == InstrumentMode::Working) {
        Outcome o = Outcome::failed(QStringLiteral("Прибор в рабочем режиме, а не в режиме программирования. Порт %1.").arg(s.portName()),
                                    QStringLiteral("Выключите прибор, через 5 с включите его, удерживая указку на экране "
                                                   "(экран покажет \"Режим программирования включен\"), и повторите команду."));
        s.addPortFields(o);
        return o;
    }
    InstrumentLink &link = s.link();
    // The firmware page as the wizard runs it: the frame exists and the page is current.
    firmware::FirmwareController wizard(s.context(), [] { return true; });
    wizard.setFrameExists(true);
    wizard.ResetProgWizard();
    // The main window's link-state update, which the wizard follows through the restart.
    QObject::connect(&link, &InstrumentLink::tickFinished, &wizard, [&] {
        s.beginTick();
        s.status.setText(link.linkOn() ? QStringLiteral("Связь с прибором есть.") : QStringLiteral("Прибор выключен или не подключен к ПК."));
        wizard.linkUpdate();
        s.endTick();
    });
    firmware::FirmwareLoadOperation &load = wizard.loadOperation();
    load.setWaitForRestart(!options.noWait);
    load.setRestartTimeout(options.restartTimeoutMs);
    const qint64 stream = size + 8; // marker, length, image, checksum
    const qint64 from = s.meter.sent();
    bool whole = false;
    QObject::connect(&load, &InstrumentOperation::protectedPhaseChanged, [&](bool on) {
        if (!on)
            whole = whole || wizard.loader().programming();
        s.meter.clearLost(); // the instrument restarts: its port may vanish for a moment
    });
    const JobOutcome job = s.runOperation(load, [&] { load.start(path); }, [&] {
        const qint64 done = std::clamp<qint64>(s.meter.sentOnLine() - from, 0, stream);
        return InstrumentSession::Progress{done, whole ? -1.0 : double(done) / double(stream)};
    });
    Outcome o = s.outcomeOf(job);
    o.fields.insert(QStringLiteral("file"), path);
    o.fields.insert(QStringLiteral("bytesSent"), std::clamp<qint64>(s.meter.sentOnLine() - from, 0, stream));
    o.fields.insert(QStringLiteral("restarted"), job.ok() && !options.noWait);
    if (job.mayBeIncomplete)
        o.advice = QStringLiteral("Прибор нужно перезапустить: выключите его, включите с указкой на экране и повторите: "
                                  "kviro-cli flash --port %1 \"%2\"")
                       .arg(s.portName(), QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    if (job.ok() && options.noWait)
        o.summary = QStringLiteral("Программа передана (%1 байт); прибор программирует её и перезапустится сам. Порт %2.")
                        .arg(size)
                        .arg(s.portName());
    return o;
}
} // namespace

Outcome runCommand(const CliOptions &options, CliReporter &reporter)
{
    const QString &c = options.command;
    const QString arg = options.arguments.value(0);
    if (c == QLatin1String("ports"))
        return runPorts(options);
    if (c == QLatin1String("db-list"))
        return runDbList(arg);
    if (c == QLatin1String("flash") && options.baud != 115200)
        return Outcome::usage(QStringLiteral("flash: загрузчик прибора работает на скорости 115200 (--baud 115200)."));
    InstrumentSession session(options, reporter);
    if (c == QLatin1String("probe"))
        return runProbe(session);
    if (c == QLatin1String("od"))
        return runOd(session, arg);
    if (c == QLatin1String("protocol"))
        return runProtocol(session, arg);
    if (c == QLatin1String("db-read"))
        return runDbRead(session, arg);
    if (c == QLatin1String("db-write"))
        return runDbWrite(session, arg, options.replace);
    if (c == QLatin1String("flash"))
        return runFlash(session, options, arg);
    return Outcome::usage(QStringLiteral("неизвестная команда %1").arg(c));
}
