#include "DatasetFile.h"

#include "AtomicFile.h"
#include "DatasetError.h"

#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <fcntl.h>
#include <sys/stat.h>
#include <sqlite3.h>
#include <unistd.h>

namespace bolaris {

void DatasetFile::CloseDb::operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
void DatasetFile::Finalize::operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }

namespace {

using Kind = DatasetError::Kind;

constexpr int kApplicationId = 0x424F4C44; // "BOLD"
constexpr int kFormatVersion = 1;

QString fileLabel(const QString &path) { return QFileInfo(path).fileName(); }

// The operator's words for a failure of kind on file, with the system's reason when known.
QString portugueseFor(const QString &path, Kind kind, int systemError)
{
    const QString name = fileLabel(path);
    const QString reason = systemError ? QStringLiteral(": ") + reasonPortuguese(systemError) : QString();
    switch (kind) {
    case Kind::Damaged:
        return QStringLiteral("O arquivo %1 está danificado ou não é um arquivo do Bolaris.").arg(name);
    case Kind::Unavailable:
        return QStringLiteral("O arquivo %1 não pode ser usado agora%2.").arg(name, reason);
    case Kind::NotWritten:
        return QStringLiteral("O arquivo %1 não foi gravado%2.").arg(name, reason);
    case Kind::Other:
        break;
    }
    return {};
}

[[noreturn]] void fail(const QString &path, const QString &what, Kind kind, int systemError = 0)
{
    throw DatasetError(QStringLiteral("%1: %2").arg(fileLabel(path), what), kind,
                       portugueseFor(path, kind, systemError), systemError);
}

// SQLite's verdict on a failed call: proven damage, a passing obstacle
// (busy, locked, no permission), or otherwise the caller's fallback.
Kind kindOf(int rc, Kind fallback)
{
    switch (rc & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_MISMATCH:
        return Kind::Damaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_NOMEM:
        return Kind::Unavailable;
    default:
        return fallback;
    }
}

[[noreturn]] void failDb(const QString &path, sqlite3 *db, const QString &what, Kind fallback)
{
    const int rc = db ? sqlite3_extended_errcode(db) : SQLITE_NOMEM;
    const QString reason = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
    int systemError = db ? sqlite3_system_errno(db) : 0;
    if ((rc & 0xff) == SQLITE_FULL)
        systemError = ENOSPC;
    else if ((rc & 0xff) == SQLITE_READONLY && !systemError)
        systemError = ::access(QFile::encodeName(path).constData(), W_OK) == 0 ? EROFS : errno;
    else if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
        systemError = EBUSY;
    fail(path, QStringLiteral("%1 (%2)").arg(what, reason), kindOf(rc, fallback), systemError);
}

using Db = DatasetFile::DbHandle;
using Stmt = DatasetFile::StatementHandle;

Stmt prepared(sqlite3 *db, const char *sql, const QString &path, const QString &what, Kind fallback)
{
    sqlite3_stmt *s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK || !s) {
        sqlite3_finalize(s);
        failDb(path, db, what, fallback);
    }
    return Stmt(s);
}

QString columnText(sqlite3_stmt *s, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, column)),
                             sqlite3_column_bytes(s, column));
}

const char *typeName(FieldType t)
{
    return t == FieldType::Integer ? "integer" : t == FieldType::Bytes ? "bytes" : "string";
}

const char *columnType(FieldType t) { return t == FieldType::Integer ? " INTEGER" : t == FieldType::Bytes ? " BLOB" : " TEXT"; }

void bindValue(sqlite3_stmt *s, int column, const QVariant &v)
{
    if (!v.isValid() || v.isNull()) {
        sqlite3_bind_null(s, column);
    } else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) {
        sqlite3_bind_int64(s, column, v.toLongLong());
    } else if (v.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = v.toByteArray();
        sqlite3_bind_blob(s, column, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    } else {
        const QByteArray utf8 = v.toString().toUtf8();
        sqlite3_bind_text(s, column, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
}

QVariant columnValue(sqlite3_stmt *s, int column)
{
    switch (sqlite3_column_type(s, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER: {
        const qint64 v = sqlite3_column_int64(s, column);
        if (v >= INT_MIN && v <= INT_MAX)
            return int(v);
        return v;
    }
    case SQLITE_FLOAT:
        return sqlite3_column_double(s, column);
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(s, column)), sqlite3_column_bytes(s, column));
    default:
        return columnText(s, column);
    }
}

// A missing file is kind Other; a name that holds no regular file (a folder,
// a FIFO, a device) cannot be used, and the message says what it is.
void checkRegular(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        const int error = errno;
        if (error == ENOENT)
            fail(path, QStringLiteral("file not found"), Kind::Other);
        fail(path, QStringLiteral("cannot be read (%1)").arg(reasonEnglish(error)), Kind::Unavailable, error);
    }
    if (S_ISREG(st.st_mode))
        return;
    const bool folder = S_ISDIR(st.st_mode);
    throw DatasetError(
        QStringLiteral("%1: is not a regular file but %2").arg(fileLabel(path), folder ? "a folder" : S_ISFIFO(st.st_mode) ? "a FIFO" : "a device or special file"),
        Kind::Unavailable,
        QStringLiteral("O arquivo %1 não pode ser usado: esse nome é de %2, não de um arquivo comum.")
            .arg(fileLabel(path),
                 folder ? QStringLiteral("uma pasta")
                        : S_ISFIFO(st.st_mode) ? QStringLiteral("um FIFO (canal)")
                                               : QStringLiteral("um dispositivo ou arquivo especial")),
        folder ? EISDIR : EINVAL);
}

// The files a live connection of this process holds open for writing, by
// device and inode. Closing any descriptor of a file drops every lock the
// process holds on it (POSIX record locks): a header read with open() and
// close() beside a live write-ahead connection would let another program
// take that connection for gone and delete its journal under it, losing what
// it writes next. Such a file was checked when its connection opened.
std::mutex g_heldMutex;
std::multiset<std::pair<dev_t, ino_t>> g_held; // one entry per connection

std::optional<std::pair<dev_t, ino_t>> fileId(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return std::pair{st.st_dev, st.st_ino};
}

bool heldOpen(const QString &path)
{
    const std::optional<std::pair<dev_t, ino_t>> id = fileId(path);
    std::lock_guard lock(g_heldMutex);
    return id && g_held.count(*id);
}

// Reads the database header ourselves, so SQLite never parses a file that is
// not one of ours.
void checkHeader(const QString &path)
{
    if (heldOpen(path))
        return;
    // Never waits for a FIFO or a device that took the file's name.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        fail(path, QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(error))),
             error == ENOENT ? Kind::Other : Kind::Unavailable, error);
    }
    unsigned char header[100];
    ssize_t got = 0;
    int error = 0;
    while (got < ssize_t(sizeof header)) {
        const ssize_t n = ::read(fd, header + got, sizeof header - size_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = errno;
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    if (error)
        fail(path, QStringLiteral("cannot be read (%1)").arg(QString::fromLocal8Bit(std::strerror(error))),
             Kind::Unavailable, error);
    quint32 id = 0;
    for (int i = 68; got == ssize_t(sizeof header) && i < 72; ++i)
        id = id << 8 | header[i]; // big-endian at offset 68
    if (got < ssize_t(sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0 || id != kApplicationId)
        fail(path, QStringLiteral("is not a dataset file"), Kind::Damaged);
}

// The column names of a table, in order.
QStringList columnsOf(sqlite3 *db, const char *table, const QString &path)
{
    Stmt info = prepared(db, QByteArray("PRAGMA table_info(").append(table).append(')').constData(), path,
                         QStringLiteral("cannot be read"), Kind::Unavailable);
    QStringList names;
    while (sqlite3_step(info.get()) == SQLITE_ROW)
        names << columnText(info.get(), 1);
    return names;
}

void checkSchema(sqlite3 *db, const QString &path)
{
    Stmt schema = prepared(db, "SELECT type, name FROM sqlite_schema ORDER BY name", path,
                           QStringLiteral("cannot be read"), Kind::Unavailable);
    QStringList entries;
    int rc;
    while ((rc = sqlite3_step(schema.get())) == SQLITE_ROW)
        entries << columnText(schema.get(), 0) + QLatin1Char(' ') + columnText(schema.get(), 1);
    if (rc != SQLITE_DONE)
        failDb(path, db, QStringLiteral("cannot be read"), Kind::Unavailable);
    if (entries != QStringList{QStringLiteral("table fields"), QStringLiteral("table records")})
        fail(path,
             QStringLiteral("is damaged: its tables are not those of a dataset file (%1)")
                 .arg(entries.join(QStringLiteral(", "))),
             Kind::Damaged);
    if (columnsOf(db, "fields", path)
        != QStringList{QStringLiteral("pos"), QStringLiteral("name"), QStringLiteral("type"), QStringLiteral("size"),
                       QStringLiteral("required")})
        fail(path, QStringLiteral("is damaged: the field definitions have other columns"), Kind::Damaged);
}

// Opens path for reading without ever creating or changing it, checks that it
// is one of our dataset files and returns its field definitions.
std::vector<FieldDef> openForReading(const QString &path, Db &db)
{
    checkRegular(path);
    checkHeader(path);
    const QByteArray name = QFile::encodeName(path);
    // Read-write without create, so SQLite can roll back a transaction that a
    // crash left unfinished; nothing here writes to the file otherwise.
    sqlite3 *handle = nullptr;
    if (sqlite3_open_v2(name.constData(), &handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(handle);
        handle = nullptr;
        if (sqlite3_open_v2(name.constData(), &handle, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            db.reset(handle);
            failDb(path, handle, QStringLiteral("cannot be opened"), Kind::Unavailable);
        }
    }
    db.reset(handle);
    sqlite3_busy_timeout(handle, 2000);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_exec(handle, "PRAGMA cell_size_check=ON", nullptr, nullptr, nullptr);
    // Debian's SQLite overwrites deleted records with zeros, which makes
    // emptying a registry write and journal every page of it; nothing the
    // files hold is secret, so freed pages are left as they are.
    sqlite3_exec(handle, "PRAGMA secure_delete=OFF", nullptr, nullptr, nullptr);
    checkSchema(handle, path);

    std::vector<FieldDef> fields;
    Stmt f = prepared(handle, "SELECT name, type, size, required FROM fields ORDER BY pos", path,
                      QStringLiteral("cannot be read"), Kind::Unavailable);
    int rc;
    while ((rc = sqlite3_step(f.get())) == SQLITE_ROW) {
        FieldDef def;
        def.name = columnText(f.get(), 0);
        const QString type = columnText(f.get(), 1);
        if (type == QLatin1String("integer"))
            def.type = FieldType::Integer;
        else if (type == QLatin1String("string"))
            def.type = FieldType::String;
        else if (type == QLatin1String("bytes"))
            def.type = FieldType::Bytes;
        else
            fail(path, QStringLiteral("is damaged: unknown field type \"%1\"").arg(type), Kind::Damaged);
        def.size = sqlite3_column_int(f.get(), 2);
        def.required = sqlite3_column_int(f.get(), 3) != 0;
        fields.push_back(def);
    }
    if (rc != SQLITE_DONE)
        failDb(path, handle, QStringLiteral("cannot be read"), Kind::Unavailable);
    QStringList expected;
    for (size_t i = 0; i < std::max<size_t>(fields.size(), 1); ++i)
        expected << QStringLiteral("f%1").arg(i);
    if (columnsOf(handle, "records", path) != expected)
        fail(path, QStringLiteral("is damaged: records do not match the field definitions"), Kind::Damaged);
    return fields;
}

QByteArray insertSql(int columns)
{
    QByteArray sql = "INSERT INTO records VALUES(";
    for (int i = 0; i < columns; ++i)
        sql += i ? ",?" : "?";
    return sql + ")";
}

} // namespace

void DatasetFile::forEachRow(const QString &path, const std::function<void(const Row &)> &visit,
                             std::vector<FieldDef> *fieldsOut, std::optional<Where> where)
{
    Db db;
    const std::vector<FieldDef> fields = openForReading(path, db);
    if (where && (where->field < 0 || size_t(where->field) >= fields.size()))
        where.reset(); // no such field: every record, for the caller to sort out
    const QByteArray sql = where ? "SELECT * FROM records WHERE f" + QByteArray::number(where->field) +
                                       " = ? ORDER BY rowid"
                                 : QByteArray("SELECT * FROM records ORDER BY rowid");
    Stmt rows = prepared(db.get(), sql.constData(), path, QStringLiteral("cannot be read"), Kind::Unavailable);
    if (where)
        sqlite3_bind_int64(rows.get(), 1, where->value);
    if (fieldsOut)
        *fieldsOut = fields;
    Row row(fields.size());
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        for (size_t c = 0; c < fields.size(); ++c)
            row[c] = columnValue(rows.get(), int(c));
        visit(row);
    }
    if (rc != SQLITE_DONE)
        failDb(path, db.get(), QStringLiteral("cannot be read"), Kind::Unavailable);
}

std::vector<std::pair<QVariant, qint64>> DatasetFile::countsOf(const QString &path, int field)
{
    Db db;
    const std::vector<FieldDef> fields = openForReading(path, db);
    std::vector<std::pair<QVariant, qint64>> counts;
    if (field < 0 || size_t(field) >= fields.size())
        return counts;
    const QByteArray sql = "SELECT f" + QByteArray::number(field) + ", count(*) FROM records GROUP BY 1";
    Stmt rows = prepared(db.get(), sql.constData(), path, QStringLiteral("cannot be read"), Kind::Unavailable);
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW)
        counts.emplace_back(columnValue(rows.get(), 0), sqlite3_column_int64(rows.get(), 1));
    if (rc != SQLITE_DONE)
        failDb(path, db.get(), QStringLiteral("cannot be read"), Kind::Unavailable);
    return counts;
}

std::vector<FieldDef> DatasetFile::fieldsOf(const QString &path)
{
    Db db;
    return openForReading(path, db);
}

DatasetFile::Content DatasetFile::load(const QString &path)
{
    Content content;
    Db db;
    content.fields = openForReading(path, db);
    Stmt rows = prepared(db.get(), "SELECT rowid, * FROM records ORDER BY rowid", path,
                         QStringLiteral("cannot be read"), Kind::Unavailable);
    const int columns = int(content.fields.size());
    int rc;
    while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
        content.rowIds.push_back(sqlite3_column_int64(rows.get(), 0));
        Row row(columns);
        for (int c = 0; c < columns; ++c)
            row[c] = columnValue(rows.get(), c + 1);
        content.rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        failDb(path, db.get(), QStringLiteral("cannot be read"), Kind::Unavailable);
    return content;
}

namespace {

// Writes the whole dataset into the empty file at temp; errors name path.
void writeDatabase(const QString &path, const QString &temp, const std::vector<FieldDef> &fields,
                   const std::vector<const Row *> &rows)
{
    Db db;
    sqlite3 *handle = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(temp).constData(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    db.reset(handle);
    if (opened != SQLITE_OK)
        failDb(path, handle, QStringLiteral("cannot be written"), Kind::NotWritten);
    auto run = [&](const char *sql) {
        if (sqlite3_exec(handle, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            failDb(path, handle, QStringLiteral("cannot be written"), Kind::NotWritten);
    };
    auto step = [&](sqlite3_stmt *statement) {
        if (sqlite3_step(statement) != SQLITE_DONE)
            failDb(path, handle, QStringLiteral("cannot be written"), Kind::NotWritten);
        sqlite3_reset(statement);
    };
    // The temporary is renamed over the file only once complete, so it needs
    // no journal of its own: a crash leaves a temporary that is removed later.
    run("PRAGMA journal_mode=OFF");
    run("PRAGMA synchronous=FULL");
    run(QByteArray("PRAGMA application_id=" + QByteArray::number(kApplicationId)).constData());
    run(QByteArray("PRAGMA user_version=" + QByteArray::number(kFormatVersion)).constData());
    run("BEGIN");
    run("CREATE TABLE fields(pos INTEGER PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL,"
        " size INTEGER NOT NULL, required INTEGER NOT NULL)");
    QByteArray create = "CREATE TABLE records(";
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            create += ',';
        create += 'f' + QByteArray::number(qulonglong(i));
        create += columnType(fields[i].type);
    }
    if (fields.empty())
        create += "f0";
    create += ')';
    run(create.constData());
    const QString written = QStringLiteral("cannot be written");
    Stmt f = prepared(handle, "INSERT INTO fields VALUES(?,?,?,?,?)", path, written, Kind::NotWritten);
    for (size_t i = 0; i < fields.size(); ++i) {
        const QByteArray n = fields[i].name.toUtf8();
        sqlite3_bind_int(f.get(), 1, int(i));
        sqlite3_bind_text(f.get(), 2, n.constData(), int(n.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(f.get(), 3, typeName(fields[i].type), -1, SQLITE_STATIC);
        sqlite3_bind_int(f.get(), 4, fields[i].size);
        sqlite3_bind_int(f.get(), 5, fields[i].required ? 1 : 0);
        step(f.get());
    }
    if (!fields.empty()) {
        Stmt r = prepared(handle, insertSql(int(fields.size())).constData(), path, written, Kind::NotWritten);
        for (const Row *row : rows) {
            for (size_t c = 0; c < fields.size(); ++c)
                bindValue(r.get(), int(c) + 1, c < row->size() ? (*row)[c] : QVariant());
            step(r.get());
        }
    }
    run("COMMIT");
}

} // namespace

void DatasetFile::save(const QString &path, const std::vector<FieldDef> &fields,
                       const std::vector<const Row *> &rows)
{
    AtomicFile file(path);
    if (!file.open())
        throw DatasetError(file.failure().english(), Kind::NotWritten, file.failure().portuguese(),
                           file.failure().code);
    writeDatabase(path, file.tempPath(), fields, rows); // on failure the temporary goes with file
    if (!file.commit())
        throw DatasetError(file.failure().english(), Kind::NotWritten, file.failure().portuguese(),
                           file.failure().code);
}

DatasetFile::DatasetFile(const QString &path, Journal journal) : m_path(path)
{
    {
        // Validates the file before anything may write to it.
        Db check;
        m_columns = int(openForReading(path, check).size());
    }
    sqlite3 *handle = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    m_db.reset(handle);
    if (opened != SQLITE_OK)
        failDb(path, handle, QStringLiteral("cannot be opened for writing"), Kind::Unavailable);
    sqlite3_busy_timeout(handle, 2000);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    setJournal(journal);
    exec("PRAGMA synchronous=FULL");
    prepare();
    if (const std::optional<std::pair<dev_t, ino_t>> id = fileId(path)) {
        std::lock_guard lock(g_heldMutex);
        g_held.insert(*id);
        m_held = true;
        m_id = *id;
    }
}

DatasetFile::~DatasetFile()
{
    if (m_held) {
        std::lock_guard lock(g_heldMutex);
        if (const auto it = g_held.find(m_id); it != g_held.end())
            g_held.erase(it);
    }
    if (m_inTransaction)
        sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void DatasetFile::exec(const char *sql)
{
    if (sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        failDb(m_path, m_db.get(), QStringLiteral("cannot be written"), Kind::NotWritten);
}

void DatasetFile::prepare()
{
    const QString what = QStringLiteral("cannot be opened for writing");
    m_insert = prepared(m_db.get(), insertSql(m_columns).constData(), m_path, what, Kind::Unavailable);
    QByteArray upd = "UPDATE records SET ";
    for (int i = 0; i < m_columns; ++i) {
        if (i)
            upd += ',';
        upd += 'f' + QByteArray::number(i) + "=?";
    }
    upd += " WHERE rowid=?";
    m_update = prepared(m_db.get(), upd.constData(), m_path, what, Kind::Unavailable);
    m_delete = prepared(m_db.get(), "DELETE FROM records WHERE rowid=?", m_path, what, Kind::Unavailable);
}

void DatasetFile::setBusyTimeout(int milliseconds) { sqlite3_busy_timeout(m_db.get(), milliseconds); }

void DatasetFile::setJournal(Journal journal)
{
    exec(journal == Journal::WriteAhead ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode=DELETE");
}

void DatasetFile::begin()
{
    exec("BEGIN IMMEDIATE");
    m_inTransaction = true;
}

void DatasetFile::commit()
{
    exec("COMMIT");
    m_inTransaction = false;
}

void DatasetFile::rollback()
{
    m_inTransaction = false;
    exec("ROLLBACK");
}

qint64 DatasetFile::insert(const Row &row)
{
    for (int c = 0; c < m_columns; ++c)
        bindValue(m_insert.get(), c + 1, c < int(row.size()) ? row[c] : QVariant());
    const int rc = sqlite3_step(m_insert.get());
    sqlite3_reset(m_insert.get());
    if (rc != SQLITE_DONE)
        failDb(m_path, m_db.get(), QStringLiteral("cannot be written"), Kind::NotWritten);
    return sqlite3_last_insert_rowid(m_db.get());
}

void DatasetFile::update(qint64 rowId, const Row &row)
{
    for (int c = 0; c < m_columns; ++c)
        bindValue(m_update.get(), c + 1, c < int(row.size()) ? row[c] : QVariant());
    sqlite3_bind_int64(m_update.get(), m_columns + 1, rowId);
    const int rc = sqlite3_step(m_update.get());
    sqlite3_reset(m_update.get());
    if (rc != SQLITE_DONE)
        failDb(m_path, m_db.get(), QStringLiteral("cannot be written"), Kind::NotWritten);
}

void DatasetFile::remove(qint64 rowId)
{
    sqlite3_bind_int64(m_delete.get(), 1, rowId);
    const int rc = sqlite3_step(m_delete.get());
    sqlite3_reset(m_delete.get());
    if (rc != SQLITE_DONE)
        failDb(m_path, m_db.get(), QStringLiteral("cannot be written"), Kind::NotWritten);
}

void DatasetFile::removeAll() { exec("DELETE FROM records"); }

void DatasetFile::addFields(const std::vector<FieldDef> &added)
{
    if (added.empty())
        return;
    begin();
    int columns = m_columns;
    try {
        const QString written = QStringLiteral("cannot be written");
        Stmt f = prepared(m_db.get(), "INSERT INTO fields VALUES(?,?,?,?,?)", m_path, written, Kind::NotWritten);
        for (const FieldDef &field : added) {
            const QByteArray alter = "ALTER TABLE records ADD COLUMN f" + QByteArray::number(columns) + columnType(field.type);
            exec(alter.constData());
            const QByteArray n = field.name.toUtf8();
            sqlite3_bind_int(f.get(), 1, columns);
            sqlite3_bind_text(f.get(), 2, n.constData(), int(n.size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(f.get(), 3, typeName(field.type), -1, SQLITE_STATIC);
            sqlite3_bind_int(f.get(), 4, field.size);
            sqlite3_bind_int(f.get(), 5, field.required ? 1 : 0);
            if (sqlite3_step(f.get()) != SQLITE_DONE)
                failDb(m_path, m_db.get(), written, Kind::NotWritten);
            sqlite3_reset(f.get());
            ++columns;
        }
        commit();
    } catch (...) {
        try {
            rollback();
        } catch (...) {
        }
        throw;
    }
    m_columns = columns;
    prepare(); // the statements for the new columns
}

} // namespace bolaris

namespace bolaris {

qint64 DatasetFile::maxOf(int column)
{
    const QByteArray sql = "SELECT max(f" + QByteArray::number(column) + ") FROM records";
    Stmt max = prepared(m_db.get(), sql.constData(), m_path, QStringLiteral("cannot be read"), Kind::Unavailable);
    const int rc = sqlite3_step(max.get());
    if (rc != SQLITE_ROW)
        failDb(m_path, m_db.get(), QStringLiteral("cannot be read"), Kind::Unavailable);
    return sqlite3_column_int64(max.get(), 0);
}

std::vector<Row> DatasetFile::query(const QByteArray &sql)
{
    Stmt select = prepared(m_db.get(), sql.constData(), m_path, QStringLiteral("cannot be read"), Kind::Unavailable);
    std::vector<Row> rows;
    const int columns = sqlite3_column_count(select.get());
    int rc;
    while ((rc = sqlite3_step(select.get())) == SQLITE_ROW) {
        Row row(static_cast<size_t>(columns));
        for (int c = 0; c < columns; ++c)
            row[size_t(c)] = columnValue(select.get(), c);
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        failDb(m_path, m_db.get(), QStringLiteral("cannot be read"), Kind::Unavailable);
    return rows;
}

} // namespace bolaris
