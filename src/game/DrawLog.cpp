#include "DrawLog.h"

#include "dataset/DatasetError.h"
#include "dataset/DatasetFile.h"
#include "dataset/FieldDef.h"
#include "dataset/WorkDir.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>

#include <cerrno>
#include <limits>
#include <map>

namespace bolaris {

namespace {

enum Column { Sorteio, Evento, Hora, Tipo, Modo, Pedra, Cantos, Linha, Linhas2, Premio, Cartela, Serie, Cartao,
              Texto, kColumnCount };

// A run of an electronic draw's rows that a reader may keep out for a while
// is held in memory; beyond this the oldest are given up.
constexpr size_t kMaxPending = 100000;

QString now() { return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")); }

} // namespace

std::vector<FieldDef> DrawLogWriter::fields()
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
        if (!m_ownerLock) {
            // The writer that holds the folder's log lock is the only one
            // drawing here: a draw left open in the file was cut short.
            m_ownerLock = std::make_unique<QLockFile>(dir.filePath(QLatin1String(kLockName)));
            m_ownerLock->setStaleLockTime(0);
            m_closeInterrupted = m_ownerLock->tryLock(0);
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
    if (DatasetFile::fieldsOf(path) != fields())
        throw DatasetError(QStringLiteral("%1: is not a draw log (other fields)").arg(QLatin1String(kFileName)),
                           DatasetError::Kind::Damaged);
}

void DrawLogWriter::scanRows(const QString &path, const std::function<void(const Row &)> &visit)
{
    std::vector<FieldDef> found;
    bool checked = false;
    const auto check = [&] {
        if (found != fields())
            throw DatasetError(QStringLiteral("%1: is not a draw log (other fields)").arg(QLatin1String(kFileName)),
                               DatasetError::Kind::Damaged);
        checked = true;
    };
    DatasetFile::forEachRow(
        path,
        [&](const Row &row) {
            if (!checked)
                check();
            visit(row);
        },
        &found);
    if (!checked)
        check();
}

bool DrawLogWriter::flush()
{
    if (m_pending.empty())
        return true;
    if (!open())
        return false;
    try {
        m_file->begin();
        int current = m_draw;
        try {
            if (m_closeInterrupted)
                closeInterrupted();
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
                    m_file->insert(row);
                } else {
                    Row numbered = row;
                    numbered[Sorteio] = numbers[draw];
                    m_file->insert(numbered);
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

void DrawLogWriter::closeInterrupted()
{
    // Each draw without an end row: its number, last event and that event's time.
    const std::vector<Row> open = m_file->query(
        QStringLiteral("SELECT f%1, max(f%2), max(f%3) FROM records GROUP BY f%1 HAVING sum(f%4 = 'fim') = 0")
            .arg(Sorteio)
            .arg(Evento)
            .arg(Hora)
            .arg(Tipo)
            .toLatin1());
    for (const Row &draw : open) {
        Row end(kColumnCount);
        end[Sorteio] = draw[0];
        end[Evento] = draw[1].toLongLong() + 1;
        end[Hora] = draw[2]; // the time of its last event, when it stopped
        end[Tipo] = QStringLiteral("fim");
        end[Texto] = QLatin1String(kInterrupted);
        m_file->insert(end);
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

bool DrawLogWriter::startDraw(DrawMode mode)
{
    // Numbered when first written (see flush()).
    m_draw = 0;
    ++m_localDraw;
    m_inDraw = true;
    m_event = 0;
    m_lastLines.clear();
    m_lastWinners.clear();
    std::vector<QVariant> row(kColumnCount);
    row[Tipo] = QStringLiteral("inicio");
    row[Modo] = mode == DrawMode::Electronic ? QStringLiteral("eletronico") : QStringLiteral("manual");
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

namespace {

QString winnerKey(const QString &prize, const TicketRef &t)
{
    return QStringLiteral("%1|%2|%3|%4").arg(prize).arg(t.card).arg(t.series).arg(t.ticket);
}

// Splits items into runs copied from previous (start, count) and single new
// items (start -1): a later scan repeats most of the one before.
std::vector<std::pair<int, int>> copyRuns(const QStringList &items, const QStringList &previous)
{
    QHash<QString, int> where;
    for (int i = int(previous.size()) - 1; i >= 0; --i)
        where.insert(previous[i], i);
    std::vector<std::pair<int, int>> runs;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!runs.empty() && runs.back().first >= 0) {
            auto &[from, count] = runs.back();
            if (from + count < previous.size() && previous[from + count] == items[i]) {
                ++count;
                continue;
            }
        }
        const auto found = where.constFind(items[i]);
        runs.emplace_back(found != where.cend() ? found.value() : -1, found != where.cend() ? 1 : int(i));
    }
    return runs;
}

} // namespace

bool DrawLogWriter::scan(const ScanReport &report)
{
    if (!m_inDraw)
        return true;
    QStringList lines;
    for (const QString &line : report.memoLines())
        lines << line.left(250);
    QStringList winners;
    for (qsizetype i = 0; i < report.winners.size(); ++i)
        winners << winnerKey(report.prizes.value(i), report.winners[i]);
    if (lines.isEmpty() && winners.isEmpty())
        return flush();
    // What was announced before is not written again: a row names the run
    // of the previous announcement that is repeated, of its text (Pedra 0)
    // or of its winners (Pedra 1); SQLite stores 0 and 1 in no bytes at all.
    const auto repeat = [this](const QString &of, int from, int count) {
        std::vector<QVariant> row(kColumnCount);
        row[Tipo] = QStringLiteral("repete");
        row[Pedra] = of == QLatin1String("texto") ? 0 : 1;
        row[Cartela] = from;
        row[Cartao] = count;
        append(std::move(row));
    };
    for (const auto &[from, n] : copyRuns(lines, m_lastLines)) {
        if (from >= 0) {
            repeat(QStringLiteral("texto"), from, n);
            continue;
        }
        std::vector<QVariant> row(kColumnCount);
        row[Tipo] = QStringLiteral("texto");
        row[Texto] = lines[n];
        append(std::move(row));
    }
    for (const auto &[from, n] : copyRuns(winners, m_lastWinners)) {
        if (from >= 0) {
            repeat(QStringLiteral("vencedor"), from, n);
            continue;
        }
        std::vector<QVariant> row(kColumnCount);
        row[Tipo] = QStringLiteral("vencedor");
        row[Premio] = report.prizes.value(n);
        row[Cartela] = report.winners[n].card;
        row[Serie] = QString(report.winners[n].series);
        row[Cartao] = report.winners[n].ticket;
        append(std::move(row));
    }
    m_lastLines = lines;
    m_lastWinners = winners;
    return flush();
}

bool DrawLogWriter::endDraw()
{
    if (!m_inDraw)
        return true;
    std::vector<QVariant> row(kColumnCount);
    row[Tipo] = QStringLiteral("fim");
    append(std::move(row));
    m_inDraw = false;
    m_draw = 0;
    return flush();
}

void DrawLogWriter::forEach(const QString &dir, const std::function<void(const Entry &)> &visit)
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
        visit(e);
    });
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
        events += kind == QLatin1String("inicio") || kind == QLatin1String("pedra")
                  || kind == QLatin1String("retirada") || kind == QLatin1String("fim");
    }
    return events;
}

QString DrawLogAnnouncements::winnerText(const QString &prize, const TicketRef &t)
{
    return QStringLiteral("%1 card %2 series %3 ticket %4").arg(prize).arg(t.card).arg(t.series).arg(t.ticket);
}

bool DrawLogAnnouncements::take(const DrawLogWriter::Entry &e)
{
    const bool text = e.kind == QLatin1String("texto"), winner = e.kind == QLatin1String("vencedor");
    if (!text && !winner && e.kind != QLatin1String("repete")) {
        if (m_open)
            m_last = m_current;
        m_open = false;
        if (e.kind == QLatin1String("inicio"))
            m_last = {};
        return false;
    }
    if (!m_open) {
        m_open = true;
        m_current = {};
    }
    if (text)
        m_current.lines << e.text;
    else if (winner)
        m_current.winners << winnerText(e.prize, e.ticket);
    else if (e.prize == QLatin1String("texto"))
        copy(m_last.lines, m_current.lines, e.from, e.count);
    else
        copy(m_last.winners, m_current.winners, e.from, e.count);
    return true;
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

void DrawLog::startDraw(DrawMode mode)
{
    post([mode](DrawLogWriter &w) { return w.startDraw(mode); });
}

void DrawLog::ball(const BallEvent &event, const PrizeSwitches &switches)
{
    post([event, switches](DrawLogWriter &w) { return w.ball(event, switches); });
}

void DrawLog::scan(const ScanReport &report)
{
    post([report](DrawLogWriter &w) { return w.scan(report); });
}

void DrawLog::endDraw()
{
    post([](DrawLogWriter &w) { return w.endDraw(); });
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
        lock.lock();
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
