#include "DrawLog.h"

#include "dataset/DatasetError.h"
#include "dataset/DatasetFile.h"
#include "dataset/FieldDef.h"
#include "dataset/WorkDir.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <limits>
#include <map>

namespace bolaris {

namespace {

enum Column { Sorteio, Evento, Hora, Tipo, Modo, Pedra, Cantos, Linha, Linhas2, Premio, Cartela, Serie, Cartao, Texto,
              kColumns };

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
DrawLogWriter::~DrawLogWriter() = default;

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
    const QString path = WorkDir::resolve(m_dir, QLatin1String(kFileName));
    try {
        try {
            if (!QFileInfo::exists(path))
                DatasetFile::save(path, fields(), {});
            checkFields(path);
        } catch (const DatasetError &e) {
            if (e.kind() != DatasetError::Kind::Damaged)
                throw;
            // Kept under another name, never overwritten; a new log starts.
            const QString aside = QStringLiteral("%1.danificado-%2")
                                      .arg(QFileInfo(path).fileName(),
                                           QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
            if (!QFile::rename(path, QDir(m_dir).filePath(aside)))
                throw;
            DatasetFile::save(path, fields(), {});
            m_notice = QStringLiteral("O registro dos sorteios %1 estava danificado e foi guardado como \"%2\"; "
                                      "um novo registro foi iniciado.")
                           .arg(QLatin1String(kFileName), aside);
        }
        m_file = std::make_unique<DatasetFile>(path);
        m_file->setBusyTimeout(0); // never wait: a ball event must not
        return true;
    } catch (const DatasetError &e) {
        fail(e.message(), e.forOperator());
        return false;
    }
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

bool DrawLogWriter::append(std::vector<QVariant> row)
{
    row.resize(kColumns);
    row[Sorteio] = m_draw > 0 ? m_draw : -m_localDraw;
    row[Evento] = ++m_event;
    row[Hora] = now();
    if (m_pending.size() >= kMaxPending)
        m_pending.erase(m_pending.begin());
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
    std::vector<QVariant> row(kColumns);
    row[Tipo] = QStringLiteral("inicio");
    row[Modo] = mode == DrawMode::Electronic ? QStringLiteral("eletronico") : QStringLiteral("manual");
    append(std::move(row));
    return flush();
}

bool DrawLogWriter::ball(const BallEvent &event, const PrizeSwitches &switches)
{
    if (!m_inDraw)
        return true;
    std::vector<QVariant> row(kColumns);
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
    for (const QString &line : report.memoLines()) {
        std::vector<QVariant> row(kColumns);
        row[Tipo] = QStringLiteral("texto");
        row[Texto] = line.left(250);
        append(std::move(row));
    }
    for (qsizetype i = 0; i < report.winners.size(); ++i) {
        std::vector<QVariant> row(kColumns);
        row[Tipo] = QStringLiteral("vencedor");
        row[Premio] = report.prizes.value(i);
        row[Cartela] = report.winners[i].card;
        row[Serie] = QString(report.winners[i].series);
        row[Cartao] = report.winners[i].ticket;
        append(std::move(row));
    }
    return flush();
}

bool DrawLogWriter::endDraw()
{
    if (!m_inDraw)
        return true;
    std::vector<QVariant> row(kColumns);
    row[Tipo] = QStringLiteral("fim");
    append(std::move(row));
    m_inDraw = false;
    m_draw = 0;
    return flush();
}

std::vector<DrawLogWriter::Entry> DrawLogWriter::read(const QString &dir)
{
    std::vector<Entry> entries;
    if (!WorkDir::exists(dir, QLatin1String(kFileName)))
        return entries;
    scanRows(WorkDir::resolve(dir, QLatin1String(kFileName)), [&entries](const Row &row) {
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
            e.ticket = {row[Cartela].toInt(), serie.isEmpty() ? QChar() : serie.at(0), row[Cartao].toInt()};
            e.text = row[Texto].toString();
            entries.push_back(e);
    });
    return entries;
}

DrawLog::DrawLog(const QString &dir) : m_writer(dir), m_thread([this] { run(); }) {}

DrawLog::~DrawLog()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
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
