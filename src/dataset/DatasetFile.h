#pragma once

#include "FieldDef.h"

#include <QString>
#include <functional>

struct sqlite3;
struct sqlite3_stmt;

namespace bolaris {

// The on-disk form of a dataset: an SQLite database holding the field
// definitions and the records in file order. Every write is one transaction
// with synchronous=FULL, so a crash never leaves half a file.
class DatasetFile {
public:
    struct Content {
        std::vector<FieldDef> fields;
        std::vector<Row> rows;
        std::vector<qint64> rowIds; // one per row, the row's key in the file
    };

    // Reads a whole file. Throws DatasetError naming the file when it is not a
    // dataset file or is damaged; the file itself is never changed.
    static Content load(const QString &path);

    // Streams the records of a file in file order without keeping them.
    static void forEachRow(const QString &path, const std::function<void(const Row &)> &visit,
                           std::vector<FieldDef> *fields = nullptr);

    // Replaces path atomically with the given dataset: written beside it under a
    // temporary name, synced, then renamed over it. Row i gets the key i + 1.
    static void save(const QString &path, const std::vector<FieldDef> &fields,
                     const std::vector<const Row *> &rows);

    // A live connection to an existing dataset file for committing single changes.
    explicit DatasetFile(const QString &path);
    ~DatasetFile();
    DatasetFile(const DatasetFile &) = delete;
    DatasetFile &operator=(const DatasetFile &) = delete;

    void begin();
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTransaction; }
    qint64 insert(const Row &row);
    void update(qint64 rowId, const Row &row);
    void remove(qint64 rowId);

private:
    void exec(const char *sql);
    void prepare();

    QString m_path;
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_insert = nullptr;
    sqlite3_stmt *m_update = nullptr;
    sqlite3_stmt *m_delete = nullptr;
    int m_columns = 0;
    bool m_inTransaction = false;
};

} // namespace bolaris
