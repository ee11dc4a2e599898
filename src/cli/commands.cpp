#include "cli/commands.h"

#include "bdts/bdtsdatabase.h"
#include "bdts/bdtsimage.h"
#include "bdts/bdtstransfer.h"
#include "bdts/tstree.h"
#include "cli/outputformats.h"
#include "cli/session.h"
#include "core/cp1251.h"
#include "core/files.h"
#include "firmware/firmwarecontroller.h"
#include "firmware/firmwareimage.h"
#include "link/instrumentlink.h"
#include "link/portcatalog.h"
#include "reader/readerexchanges.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>

namespace {
using End = InstrumentSession::End;

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

// The reply branches a command plugged into the link are taken out again when it ends.
struct BranchesOff {
    InstrumentLink &link;
    QByteArray tags;
    ~BranchesOff()
    {
        for (char tag : tags)
            link.unregisterBranch(tag);
    }
};

// Common ends of a wait that did not reach its goal.
Outcome waitFailure(InstrumentSession &s, End end, const QString &what)
{
    switch (end) {
    case End::Silent:
    case End::TimeLimit:
        return s.silentFailure(what);
    case End::PortLost:
        return s.portLostFailure(what);
    case End::Interrupted:
        return s.interruptedFailure(what + QLatin1Char('.'));
    case End::Done:
        break;
    }
    return Outcome::failed(what);
}

// ---------------------------------------------------------------- ports

Outcome runPorts(const CliOptions &options)
{
    struct Row {
        QString name, device, state;
        bool opens = false;
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
        } else if (device->open(path, &why)) {
            device->close();
            row.opens = true;
            row.state = QStringLiteral("открывается");
        } else {
            row.state = describeOpenFailure(why);
        }
        return row;
    };
    static const QRegularExpression com(QStringLiteral("COM([0-9]{1,9})$"));
    static const QRegularExpression comName(QStringLiteral("^COM[0-9]{1,9}$"), QRegularExpression::CaseInsensitiveOption);
    QList<Row> rows;
    if (!options.port.isEmpty() && !comName.match(options.port).hasMatch()) {
        rows << examine(options.port, options.port); // a device named on the command line
    } else {
        const std::unique_ptr<PortCatalog> catalog = makePortCatalogFromEnvironment();
        for (const QString &value : catalog->valueTexts().value_or(QStringList())) {
            const auto m = com.match(value);
            const int n = m.hasMatch() ? m.captured(1).toInt() : 0;
            if (n < 1 || n > 16)
                continue; // the program does not list it either
            const QString name = QStringLiteral("COM%1").arg(n);
            if (!options.port.isEmpty() && options.port.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            rows << examine(name, catalog->devicePath(n));
        }
    }
    Outcome o;
    QJsonArray list;
    int nameWidth = 4, deviceWidth = 10;
    for (const Row &r : rows) {
        nameWidth = std::max(nameWidth, int(r.name.size()));
        deviceWidth = std::max(deviceWidth, int(r.device.size()));
    }
    if (!rows.isEmpty())
        o.lines << QStringLiteral("%1  %2  %3").arg(QStringLiteral("ПОРТ"), -nameWidth).arg(QStringLiteral("УСТРОЙСТВО"), -deviceWidth).arg(QStringLiteral("СОСТОЯНИЕ"));
    for (const Row &r : rows) {
        o.lines << QStringLiteral("%1  %2  %3").arg(r.name, -nameWidth).arg(r.device, -deviceWidth).arg(r.state);
        QJsonObject item{{QStringLiteral("port"), r.name}, {QStringLiteral("device"), r.device}, {QStringLiteral("opens"), r.opens}};
        if (!r.opens)
            item.insert(QStringLiteral("problem"), r.state);
        list.append(item);
    }
    o.fields.insert(QStringLiteral("ports"), list);
    o.summary = rows.isEmpty() ? QStringLiteral("COM-порты не найдены.") : QStringLiteral("Найдено портов: %1.").arg(rows.size());
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
    bool received = false;
    QObject::connect(&reader.od(), &OdController::tableReceived, [&] { received = true; });
    const qint64 from = s.meter.received();
    reader.od().btnReadOPClick(); // "Принять данные"
    const End end = s.wait([&] { return received; },
                           [&] {
                               const qint64 got = s.meter.received() - from;
                               return InstrumentSession::Progress{got, std::min(1.0, double(got) / 777.0)};
                           },
                           s.silenceMs());
    s.clearProgress();
    if (end != End::Done)
        return waitFailure(s, end, QStringLiteral("Таблица оптических плотностей не принята"));
    const QByteArray table = reader.od().OpText;
    // Above the plate: the time of reading as the reader keeps it, and the port as named here
    // (a device path given on the command line stands for itself).
    PlateMeta meta = reader.od().readingMeta();
    meta.port = QStringLiteral("%1, %2").arg(QDir::toNativeSeparators(s.portName()), s.link().settingsText());
    if (auto failed = writeReaderOutput(ReaderOutput::OdTable, out, table, false, meta))
        return *failed;
    Outcome o;
    o.summary = QStringLiteral("Оптические плотности приняты: %1 (%2 байт).").arg(native(out)).arg(table.size());
    o.fields.insert(QStringLiteral("file"), out);
    o.fields.insert(QStringLiteral("bytes"), table.size());
    s.addPortFields(o);
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
    bool received = false;
    QString refusal;
    QObject::connect(&protocol, &ProtocolController::protocolReceived, [&] { received = true; });
    QObject::connect(&protocol, &ProtocolController::protocolRefused, [&](const QString &why) { refusal = why; });
    const qint64 from = s.meter.received();
    protocol.btnReadProtokolClick(); // "Принять данные" on "Результаты"
    const End end = s.wait([&] { return received || !refusal.isEmpty(); },
                           [&] {
                               const qint64 got = s.meter.received() - from;
                               const double total = protocol.ProtokolLen > 0 ? protocol.ProtokolLen + 6.0 : 0.0;
                               return InstrumentSession::Progress{got, total > 0 ? std::min(1.0, double(got) / total) : -1.0};
                           },
                           s.silenceMs());
    s.clearProgress();
    if (end != End::Done)
        return waitFailure(s, end, QStringLiteral("Протокол результатов не принят"));
    if (!received) {
        Outcome o = Outcome::failed(QStringLiteral("Протокол результатов не принят: %1").arg(refusal),
                                    QStringLiteral("Проверьте, что измерение завершено и протокол готов, и повторите."));
        s.addPortFields(o);
        return o;
    }
    const QByteArray body = protocol.ProtokolStream;
    if (auto failed = writeReaderOutput(ReaderOutput::Protocol, out, body, false))
        return *failed;
    Outcome o;
    o.summary = QStringLiteral("Протокол результатов принят: %1 (%2 байт).").arg(native(out)).arg(body.size());
    o.fields.insert(QStringLiteral("file"), out);
    o.fields.insert(QStringLiteral("bytes"), body.size());
    s.addPortFields(o);
    return o;
}

// ---------------------------------------------------------------- database

// Pages (from 1) where two images differ; a page missing on one side differs.
QList<int> differingPages(const QByteArray &sent, const QByteArray &back)
{
    QList<int> out;
    const int pages = std::max(bdts::wholePages(sent), bdts::wholePages(back));
    for (int k = 0; k < pages; ++k)
        if (sent.mid(bdts::pageOffset(k), bdts::PageSize) != back.mid(bdts::pageOffset(k), bdts::PageSize))
            out << k + 1;
    return out;
}

QString pageList(const QList<int> &pages)
{
    QStringList out;
    for (int i = 0; i < pages.size() && i < 10; ++i)
        out << QString::number(pages.at(i));
    if (pages.size() > 10)
        out << QStringLiteral("… (всего %1)").arg(pages.size());
    return out.join(QStringLiteral(", "));
}

Outcome runDbRead(InstrumentSession &s, const QString &out)
{
    if (auto refused = s.requireWorking())
        return *refused;
    BdtsDatabase db(s.status, s.seam(), s.programDir);
    BdtsTransfer transfer(s.link(), s.status, db);
    BranchesOff off{s.link(), QByteArrayLiteral("Rrm")};
    bool completed = false, failed = false;
    QString failure;
    QObject::connect(&transfer, &BdtsTransfer::readCompleted, [&] { completed = true; });
    QObject::connect(&transfer, &BdtsTransfer::exchangeFailed, [&](const QString &text) {
        failed = true;
        failure = text;
    });
    const qint64 from = s.meter.received() + s.meter.sent();
    transfer.RequestBdtsRead();
    const End end = s.wait([&] { return completed || failed; },
                           [&] {
                               return InstrumentSession::Progress{s.meter.received() + s.meter.sent() - from,
                                                                  s.status.progress() / 100.0};
                           },
                           s.silenceMs());
    s.clearProgress();
    if (end != End::Done)
        return waitFailure(s, end, QStringLiteral("БД ТС не считана"));
    if (failed) {
        Outcome o = Outcome::failed(QStringLiteral("БД ТС не считана: %1").arg(failure.isEmpty() ? s.status.text() : failure),
                                    QStringLiteral("Повторите чтение; если ошибка повторяется, перезапустите прибор."));
        s.addPortFields(o);
        return o;
    }
    s.dialogs.lastError.clear();
    db.saveInstrumentImage(out); // "в файл..."
    if (!s.dialogs.lastError.isEmpty())
        return Outcome::failed(QStringLiteral("Не удалось записать файл: %1").arg(s.dialogs.lastError),
                               QStringLiteral("Укажите файл в папке, доступной для записи."));
    Outcome o;
    o.lines = listLines(db.sorList.tree());
    o.lines << db.view.sorDate << QStringLiteral("Тест-систем: %1, страниц: %2").arg(db.BdtsTsCount).arg(db.BdtsPagesToRead);
    o.summary = QStringLiteral("БД ТС прибора записана в файл %1.").arg(native(out));
    o.fields.insert(QStringLiteral("file"), out);
    o.fields.insert(QStringLiteral("testSystems"), db.BdtsTsCount);
    o.fields.insert(QStringLiteral("pages"), db.BdtsPagesToRead);
    o.fields.insert(QStringLiteral("dates"), db.view.sorDate);
    o.fields.insert(QStringLiteral("list"), QJsonArray::fromStringList(listLines(db.sorList.tree())));
    s.addPortFields(o);
    return o;
}

Outcome runDbWrite(InstrumentSession &s, const QString &in)
{
    BdtsDatabase db(s.status, s.seam(), s.programDir);
    // The file first: one that cannot be read or is no database never reaches the instrument.
    db.loadFile(in); // "из файла..." (a legacy file is converted beside it, as the program does)
    if (!db.BdtsFileStream) {
        const QString why = !s.dialogs.lastError.isEmpty() ? s.dialogs.lastError : s.status.text();
        return Outcome::failed(QStringLiteral("Файл не принят: %1").arg(why),
                               QStringLiteral("Укажите читаемый файл БД ТС (.bdts или .bdt)."));
    }
    if (auto refused = s.requireWorking())
        return *refused;
    BdtsTransfer transfer(s.link(), s.status, db);
    BranchesOff off{s.link(), QByteArrayLiteral("Rrm")};
    bool written = false, readBack = false, failed = false;
    QString failure;
    QObject::connect(&transfer, &BdtsTransfer::writeCompleted, [&] { written = true; });
    QObject::connect(&transfer, &BdtsTransfer::readCompleted, [&] { readBack = readBack || written; });
    QObject::connect(&transfer, &BdtsTransfer::exchangeFailed, [&](const QString &text) {
        failed = true;
        failure = text;
    });
    const qint64 from = s.meter.received() + s.meter.sent();
    transfer.startWrite(BdtsTransfer::Source::File); // file list "в прибор": backup, write, read-back
    const End end = s.wait([&] { return readBack || failed || !transfer.busy(); },
                           [&] {
                               // Three passes: the backup read, the write, the read-back.
                               const int pass = written ? 2 : transfer.state() == BdtsTransfer::State::Writing ? 1 : 0;
                               return InstrumentSession::Progress{s.meter.received() + s.meter.sent() - from,
                                                                  (pass + s.status.progress() / 100.0) / 3.0};
                           },
                           s.silenceMs());
    s.clearProgress();
    const QString backup = transfer.lastBackup();
    const QString restore = backup.isEmpty() ? QString()
                                             : QStringLiteral(" Прежняя БД прибора: %1 (kviro-cli db-write \"%1\").").arg(native(backup));
    const bool writeBegun = !backup.isEmpty();
    auto incomplete = [&](Outcome o) {
        if (writeBegun && !written) {
            o.summary += QStringLiteral(" БД ТС в приборе может быть неполной.");
            o.advice += restore;
        }
        if (!backup.isEmpty())
            o.fields.insert(QStringLiteral("backup"), backup);
        return o;
    };
    if (end != End::Done)
        return incomplete(waitFailure(s, end, QStringLiteral("Запись БД ТС не завершена")));
    if (failed || !readBack) {
        Outcome o = Outcome::failed(QStringLiteral("Запись БД ТС не выполнена: %1").arg(failure.isEmpty() ? s.status.text() : failure),
                                    QStringLiteral("Проверьте связь с прибором и повторите."));
        s.addPortFields(o);
        return incomplete(o);
    }
    // What was sent against what the instrument gives back, page by page.
    const QByteArray &sent = *db.BdtsFileStream;
    const QByteArray &back = transfer.instrumentImage();
    const QList<int> differ = differingPages(sent, back);
    const int pages = bdts::wholePages(sent);
    Outcome o;
    o.fields.insert(QStringLiteral("file"), in);
    o.fields.insert(QStringLiteral("pages"), pages);
    o.fields.insert(QStringLiteral("backup"), backup);
    QJsonArray differJson;
    for (int p : differ)
        differJson.append(p);
    o.fields.insert(QStringLiteral("differingPages"), differJson);
    s.addPortFields(o);
    if (!differ.isEmpty() || bdts::wholePages(back) != pages) {
        o.exitCode = exitcode::Failed;
        o.summary = QStringLiteral("Проверка записи: БД ТС в приборе отличается от файла (страницы %1 из %2).")
                        .arg(pageList(differ))
                        .arg(pages);
        o.advice = QStringLiteral("Запишите БД ещё раз; если расхождение повторяется, прибор неисправен.") + restore;
        return o;
    }
    o.summary = QStringLiteral("БД ТС записана в прибор и проверена чтением: %1 страниц. Резервная копия прежней БД: %2.")
                    .arg(pages)
                    .arg(native(backup));
    return o;
}

Outcome runDbList(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() && info.size() > bdts::MaxFileBytes)
        return Outcome::failed(QStringLiteral("Файл %1 слишком велик для БД ТС.").arg(native(path)));
    QByteArray bytes;
    QString why;
    if (!files::readWhole(path, &bytes, &why))
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
    const InstrumentMode mode = s.findInstrument(&failure);
    if (mode == InstrumentMode::None)
        return failure;
    if (mode == InstrumentMode::Working) {
        Outcome o = Outcome::failed(QStringLiteral("Прибор в рабочем режиме, а не в режиме программирования."),
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
    s.dialogs.openAnswer = QFileInfo(path).absoluteFilePath();
    wizard.btnOtherFileLoadPOClick(); // "Другой файл..." answered with IMAGE
    // The main window's link-state update, which the wizard follows through the restart.
    QObject::connect(&link, &InstrumentLink::tickFinished, &wizard, [&] {
        s.beginTick();
        s.status.setText(link.linkOn() ? QStringLiteral("Связь с прибором есть.") : QStringLiteral("Прибор выключен или не подключен к ПК."));
        wizard.linkUpdate();
        s.endTick();
    });
    bool sent = false;
    QString writeError;
    QObject::connect(&wizard.transfer(), &firmware::FirmwareTransfer::imageSent, [&] { sent = true; });
    QObject::connect(&wizard.transfer(), &firmware::FirmwareTransfer::writeFailed, [&](const QString &why) { writeError = why; });
    const qint64 stream = size + 8; // marker, length, image, checksum
    const qint64 from = s.meter.sent();
    s.dialogs.lastError.clear();
    wizard.btnLoadPOClick(); // "Загрузить программу в прибор"
    auto onLine = [&] { return std::clamp<qint64>(s.meter.sentOnLine() - from, 0, stream); };
    if (!s.dialogs.lastWarning.isEmpty() || !wizard.transfer().sending()) {
        const QString why = !s.dialogs.lastError.isEmpty() ? s.dialogs.lastError
                            : !s.dialogs.lastWarning.isEmpty() ? s.dialogs.lastWarning
                                                               : writeError;
        wizard.btnStopProgramSorClick();
        Outcome o = Outcome::failed(QStringLiteral("Загрузка не начата: %1").arg(why),
                                    QStringLiteral("Выключите прибор, включите его с указкой на экране и повторите."));
        s.addPortFields(o);
        return o;
    }
    const End end = s.wait([&] { return (sent && s.meter.queued() == 0) || !writeError.isEmpty(); },
                           [&] {
                               const qint64 done = onLine();
                               return InstrumentSession::Progress{done, double(done) / double(stream)};
                           });
    s.clearProgress();
    if (end != End::Done || !writeError.isEmpty()) {
        const qint64 done = onLine();
        wizard.btnStopProgramSorClick(); // "Отменить загрузку": no further chunk goes out
        const QString why = end == End::Interrupted ? QStringLiteral("прервано (Ctrl-C)")
                            : end == End::PortLost  ? QStringLiteral("связь потеряна (%1)").arg(s.meter.lostReason())
                                                    : writeError;
        Outcome o = Outcome::failed(QStringLiteral("Загрузка программы остановлена после %1 из %2 байт: %3.").arg(done).arg(stream).arg(why),
                                    QStringLiteral("Прибор нужно перезапустить: выключите его, включите с указкой на экране и "
                                                   "повторите flash."));
        o.fields.insert(QStringLiteral("bytesSent"), done);
        s.addPortFields(o);
        return o;
    }
    Outcome o;
    o.fields.insert(QStringLiteral("file"), path);
    o.fields.insert(QStringLiteral("bytesSent"), stream);
    s.addPortFields(o);
    if (options.noWait) {
        o.summary = QStringLiteral("Программа передана (%1 байт); прибор программирует её и перезапустится сам.").arg(size);
        o.fields.insert(QStringLiteral("restarted"), false);
        return o;
    }
    // The restart: the instrument erases and programs, then starts again (its port may vanish for
    // a moment). A boot loader that answers again instead has not taken the image.
    s.meter.clearLost();
    bool loaderAgain = false;
    QObject::connect(&link, &InstrumentLink::linkChanged, &wizard, [&] {
        if (link.linkOn() && link.instrumentInLoader())
            loaderAgain = true;
    });
    const End restart = s.wait([&] { return wizard.flags().ReprogramFinished || link.instrumentWorking() || loaderAgain; }, {}, 0,
                               options.restartTimeoutMs, false);
    if (restart == End::Done && !loaderAgain) {
        o.summary = QStringLiteral("Перепрограммирование прибора завершено: прибор перезапустился и отвечает.");
        o.fields.insert(QStringLiteral("restarted"), true);
        return o;
    }
    o.exitCode = exitcode::Failed;
    o.fields.insert(QStringLiteral("restarted"), false);
    if (loaderAgain) {
        o.summary = QStringLiteral("Прибор остался в режиме программирования: программа не принята.");
        o.advice = QStringLiteral("Проверьте файл программы, выключите прибор, включите его с указкой на экране и повторите flash.");
    } else if (restart == End::Interrupted) {
        o.summary = QStringLiteral("Ожидание перезапуска прервано (Ctrl-C); программа передана полностью.");
        o.advice = QStringLiteral("Проверьте экран прибора: после программирования он перезапускается сам.");
    } else {
        o.summary = QStringLiteral("Прибор не перезапустился за %1 с после передачи программы.").arg(options.restartTimeoutMs / 1000);
        o.advice = QStringLiteral("Проверьте экран прибора; если он не перезапустился, выключите и включите его и проверьте "
                                  "версию программы (kviro-cli probe).");
    }
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
        return runDbWrite(session, arg);
    if (c == QLatin1String("flash"))
        return runFlash(session, options, arg);
    return Outcome::usage(QStringLiteral("неизвестная команда %1").arg(c));
}
