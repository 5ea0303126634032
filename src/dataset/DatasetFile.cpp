#include "DatasetFile.h"

#include "DatasetError.h"

#include <QFileInfo>
#include <QDir>
#include <QRandomGenerator>

#include <cstdio>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace bolaris {

namespace {

constexpr int kApplicationId = 0x424F4C44; // "BOLD"
constexpr int kFormatVersion = 1;

QString fileLabel(const QString &path) { return QFileInfo(path).fileName(); }

[[noreturn]] void fail(const QString &path, const QString &what)
{
    throw DatasetError(QStringLiteral("%1: %2").arg(fileLabel(path), what));
}

[[noreturn]] void failDb(const QString &path, sqlite3 *db, const QString &what)
{
    fail(path, QStringLiteral("%1 (%2)").arg(what, QString::fromUtf8(sqlite3_errmsg(db))));
}

struct Stmt {
    sqlite3_stmt *s = nullptr;
    ~Stmt() { sqlite3_finalize(s); }
};

struct Db {
    sqlite3 *db = nullptr;
    ~Db() { sqlite3_close_v2(db); }
};

const char *typeName(FieldType t) { return t == FieldType::Integer ? "integer" : "string"; }

void bindValue(sqlite3_stmt *s, int column, const QVariant &v)
{
    if (!v.isValid() || v.isNull()) {
        sqlite3_bind_null(s, column);
    } else if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong) {
        sqlite3_bind_int64(s, column, v.toLongLong());
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
    default: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, column));
        return QString::fromUtf8(text, sqlite3_column_bytes(s, column));
    }
    }
}

// Opens path for reading without ever creating or changing it, checks that it
// is one of our dataset files and returns its field definitions.
std::vector<FieldDef> openForReading(const QString &path, Db &db)
{
    if (!QFileInfo(path).isFile())
        fail(path, QStringLiteral("file not found"));
    const QByteArray name = QFile::encodeName(path);
    // Read-write without create, so SQLite can roll back a transaction that a
    // crash left unfinished; nothing here writes to the file otherwise.
    if (sqlite3_open_v2(name.constData(), &db.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db.db);
        db.db = nullptr;
        if (sqlite3_open_v2(name.constData(), &db.db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            failDb(path, db.db, QStringLiteral("cannot be opened"));
    }
    sqlite3_busy_timeout(db.db, 2000);
    Stmt id;
    if (sqlite3_prepare_v2(db.db, "PRAGMA application_id", -1, &id.s, nullptr) != SQLITE_OK
        || sqlite3_step(id.s) != SQLITE_ROW)
        failDb(path, db.db, QStringLiteral("is not a dataset file or is damaged"));
    if (sqlite3_column_int(id.s, 0) != kApplicationId)
        fail(path, QStringLiteral("is not a dataset file"));

    std::vector<FieldDef> fields;
    Stmt f;
    if (sqlite3_prepare_v2(db.db, "SELECT name, type, size, required FROM fields ORDER BY pos", -1, &f.s,
                           nullptr)
        != SQLITE_OK)
        failDb(path, db.db, QStringLiteral("is damaged: no field definitions"));
    int rc;
    while ((rc = sqlite3_step(f.s)) == SQLITE_ROW) {
        FieldDef def;
        def.name = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(f.s, 0)));
        const QByteArray type(reinterpret_cast<const char *>(sqlite3_column_text(f.s, 1)));
        if (type == "integer")
            def.type = FieldType::Integer;
        else if (type == "string")
            def.type = FieldType::String;
        else
            fail(path, QStringLiteral("is damaged: unknown field type \"%1\"").arg(QString::fromUtf8(type)));
        def.size = sqlite3_column_int(f.s, 2);
        def.required = sqlite3_column_int(f.s, 3) != 0;
        fields.push_back(def);
    }
    if (rc != SQLITE_DONE)
        failDb(path, db.db, QStringLiteral("is damaged"));
    return fields;
}

QByteArray insertSql(int columns)
{
    QByteArray sql = "INSERT INTO records VALUES(";
    for (int i = 0; i < columns; ++i)
        sql += i ? ",?" : "?";
    return sql + ")";
}

void syncDirectory(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

void DatasetFile::forEachRow(const QString &path, const std::function<void(const Row &)> &visit,
                             std::vector<FieldDef> *fieldsOut)
{
    Db db;
    const std::vector<FieldDef> fields = openForReading(path, db);
    Stmt rows;
    if (sqlite3_prepare_v2(db.db, "SELECT * FROM records ORDER BY rowid", -1, &rows.s, nullptr) != SQLITE_OK)
        failDb(path, db.db, QStringLiteral("is damaged: no records"));
    if (sqlite3_column_count(rows.s) != int(fields.size()))
        fail(path, QStringLiteral("is damaged: records do not match the field definitions"));
    if (fieldsOut)
        *fieldsOut = fields;
    Row row(fields.size());
    int rc;
    while ((rc = sqlite3_step(rows.s)) == SQLITE_ROW) {
        for (size_t c = 0; c < fields.size(); ++c)
            row[c] = columnValue(rows.s, int(c));
        visit(row);
    }
    if (rc != SQLITE_DONE)
        failDb(path, db.db, QStringLiteral("is damaged"));
}

DatasetFile::Content DatasetFile::load(const QString &path)
{
    Content content;
    Db db;
    content.fields = openForReading(path, db);
    Stmt rows;
    if (sqlite3_prepare_v2(db.db, "SELECT rowid, * FROM records ORDER BY rowid", -1, &rows.s, nullptr)
        != SQLITE_OK)
        failDb(path, db.db, QStringLiteral("is damaged: no records"));
    const int columns = int(content.fields.size());
    if (sqlite3_column_count(rows.s) != columns + 1)
        fail(path, QStringLiteral("is damaged: records do not match the field definitions"));
    int rc;
    while ((rc = sqlite3_step(rows.s)) == SQLITE_ROW) {
        content.rowIds.push_back(sqlite3_column_int64(rows.s, 0));
        Row row(columns);
        for (int c = 0; c < columns; ++c)
            row[c] = columnValue(rows.s, c + 1);
        content.rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE)
        failDb(path, db.db, QStringLiteral("is damaged"));
    return content;
}

namespace {

// Writes the whole dataset into a new database file at temp.
void writeDatabase(const QString &path, const QString &temp, const std::vector<FieldDef> &fields,
                   const std::vector<const Row *> &rows)
{
    Db db;
    const QByteArray name = QFile::encodeName(temp);
    if (sqlite3_open_v2(name.constData(), &db.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
        failDb(path, db.db, QStringLiteral("cannot be written"));
    auto run = [&](const char *sql) {
        if (sqlite3_exec(db.db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            failDb(path, db.db, QStringLiteral("cannot be written"));
    };
    auto step = [&](sqlite3_stmt *statement) {
        if (!statement || sqlite3_step(statement) != SQLITE_DONE)
            failDb(path, db.db, QStringLiteral("cannot be written"));
        sqlite3_reset(statement);
    };
    run("PRAGMA journal_mode=DELETE");
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
        create += fields[i].type == FieldType::Integer ? " INTEGER" : " TEXT";
    }
    if (fields.empty())
        create += "f0";
    create += ')';
    run(create.constData());
    Stmt f;
    sqlite3_prepare_v2(db.db, "INSERT INTO fields VALUES(?,?,?,?,?)", -1, &f.s, nullptr);
    for (size_t i = 0; i < fields.size(); ++i) {
        const QByteArray n = fields[i].name.toUtf8();
        sqlite3_bind_int(f.s, 1, int(i));
        sqlite3_bind_text(f.s, 2, n.constData(), int(n.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(f.s, 3, typeName(fields[i].type), -1, SQLITE_STATIC);
        sqlite3_bind_int(f.s, 4, fields[i].size);
        sqlite3_bind_int(f.s, 5, fields[i].required ? 1 : 0);
        step(f.s);
    }
    if (!fields.empty()) {
        Stmt r;
        sqlite3_prepare_v2(db.db, insertSql(int(fields.size())).constData(), -1, &r.s, nullptr);
        for (const Row *row : rows) {
            for (size_t c = 0; c < fields.size(); ++c)
                bindValue(r.s, int(c) + 1, c < row->size() ? (*row)[c] : QVariant());
            step(r.s);
        }
    }
    run("COMMIT");
}

} // namespace

void DatasetFile::save(const QString &path, const std::vector<FieldDef> &fields,
                       const std::vector<const Row *> &rows)
{
    const QFileInfo target(path);
    const QString dir = target.absolutePath();
    const QString temp = QDir(dir).filePath(QStringLiteral(".%1.%2.tmp")
                                                .arg(target.fileName())
                                                .arg(QRandomGenerator::global()->generate(), 8, 16,
                                                     QLatin1Char('0')));
    try {
        writeDatabase(path, temp, fields, rows);
    } catch (...) {
        QFile::remove(temp); // the database is closed by now; the old file is untouched
        throw;
    }
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(temp);
        fail(path, QStringLiteral("cannot be replaced"));
    }
    syncDirectory(dir);
}

DatasetFile::DatasetFile(const QString &path) : m_path(path)
{
    {
        // Validates the file before anything may write to it.
        Db check;
        m_columns = int(openForReading(path, check).size());
    }
    const QByteArray name = QFile::encodeName(path);
    if (sqlite3_open_v2(name.constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        fail(path, QStringLiteral("cannot be opened for writing (%1)").arg(msg));
    }
    sqlite3_busy_timeout(m_db, 2000);
    exec("PRAGMA journal_mode=DELETE");
    exec("PRAGMA synchronous=FULL");
    prepare();
}

DatasetFile::~DatasetFile()
{
    if (m_inTransaction)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_finalize(m_insert);
    sqlite3_finalize(m_update);
    sqlite3_finalize(m_delete);
    sqlite3_close_v2(m_db);
}

void DatasetFile::exec(const char *sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        failDb(m_path, m_db, QStringLiteral("cannot be written"));
}

void DatasetFile::prepare()
{
    sqlite3_prepare_v2(m_db, insertSql(m_columns).constData(), -1, &m_insert, nullptr);
    QByteArray upd = "UPDATE records SET ";
    for (int i = 0; i < m_columns; ++i) {
        if (i)
            upd += ',';
        upd += 'f' + QByteArray::number(i) + "=?";
    }
    upd += " WHERE rowid=?";
    sqlite3_prepare_v2(m_db, upd.constData(), -1, &m_update, nullptr);
    sqlite3_prepare_v2(m_db, "DELETE FROM records WHERE rowid=?", -1, &m_delete, nullptr);
    if (!m_insert || !m_update || !m_delete)
        failDb(m_path, m_db, QStringLiteral("is damaged"));
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
        bindValue(m_insert, c + 1, c < int(row.size()) ? row[c] : QVariant());
    const int rc = sqlite3_step(m_insert);
    sqlite3_reset(m_insert);
    if (rc != SQLITE_DONE)
        failDb(m_path, m_db, QStringLiteral("cannot be written"));
    return sqlite3_last_insert_rowid(m_db);
}

void DatasetFile::update(qint64 rowId, const Row &row)
{
    for (int c = 0; c < m_columns; ++c)
        bindValue(m_update, c + 1, c < int(row.size()) ? row[c] : QVariant());
    sqlite3_bind_int64(m_update, m_columns + 1, rowId);
    const int rc = sqlite3_step(m_update);
    sqlite3_reset(m_update);
    if (rc != SQLITE_DONE)
        failDb(m_path, m_db, QStringLiteral("cannot be written"));
}

void DatasetFile::remove(qint64 rowId)
{
    sqlite3_bind_int64(m_delete, 1, rowId);
    const int rc = sqlite3_step(m_delete);
    sqlite3_reset(m_delete);
    if (rc != SQLITE_DONE)
        failDb(m_path, m_db, QStringLiteral("cannot be written"));
}

} // namespace bolaris
