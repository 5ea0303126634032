#include "DrawLog.h"

#include "Announcement.h"
#include "Prizes.h"

#include "dataset/DatasetError.h"
#include "dataset/DatasetFile.h"
#include "dataset/FieldDef.h"
#include "dataset/WorkDir.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QLockFile>
#include <QtEndian>

#include <cerrno>
#include <limits>
#include <map>

namespace bolaris {

namespace {

enum Column { Sorteio, Evento, Hora, Tipo, Modo, Pedra, Cantos, Linha, Linhas2, Premio, Cartela, Serie, Cartao,
              Texto, Dados, Selo, kColumnCount };
constexpr size_t kUnsealedColumns = Dados;

// A run of an electronic draw's rows that a reader may keep out for a while
// is held in memory; beyond this the oldest are given up.
constexpr size_t kMaxPending = 100000;

QString now() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")); }

} // namespace

std::vector<FieldDef> DrawLogWriter::fields()
{
    std::vector<FieldDef> all = unsealedFields();
    all.push_back({QStringLiteral("Dados"), FieldType::Bytes, 0, false});
    all.push_back({QStringLiteral("Selo"), FieldType::Bytes, 0, false});
    return all;
}

std::vector<FieldDef> DrawLogWriter::unsealedFields()
{
    return {{QStringLiteral("Sorteio"), FieldType::Integer, 0, true},
            {QStringLiteral("Evento"), FieldType::Integer, 0, true},
            {QStringLiteral("Hora"), FieldType::String, 23, false},
            {QStringLiteral("Tipo"), FieldType::String, 10, false},
            {QStringLiteral("Modo"), FieldType::String, 10, false},
            {QStringLiteral("Pedra"), FieldType::Integer, 0, false},
            {QStringLiteral("Cantos"), FieldType::Integer, 0, false},
            {QStringLiteral("Linha"), FieldType::Integer, 0, false},
            {QStringLiteral("Linhas2"), FieldType::Integer, 0, false},
            {QStringLiteral("Premio"), FieldType::String, 10, false},
            {QStringLiteral("Cartela"), FieldType::Integer, 0, false},
            {QStringLiteral("Serie"), FieldType::String, 1, false},
            {QStringLiteral("Cartao"), FieldType::Integer, 0, false},
            {QStringLiteral("Texto"), FieldType::String, 250, false}};
}

DrawLogWriter::DrawLogWriter(const QString &dir) : m_dir(dir) {}
DrawLogWriter::~DrawLogWriter()
{
    // Left as one file with everything in it, for readers that cannot make
    // the journal files (a read-only folder) and for plain copies.
    if (m_file) {
        try {
            m_file->setJournal(DatasetFile::Journal::Rollback);
        } catch (const DatasetError &) {
            // Another program still reads it: the journal stays until the next start.
        }
    }
}

void DrawLogWriter::fail(const QString &english, const QString &portuguese)
{
    m_english = english;
    m_portuguese = portuguese;
    m_file.reset(); // a fresh connection next time
}

bool DrawLogWriter::open()
{
    if (m_file)
        return true;
    const QString path = logPath(m_dir);
    const QDir dir(m_dir);
    try {
        try {
            if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
                // Journal files of a log that is gone belong to no file now.
                for (const char *side : {"-wal", "-shm"})
                    QFile::remove(path + QLatin1String(side));
                DatasetFile::save(path, fields(), {});
            }
            checkFields(path);
        } catch (const DatasetError &e) {
            if (e.kind() != DatasetError::Kind::Damaged)
                throw;
            // Kept under another name, never overwritten, with its journal
            // (the rows not yet in the file itself); a new log starts.
            const QString aside = QStringLiteral("%1.danificado-%2")
                                      .arg(QFileInfo(path).fileName(),
                                           QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
            if (!QFile::rename(path, dir.filePath(aside)))
                throw;
            QFile::rename(path + QLatin1String("-wal"), dir.filePath(aside + QLatin1String("-wal")));
            QFile::remove(path + QLatin1String("-shm"));
            DatasetFile::save(path, fields(), {});
            m_notice = QStringLiteral("O registro dos sorteios %1 estava danificado e foi guardado como \"%2\"; "
                                      "um novo registro foi iniciado.")
                           .arg(QLatin1String(kFileName), aside);
        }
        m_file = std::make_unique<DatasetFile>(path, DatasetFile::Journal::WriteAhead);
        m_file->setBusyTimeout(0); // never wait: a ball event must not
        // A log of an earlier version takes the fields of the seal; its rows
        // stay as they were, unsealed.
        if (DatasetFile::fieldsOf(path) == unsealedFields()) {
            const std::vector<FieldDef> all = fields();
            m_file->addFields({all.begin() + kUnsealedColumns, all.end()});
        }
        if (!m_ownerLock) {
            // The writer that holds the folder's log lock is the only one
            // drawing here: a draw left open in the file was cut short.
            m_ownerLock = std::make_unique<QLockFile>(dir.filePath(QLatin1String(kLockName)));
            m_ownerLock->setStaleLockTime(0);
            m_closeInterrupted = m_ownsLog = m_ownerLock->tryLock(0);
        }
        return true;
    } catch (const DatasetError &e) {
        fail(e.message(), e.forOperator());
        return false;
    }
}

QString DrawLogWriter::logPath(const QString &dir)
{
    // Any entry of the name counts, not only a regular file, so a folder or a
    // FIFO in its place is reported as what it is.
    const QStringList names = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names)
        if (name.compare(QLatin1String(kFileName), Qt::CaseInsensitive) == 0)
            return QDir(dir).filePath(name);
    return QDir(dir).filePath(QLatin1String(kFileName));
}

void DrawLogWriter::checkFields(const QString &path)
{
    const std::vector<FieldDef> found = DatasetFile::fieldsOf(path);
    if (found != fields() && found != unsealedFields())
        throw DatasetError(QStringLiteral("%1: is not a draw log (other fields)").arg(QLatin1String(kFileName)),
                           DatasetError::Kind::Damaged);
}

void DrawLogWriter::scanRows(const QString &path, const std::function<void(const Row &)> &visit,
                             std::optional<int> draw)
{
    std::vector<FieldDef> found;
    bool checked = false;
    const auto check = [&] {
        if (found != fields() && found != unsealedFields())
            throw DatasetError(QStringLiteral("%1: is not a draw log (other fields)").arg(QLatin1String(kFileName)),
                               DatasetError::Kind::Damaged);
        checked = true;
    };
    DatasetFile::forEachRow(
        path,
        [&](const Row &row) {
            if (!checked)
                check();
            if (row.size() >= kColumnCount) {
                visit(row);
                return;
            }
            Row full = row; // a log of an earlier version: no data, no seal
            full.resize(kColumnCount);
            visit(full);
        },
        &found, draw ? std::optional<DatasetFile::Where>({Sorteio, *draw}) : std::nullopt);
    if (!checked)
        check();
}

namespace {

// The seal of a row: SHA-256 over the seal before it and the row's fields,
// each told by its kind and length so that no two rows read alike.
QByteArray sealOf(const QByteArray &before, const Row &row)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(before);
    for (size_t c = 0; c < Selo; ++c) {
        const QVariant &v = c < row.size() ? row[c] : QVariant();
        char head[5];
        QByteArray bytes;
        if (!v.isValid() || v.isNull()) {
            hash.addData(QByteArrayView("\0", 1));
            continue;
        }
        if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) {
            head[0] = 1;
            char number[8];
            qToBigEndian<qint64>(v.toLongLong(), number);
            hash.addData(QByteArrayView(head, 1));
            hash.addData(QByteArrayView(number, 8));
            continue;
        }
        if (v.typeId() == QMetaType::QByteArray) {
            head[0] = 3;
            bytes = v.toByteArray();
        } else {
            head[0] = 2;
            bytes = v.toString().toUtf8();
        }
        qToBigEndian<quint32>(quint32(bytes.size()), head + 1);
        hash.addData(QByteArrayView(head, 5));
        hash.addData(bytes);
    }
    return hash.result();
}

const QByteArray &noSeal()
{
    static const QByteArray zeros(32, '\0');
    return zeros;
}

} // namespace

bool DrawLogWriter::flush()
{
    if (m_pending.empty() && !(m_file && m_closeInterrupted))
        return true;
    if (!open())
        return false;
    try {
        m_file->begin();
        int current = m_draw;
        try {
            // The chain goes on from the file's last row, whoever wrote it.
            const std::vector<Row> last =
                m_file->query(QStringLiteral("SELECT f%1 FROM records ORDER BY rowid DESC LIMIT 1").arg(Selo).toLatin1());
            QByteArray seal = !last.empty() && last[0][0].toByteArray().size() == 32 ? last[0][0].toByteArray() : noSeal();
            const auto insert = [&](Row row) {
                row.resize(kColumnCount);
                row[Selo] = seal = sealOf(seal, row);
                m_file->insert(row);
            };
            if (m_closeInterrupted)
                closeInterrupted(insert);
            // A draw not yet in the file takes its number here, in the
            // transaction that writes its first row: two writers in one
            // folder never share a number.
            qint64 next = -1;
            std::map<int, int> numbers; // a draw's stand-in (negative) number to its own
            for (Row &row : m_pending) {
                const int draw = row[Sorteio].toInt();
                if (draw > 0)
                    continue;
                auto it = numbers.find(draw);
                if (it == numbers.end()) {
                    if (next < 0)
                        next = m_file->maxOf(Sorteio) + 1;
                    if (next > std::numeric_limits<int>::max())
                        throw DatasetError(QStringLiteral("%1: the draw numbers are used up").arg(QLatin1String(kFileName)),
                                           DatasetError::Kind::Other,
                                           QStringLiteral("O registro dos sorteios %1 chegou ao maior número de "
                                                          "sorteio; guarde-o com outro nome para começar um novo.")
                                               .arg(QLatin1String(kFileName)));
                    it = numbers.emplace(draw, int(next++)).first;
                }
                if (draw == -m_localDraw)
                    current = it->second;
            }
            for (const Row &row : m_pending) {
                const int draw = row[Sorteio].toInt();
                if (draw > 0) {
                    insert(row);
                } else {
                    Row numbered = row;
                    numbered[Sorteio] = numbers[draw];
                    insert(std::move(numbered));
                }
            }
            m_file->commit();
            m_closeInterrupted = false;
        } catch (...) {
            try {
                m_file->rollback();
            } catch (...) {
            }
            throw;
        }
        m_pending.clear();
        if (m_localDraw && m_draw <= 0 && current > 0 && m_inDraw)
            m_draw = current;
        m_english.clear();
        m_portuguese.clear();
        return true;
    } catch (const DatasetError &e) {
        if (e.systemError() == EBUSY)
            return true; // another program is reading the log: written with the next event
        fail(e.message(), e.forOperator());
        return false;
    }
}

void DrawLogWriter::closeInterrupted(const std::function<void(Row)> &insert)
{
    // Each draw whose last row is no end (a crash, a power cut, after a
    // resumption too): its number, last event and that event's time. SQLite
    // takes the bare columns from the row of the max().
    const std::vector<Row> open = m_file->query(
        QStringLiteral("SELECT f%1, max(f%2), f%3 FROM records GROUP BY f%1").arg(Sorteio).arg(Evento).arg(Tipo).toLatin1());
    for (const Row &draw : open) {
        if (draw[2].toString() == QLatin1String("fim"))
            continue;
        const std::vector<Row> time = m_file->query(QStringLiteral("SELECT max(f%1) FROM records WHERE f%2 = %3")
                                                        .arg(Hora)
                                                        .arg(Sorteio)
                                                        .arg(draw[0].toLongLong())
                                                        .toLatin1());
        Row end(kColumnCount);
        end[Sorteio] = draw[0];
        end[Evento] = draw[1].toLongLong() + 1;
        end[Hora] = time.empty() ? QVariant() : time[0][0];
        end[Tipo] = QStringLiteral("fim");
        end[Texto] = QLatin1String(kInterrupted);
        insert(std::move(end));
    }
}

bool DrawLogWriter::append(std::vector<QVariant> row)
{
    row.resize(kColumnCount);
    row[Sorteio] = m_draw > 0 ? m_draw : -m_localDraw;
    row[Evento] = ++m_event;
    // An announcement has the time of its ball event.
    const QString kind = row[Tipo].toString();
    if (kind != QLatin1String("texto") && kind != QLatin1String("vencedor") && kind != QLatin1String("repete"))
        row[Hora] = now();
    if (m_pending.size() >= kMaxPending) {
        const QString kind = m_pending.front()[Tipo].toString();
        m_dropped += kind != QLatin1String("texto") && kind != QLatin1String("vencedor")
                     && kind != QLatin1String("repete");
        m_pending.erase(m_pending.begin());
    }
    m_pending.push_back(std::move(row));
    return true;
}

bool DrawLogWriter::startDraw(DrawMode mode, const CompetingSet &competing)
{
    // Numbered when first written (see flush()).
    m_draw = 0;
    ++m_localDraw;
    m_inDraw = true;
    m_event = 0;
    m_last = {};
    std::vector<QVariant> row(kColumnCount);
    row[Tipo] = QStringLiteral("inicio");
    row[Modo] = mode == DrawMode::Electronic ? QStringLiteral("eletronico") : QStringLiteral("manual");
    row[Dados] = competing.toBytes();
    append(std::move(row));
    return flush();
}

bool DrawLogWriter::ball(const BallEvent &event, const PrizeSwitches &switches)
{
    if (!m_inDraw)
        return true;
    std::vector<QVariant> row(kColumnCount);
    row[Tipo] = event.drawn ? QStringLiteral("pedra") : QStringLiteral("retirada");
    row[Pedra] = event.ball;
    row[Cantos] = int(switches.cantos);
    row[Linha] = int(switches.linha);
    row[Linhas2] = int(switches.twoRows);
    append(std::move(row));
    return flush();
}

bool DrawLogWriter::scan(const ScanReport &report)
{
    if (!m_inDraw)
        return true;
    Announcement announcement = Announcement::of(report);
    if (announcement.isEmpty())
        return flush();
    // One row: what changed since the announcement before.
    std::vector<QVariant> row(kColumnCount);
    row[Tipo] = QStringLiteral("anuncio");
    row[Dados] = announcement.encode(m_last);
    append(std::move(row));
    m_last = std::move(announcement);
    return flush();
}

bool DrawLogWriter::endDraw(bool interrupted)
{
    if (!m_inDraw)
        return true;
    std::vector<QVariant> row(kColumnCount);
    row[Tipo] = QStringLiteral("fim");
    if (interrupted)
        row[Texto] = QLatin1String(kInterrupted);
    append(std::move(row));
    m_inDraw = false;
    m_draw = 0;
    return flush();
}

int DrawLogWriter::lastEvent(int draw)
{
    const std::vector<Row> last =
        m_file->query(QStringLiteral("SELECT max(f%1) FROM records WHERE f%2 = %3").arg(Evento).arg(Sorteio).arg(draw).toLatin1());
    return last.empty() ? 0 : last[0][0].toInt();
}

bool DrawLogWriter::closeOpenDraws()
{
    // open() takes the folder's log when it can; the next flush closes the
    // draws left open even with nothing else to write.
    return open() && flush();
}

std::optional<DrawLogWriter::Interrupted> DrawLogWriter::interruptedDraw()
{
    if (!closeOpenDraws() || !m_ownsLog || !flush())
        return std::nullopt;
    try {
        const int last = int(m_file->maxOf(Sorteio));
        if (last <= 0)
            return std::nullopt;
        const std::vector<Row> rows = m_file->query(
            QStringLiteral("SELECT f%1, f%2, f%3, f%4 FROM records WHERE f%5 = %6 ORDER BY rowid")
                .arg(Tipo)
                .arg(Pedra)
                .arg(Texto)
                .arg(Modo)
                .arg(Sorteio)
                .arg(last)
                .toLatin1());
        Interrupted cut;
        cut.draw = last;
        QString end;
        for (const Row &row : rows) {
            const QString kind = row[0].toString();
            if (kind == QLatin1String("pedra") || kind == QLatin1String("retirada")) {
                cut.balls += kind == QLatin1String("pedra") ? 1 : -1;
                cut.lastBall = row[1].toInt();
            } else if (kind == QLatin1String("inicio")) {
                cut.mode = row[3].toString() == QLatin1String("eletronico") ? DrawMode::Electronic : DrawMode::Manual;
            }
            end = kind == QLatin1String("fim") ? row[2].toString() : QString();
        }
        if (end != QLatin1String(kInterrupted))
            return std::nullopt;
        return cut;
    } catch (const DatasetError &e) {
        fail(e.message(), e.forOperator());
        return std::nullopt;
    }
}

bool DrawLogWriter::resumeDraw(int number, DrawMode mode)
{
    if (!closeOpenDraws() || !flush())
        return false;
    try {
        m_event = lastEvent(number);
    } catch (const DatasetError &e) {
        fail(e.message(), e.forOperator());
        return false;
    }
    m_draw = number;
    m_inDraw = true;
    // The announcement after the break is written whole: readers start it
    // afresh at the resumption.
    m_last = {};
    std::vector<QVariant> row(kColumnCount);
    row[Tipo] = QStringLiteral("retomada");
    row[Modo] = mode == DrawMode::Electronic ? QStringLiteral("eletronico") : QStringLiteral("manual");
    append(std::move(row));
    return flush();
}

bool DrawLogWriter::declineDraw(int number)
{
    if (!closeOpenDraws() || !flush())
        return false;
    int event = 0;
    try {
        event = lastEvent(number);
    } catch (const DatasetError &e) {
        fail(e.message(), e.forOperator());
        return false;
    }
    std::vector<QVariant> row(kColumnCount);
    row[Tipo] = QStringLiteral("fim");
    row[Texto] = QString::fromUtf8(kDeclined);
    row.resize(kColumnCount);
    row[Sorteio] = number;
    row[Evento] = event + 1;
    row[Hora] = now();
    m_pending.push_back(std::move(row));
    return flush();
}

std::map<int, qint64> DrawLogWriter::rowsPerDraw(const QString &dir)
{
    std::map<int, qint64> rows;
    const QString path = logPath(dir);
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return rows;
    checkFields(path);
    for (const auto &[draw, count] : DatasetFile::countsOf(path, Sorteio))
        rows[draw.toInt()] += count;
    return rows;
}

void DrawLogWriter::forEach(const QString &dir, const std::function<void(const Entry &)> &visit,
                            std::optional<int> draw)
{
    const QString path = logPath(dir);
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return;
    scanRows(path, [&visit](const Row &row) {
        Entry e;
        e.draw = row[Sorteio].toInt();
        e.event = row[Evento].toInt();
        e.time = row[Hora].toString();
        e.kind = row[Tipo].toString();
        e.mode = row[Modo].toString();
        e.ball = row[Pedra].toInt();
        e.switches = {row[Cantos].toInt() != 0, row[Linha].toInt() != 0, row[Linhas2].toInt() != 0};
        e.prize = row[Premio].toString();
        const QString serie = row[Serie].toString();
        if (e.kind == QLatin1String("repete")) {
            // Logs of earlier versions name the list in Premio.
            if (e.prize.isEmpty())
                e.prize = row[Pedra].toInt() == 0 ? QStringLiteral("texto") : QStringLiteral("vencedor");
            e.ball = 0;
            e.from = row[Cartela].toInt();
            e.count = row[Cartao].toInt();
        } else {
            e.ticket = {row[Cartela].toInt(), serie.isEmpty() ? QChar() : serie.at(0), row[Cartao].toInt()};
        }
        e.text = row[Texto].toString();
        e.data = row[Dados].toByteArray();
        e.seal = row[Selo].toByteArray();
        visit(e);
    }, draw);
}

std::vector<DrawLogWriter::Entry> DrawLogWriter::read(const QString &dir)
{
    std::vector<Entry> entries;
    forEach(dir, [&entries](const Entry &e) { entries.push_back(e); });
    return entries;
}

int DrawLogWriter::pendingEvents() const
{
    int events = 0;
    for (const Row &row : m_pending) {
        const QString kind = row[Tipo].toString();
        events += kind == QLatin1String("inicio") || kind == QLatin1String("pedra") ||
                  kind == QLatin1String("retirada") || kind == QLatin1String("fim") ||
                  kind == QLatin1String("retomada");
    }
    return events;
}

QString DrawLogWriter::sealText(const QByteArray &seal)
{
    const QString hex = QString::fromLatin1(seal.left(8).toHex().toUpper());
    QStringList groups;
    for (qsizetype i = 0; i < hex.size(); i += 4)
        groups << hex.mid(i, 4);
    return groups.join(QLatin1Char(' '));
}

DrawLogWriter::Check DrawLogWriter::verify(const QString &dir)
{
    Check check;
    const QString path = logPath(dir);
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return check;
    QByteArray before = noSeal();
    bool sealing = false;        // a sealed row was met: every later row must be sealed
    std::map<int, int> lastEvent; // per draw, the last event met
    QSet<QByteArray> seals;
    QSet<int> sealedDraws;
    const auto fault = [&check](int draw, int event, Check::Fault what) {
        if (!check.intact)
            return;
        check.intact = false;
        check.draw = draw;
        check.event = event;
        check.fault = what;
    };
    scanRows(path, [&](const Row &row) {
        if (!check.intact)
            return;
        const int draw = row[Sorteio].toInt(), event = row[Evento].toInt();
        const QByteArray seal = row[Selo].toByteArray();
        const auto known = lastEvent.find(draw);
        const int expected = known == lastEvent.end() ? 1 : known->second + 1;
        if (seal.isEmpty()) {
            if (sealing)
                return fault(draw, event, Check::Fault::Inserted);
            ++check.unsealedRows;
            lastEvent[draw] = event;
            return;
        }
        ++check.sealedRows;
        const bool chained = sealOf(before, row) == seal;
        const bool first = !sealing;
        sealing = true;
        if (event < expected || seals.contains(seal))
            return fault(draw, event, Check::Fault::Inserted); // a copy, or an event told twice
        if (event > expected && !(first && known == lastEvent.end()))
            return fault(draw, expected, Check::Fault::Removed);
        if (!chained) {
            // A draw's first row after a draw taken out whole, the first row
            // left of a draw whose earlier rows are gone, or a row changed.
            const int highest = lastEvent.empty() ? 0 : lastEvent.rbegin()->first;
            if (known == lastEvent.end() && event == 1 && highest > 0 && draw > highest + 1)
                return fault(highest + 1, 1, Check::Fault::Removed);
            return fault(draw, event, known == lastEvent.end() && event > 1 ? Check::Fault::Removed : Check::Fault::Changed);
        }
        seals.insert(seal);
        sealedDraws.insert(draw);
        lastEvent[draw] = event;
        before = seal;
    });
    // A whole draw taken out leaves a gap in the numbers of the sealed draws.
    int previous = 0;
    for (const auto &[draw, event] : lastEvent) {
        if (check.intact && previous > 0 && draw > previous + 1 && sealedDraws.contains(draw))
            fault(previous + 1, 1, Check::Fault::Removed);
        previous = draw;
    }
    return check;
}

QString DrawLogAnnouncements::winnerText(const QString &prize, const TicketRef &t)
{
    return Announcement::winnerText(prize, t);
}

bool DrawLogAnnouncements::take(const DrawLogWriter::Entry &e)
{
    const bool text = e.kind == QLatin1String("texto"), winner = e.kind == QLatin1String("vencedor");
    const bool compact = e.kind == QLatin1String("anuncio");
    if (!text && !winner && !compact && e.kind != QLatin1String("repete")) {
        if (m_open && !m_compactNow)
            m_last = m_current; // a run of an earlier version's rows repeats from it
        m_open = false;
        if (e.kind == QLatin1String("inicio") || e.kind == QLatin1String("retomada")) {
            m_last = {};
            m_restarted = true; // the announcement before stays readable until the next
        }
        return false;
    }
    if (!m_open || compact) {
        m_open = true;
        m_current = {};
        m_compactNow = false;
        m_texts = false;
    }
    if (compact) {
        std::optional<Announcement> next = Announcement::decode(e.data, m_restarted ? Announcement() : m_lastCompact, &m_fresh);
        if (!next) {
            m_broken = true;
            next = Announcement();
            m_fresh.clear();
        }
        m_lastCompact = std::move(*next);
        m_compactNow = true;
        m_restarted = false;
    } else if (text) {
        m_current.lines << e.text;
    } else if (winner) {
        m_current.winners << winnerText(e.prize, e.ticket);
    } else if (e.prize == QLatin1String("texto")) {
        copy(m_last.lines, m_current.lines, e.from, e.count);
    } else {
        copy(m_last.winners, m_current.winners, e.from, e.count);
    }
    return true;
}

const DrawLogAnnouncements::Announced &DrawLogAnnouncements::current() const
{
    if (m_compactNow && !m_texts) {
        m_current = {m_lastCompact.memoLines(), m_lastCompact.winnerTexts()};
        m_texts = true;
    }
    return m_current;
}

void DrawLogAnnouncements::copy(const QStringList &from, QStringList &to, int start, int count)
{
    if (start < 0 || count < 0 || qsizetype(start) + count > from.size()) {
        m_broken = true;
        return;
    }
    to.append(from.mid(start, count));
}

DrawLog::DrawLog(const QString &dir) : m_writer(dir), m_thread([this] { run(); }) {}

DrawLog::~DrawLog() { close(); }

int DrawLog::close()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return m_lost;
        m_stop = true;
        m_closed = true;
    }
    m_wake.notify_all();
    m_thread.join();
    m_lost = m_writer.pendingEvents() + m_writer.droppedEvents();
    return m_lost;
}

void DrawLog::setListener(QObject *context, Listener listener)
{
    std::lock_guard lock(m_mutex);
    m_context = context;
    m_listener = std::move(listener);
}

void DrawLog::post(std::function<bool(DrawLogWriter &)> task)
{
    std::unique_lock lock(m_mutex);
    if (m_closed)
        return;
    m_tasks.push_back(std::move(task));
    const quint64 mine = ++m_posted;
    m_wake.notify_all();
    m_idle.wait_for(lock, std::chrono::milliseconds(kBudgetMs), [this, mine] { return m_done >= mine; });
}

void DrawLog::startDraw(DrawMode mode, const CompetingSet &competing)
{
    post([mode, competing](DrawLogWriter &w) { return w.startDraw(mode, competing); });
}

void DrawLog::ball(const BallEvent &event, const PrizeSwitches &switches)
{
    post([event, switches](DrawLogWriter &w) { return w.ball(event, switches); });
}

void DrawLog::scan(const ScanReport &report)
{
    post([report](DrawLogWriter &w) { return w.scan(report); });
}

void DrawLog::endDraw(bool interrupted)
{
    post([interrupted](DrawLogWriter &w) { return w.endDraw(interrupted); });
}

void DrawLog::resumeDraw(int number, DrawMode mode)
{
    post([number, mode](DrawLogWriter &w) { return w.resumeDraw(number, mode); });
}

void DrawLog::declineDraw(int number)
{
    post([number](DrawLogWriter &w) { return w.declineDraw(number); });
}

std::optional<DrawLogWriter::Interrupted> DrawLog::interruptedDraw()
{
    std::optional<DrawLogWriter::Interrupted> found;
    post([&found](DrawLogWriter &w) {
        found = w.interruptedDraw();
        return true;
    });
    drain(); // the answer is wanted now: opening the panel waits for the file
    return found;
}

int DrawLog::currentDraw()
{
    std::lock_guard lock(m_mutex);
    return m_current;
}

void DrawLog::drain()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_tasks.empty() && !m_busy; });
}

void DrawLog::run()
{
    bool failing = false;
    std::unique_lock lock(m_mutex);
    for (;;) {
        // Rows a reader kept out are tried again a little later.
        const auto retryAfter = std::chrono::milliseconds(200);
        if (m_tasks.empty() && !m_stop && m_writer.hasPending())
            m_wake.wait_for(lock, retryAfter);
        else
            m_wake.wait(lock, [this] { return !m_tasks.empty() || m_stop; });
        if (m_tasks.empty() && m_stop)
            break;
        std::function<bool(DrawLogWriter &)> task;
        if (!m_tasks.empty()) {
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        m_busy = true;
        lock.unlock();
        const bool written = task ? task(m_writer) : m_writer.retry();
        const QString notice = m_writer.takeNotice();
        const QString failure = written ? QString() : m_writer.failurePortuguese();
        const int current = m_writer.currentDraw();
        lock.lock();
        m_current = current;
        m_busy = false;
        if (task)
            ++m_done;
        if ((!written || failing || !notice.isEmpty()) && m_listener && m_context) {
            // Told on the listener's thread: every failure, and the recovery after one.
            QMetaObject::invokeMethod(m_context.data(), [listener = m_listener, failure, notice] {
                listener(failure, notice);
            }, Qt::QueuedConnection);
        }
        failing = !written;
        m_idle.notify_all();
    }
    // At the end, rows a reader kept out get a few more chances.
    lock.unlock();
    for (int i = 0; i < 10 && m_writer.hasPending(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        m_writer.retry();
    }
    lock.lock();
    m_idle.notify_all();
}

} // namespace bolaris
