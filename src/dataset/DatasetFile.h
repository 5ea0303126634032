#pragma once

#include "FieldDef.h"

#include <QString>
#include <QVariant>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include <sys/types.h>

struct sqlite3;
struct sqlite3_stmt;

namespace bolaris {

// The on-disk form of a dataset: an SQLite database holding the field
// definitions and the records in file order. Every write is one transaction
// with synchronous=FULL, so a crash never leaves half a file.
//
// Only a file of exactly this facility's making is read: its application id
// is checked in the header before SQLite sees the file, and its schema must
// be the two plain tables "fields" and "records" with their columns (no view,
// no trigger, no index), so a crafted file cannot make a reader run its code.
class DatasetFile {
public:
    struct CloseDb {
        void operator()(sqlite3 *db) const;
    };
    struct Finalize {
        void operator()(sqlite3_stmt *statement) const;
    };
    using DbHandle = std::unique_ptr<sqlite3, CloseDb>;
    using StatementHandle = std::unique_ptr<sqlite3_stmt, Finalize>;

    struct Content {
        std::vector<FieldDef> fields;
        std::vector<Row> rows;
        std::vector<qint64> rowIds; // one per row, the row's key in the file
    };

    // Reads a whole file. Throws DatasetError naming the file: kind Damaged when
    // it is not a dataset file or its content is wrong, Unavailable when it
    // cannot be read now (busy, locked, permission). The file is never changed.
    static Content load(const QString &path);

    // Streams the records of a file in file order without keeping them; with
    // where, only those whose field holds that whole number.
    struct Where {
        int field = 0;
        qint64 value = 0;
    };
    static void forEachRow(const QString &path, const std::function<void(const Row &)> &visit,
                           std::vector<FieldDef> *fields = nullptr, std::optional<Where> where = {});

    // The distinct values of a field with how many records hold each, in no
    // set order.
    static std::vector<std::pair<QVariant, qint64>> countsOf(const QString &path, int field);

    // The field definitions of a file, checked as load() checks them.
    static std::vector<FieldDef> fieldsOf(const QString &path);

    // Replaces path atomically with the given dataset through AtomicFile: a
    // failure (kind NotWritten) leaves the old file as it was. Row i gets the key i + 1.
    static void save(const QString &path, const std::vector<FieldDef> &fields,
                     const std::vector<const Row *> &rows);

    // How a live connection journals its commits: a rollback journal (every
    // reader sees the file alone) or a write-ahead log beside the file
    // ("NAME-wal", "NAME-shm"; one sync per commit, readers never block it).
    enum class Journal { Rollback, WriteAhead };

    // A live connection to an existing dataset file for committing single changes.
    explicit DatasetFile(const QString &path, Journal journal = Journal::Rollback);
    ~DatasetFile(); // rolls back an unfinished transaction
    DatasetFile(const DatasetFile &) = delete;
    DatasetFile &operator=(const DatasetFile &) = delete;

    // How long a write waits for another process's lock before failing (2 s
    // unless set); a busy failure says EBUSY.
    void setBusyTimeout(int milliseconds);
    // Changes how commits are journaled from now on; back to Rollback, the
    // file stands alone again (readers of a read-only folder need that).
    void setJournal(Journal journal);
    void begin();
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTransaction; }
    qint64 insert(const Row &row);
    void update(qint64 rowId, const Row &row);
    void remove(qint64 rowId);
    // The highest value of an integer column (0 when there is no row); read
    // inside the open transaction, it is the value the commit builds on.
    qint64 maxOf(int column);
    // The rows of a read-only statement on the records (columns f0, f1 ...).
    std::vector<Row> query(const QByteArray &sql);
    void removeAll();
    // Adds fields after the last one, in one transaction of their own; the
    // records already there hold nothing in them.
    void addFields(const std::vector<FieldDef> &fields);

private:
    void exec(const char *sql);
    void prepare();

    QString m_path;
    // Declared before the statements, so they are finalized before it closes.
    DbHandle m_db;
    StatementHandle m_insert;
    StatementHandle m_update;
    StatementHandle m_delete;
    int m_columns = 0;
    bool m_inTransaction = false;
    // This connection's file, while it keeps it from raw header reads.
    bool m_held = false;
    std::pair<dev_t, ino_t> m_id{};
};

} // namespace bolaris
