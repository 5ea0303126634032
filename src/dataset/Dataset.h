#pragma once

#include "DatasetError.h"
#include "FieldDef.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace bolaris {

class DatasetFile;

// An in-memory table with typed fields, a cursor, an ordering, unique indexes,
// locate and a before-delete event, kept in a file of the working folder.
//
// Closing writes the file when the data changed since it was opened or when
// the file does not exist yet, and at no other time. In durable mode every
// posted or deleted record is committed to the file before the call returns
// (or at the end of the enclosing Batch), so nothing is lost by a crash.
class Dataset : public QObject {
    Q_OBJECT
public:
    enum IndexOption { Primary = 1, Unique = 2 };
    enum class State { Inactive, Browse, Insert, Edit };

    explicit Dataset(const QString &name = {}, QObject *parent = nullptr);
    ~Dataset() override;

    const QString &name() const { return m_name; }

    void setDirectory(const QString &dir) { m_dir = dir; }
    const QString &directory() const { return m_dir; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    const QString &fileName() const { return m_fileName; }
    // The file in the working folder, matched without regard to letter case.
    QString filePath() const;
    bool fileExists() const;

    void setDurable(bool durable) { m_durable = durable; }
    bool isDurable() const { return m_durable; }
    // A read-only dataset loads its file (or starts empty without creating
    // one), never writes it, and refuses every change.
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }

    // Field definitions.
    void clearFieldDefs();
    void addFieldDef(const QString &name, FieldType type, int size = 0, bool required = false);
    const std::vector<FieldDef> &fieldDefs() const { return m_fields; }
    int fieldIndex(const QString &name) const;
    bool hasField(const QString &name) const { return fieldIndex(name) >= 0; }

    void createDataset(); // an empty dataset with the field definitions, open
    void open();          // loads the file when it exists
    void close();
    bool isOpen() const { return m_state != State::Inactive; }
    bool isModified() const { return m_modified; }
    State state() const { return m_state; }

    // Groups the durable commits of several changes into one transaction.
    class Batch {
    public:
        explicit Batch(Dataset &dataset);
        ~Batch();
        void commit();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        Dataset &m_dataset;
        bool m_active = false;
        int m_exceptions;
    };

    // Records and cursor.
    void insert();
    void append() { insert(); }
    void edit();
    void post();
    void cancel();
    void deleteRecord(); // runs beforeDelete first; the cursor moves to the next record
    // Deletes every record at once, in one statement of the file. beforeDelete
    // does not run: the caller does what it would have done for each record.
    void deleteAll();
    void first();
    void last();
    void next();
    void prior();
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    int recordCount() const { return int(m_view.size()); }
    bool isEmpty() const { return m_view.empty(); }
    int recNo() const { return m_pos; } // 0-based position in the current order; -1 when empty
    void setRecNo(int pos);
    const Row &rowAt(int pos) const { return m_view.at(size_t(pos))->values; }

    // Field access on the current record (or the record being inserted or edited).
    QVariant value(const QString &field) const;
    int asInteger(const QString &field) const;
    QString asString(const QString &field) const;
    void setValue(const QString &field, const QVariant &value);
    void setValue(int fieldIndex, const QVariant &value);

    // Ordering and indexes. Field lists are names separated by ';'.
    void setIndexFieldNames(const QString &fields);
    const QString &indexFieldNames() const { return m_orderNames; }
    void addIndex(const QString &name, const QString &fields, int options);

    // Moves to the first record, in the current order, whose fields equal values.
    bool locate(const QString &fields, const QVariantList &values);
    // Moves to the first record whose ordering key is not below values (a key
    // prefix); eof when there is none.
    bool findNearest(const QVariantList &values);

    std::function<void(Dataset &)> beforeDelete;

    // Changes with every change of the records, their order or the open state;
    // what was computed from the records at one generation holds while it is the same.
    quint64 generation() const { return m_generation; }

    // Normalises a value for a field: integers parsed strictly, strings lose
    // their trailing blanks and are cut to the field size.
    static QVariant convert(const FieldDef &field, const QVariant &value, const QString &datasetName);

Q_SIGNALS:
    void changed(); // records added, removed or reordered, or the dataset opened or closed

private:
    struct Record {
        Row values;
        qint64 rowId = 0;
        quint64 seq = 0;
    };
    struct Index {
        QString name;
        std::vector<int> fields;
        int options = 0;
        QHash<QString, int> keys;
    };

    std::vector<int> fieldList(const QString &names) const;
    int compareRows(const Row &a, const Row &b, const std::vector<int> &fields) const;
    bool lessInOrder(const Record &a, const Record &b) const;
    size_t insertPosition(const Record &rec) const;
    QString keyOf(const Row &row, const std::vector<int> &fields) const;
    void requireOpen() const;
    void requireBrowse(const char *what) const;
    void requireWritable() const;
    const Row &currentRow() const;
    void checkUnique(const Row &row, const Row *replacing) const;
    void indexAdd(const Row &row);
    void indexRemove(const Row &row);
    void resort();
    void openFile();
    void loadRecords(const QString &path);
    // After a durable commit failed: the records are read back from the file,
    // so the dataset shows what is stored and nothing more.
    void restoreFromFile() noexcept;

    void saveFile();
    void clearRecords();
    void touched(); // the records changed: a new generation, and changed()

    QString m_name;
    QString m_dir;
    QString m_fileName;
    bool m_durable = false;
    bool m_readOnly = false;
    std::vector<FieldDef> m_fields;
    QHash<QString, int> m_fieldByName; // lower-case name
    std::vector<std::unique_ptr<Record>> m_view; // records in the current order
    std::vector<int> m_order;
    QString m_orderNames;
    std::vector<Index> m_indexes;
    State m_state = State::Inactive;
    Row m_buffer;
    int m_pos = -1;
    bool m_eof = true;
    bool m_bof = true;
    bool m_modified = false;
    quint64 m_nextSeq = 1;
    std::unique_ptr<DatasetFile> m_file;
    int m_batchDepth = 0;
    quint64 m_generation = 0;
};

} // namespace bolaris
