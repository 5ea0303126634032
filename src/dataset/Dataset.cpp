#include "Dataset.h"

#include "DatasetFile.h"
#include "StrictInt.h"
#include "WorkDir.h"

#include <algorithm>
#include <exception>

namespace bolaris {

namespace {

int compareValues(const QVariant &a, const QVariant &b, FieldType type)
{
    const bool an = !a.isValid() || a.isNull();
    const bool bn = !b.isValid() || b.isNull();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1);
    if (type == FieldType::Bytes) {
        const int c = a.toByteArray().compare(b.toByteArray());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (type == FieldType::Integer) {
        const qint64 x = a.toLongLong();
        const qint64 y = b.toLongLong();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const int c = QString::compare(a.toString(), b.toString(), Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// A change the file refused is not kept in the dataset either.
template <typename Store> qint64 storeOrCancel(Dataset &dataset, Store store)
{
    try {
        return store();
    } catch (const DatasetError &) {
        dataset.cancel();
        throw;
    }
}

QString trimRight(const QString &s)
{
    qsizetype end = s.size();
    while (end > 0 && s[end - 1] == QLatin1Char(' '))
        --end;
    return s.left(end);
}

} // namespace

Dataset::Dataset(const QString &name, QObject *parent) : QObject(parent), m_name(name) {}

Dataset::~Dataset() = default;

void Dataset::touched()
{
    ++m_generation;
    Q_EMIT changed();
}

QString Dataset::filePath() const { return WorkDir::resolve(m_dir, m_fileName); }

bool Dataset::fileExists() const { return !m_fileName.isEmpty() && WorkDir::exists(m_dir, m_fileName); }

void Dataset::clearFieldDefs()
{
    if (isOpen())
        throw DatasetError(QStringLiteral("%1: cannot change the fields of an open dataset").arg(m_name));
    m_fields.clear();
    m_fieldByName.clear();
    m_indexes.clear();
    m_order.clear();
}

void Dataset::addFieldDef(const QString &name, FieldType type, int size, bool required)
{
    if (isOpen())
        throw DatasetError(QStringLiteral("%1: cannot change the fields of an open dataset").arg(m_name));
    if (m_fieldByName.contains(name.toLower()))
        throw DatasetError(QStringLiteral("%1: duplicate field name '%2'").arg(m_name, name));
    m_fieldByName.insert(name.toLower(), int(m_fields.size()));
    m_fields.push_back({name, type, size, required});
}

int Dataset::fieldIndex(const QString &name) const
{
    // Callers mostly name a field as it was defined: found without making a
    // lower-case copy, which reading a value of each of many records would
    // otherwise make every time. (Names never differ only in case.)
    for (size_t i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name == name)
            return int(i);
    return m_fieldByName.value(name.toLower(), -1);
}

void Dataset::createDataset()
{
    if (isOpen())
        close();
    if (m_fields.empty())
        throw DatasetError(QStringLiteral("%1: no field definitions").arg(m_name));
    clearRecords();
    m_order = fieldList(m_orderNames);
    m_state = State::Browse;
    m_modified = false;
    // A fresh dataset has no file yet, so closing it always writes one.
    if (m_durable && !m_readOnly && !m_fileName.isEmpty()) {
        saveFile();
        m_file = std::make_unique<DatasetFile>(filePath());
    }
    resort();
    touched();
}

void Dataset::open()
{
    if (isOpen())
        return;
    if (fileExists()) {
        loadRecords(filePath());
    } else {
        if (m_fields.empty())
            throw DatasetError(QStringLiteral("%1: file %2 not found").arg(m_name, m_fileName));
        clearRecords();
        m_order = fieldList(m_orderNames);
        if (m_durable && !m_readOnly && !m_fileName.isEmpty())
            saveFile();
    }
    if (m_durable && !m_readOnly && !m_fileName.isEmpty() && !m_file)
        m_file = std::make_unique<DatasetFile>(filePath());
    m_state = State::Browse;
    m_modified = false;
    resort();
    first();
    touched();
}

void Dataset::loadRecords(const QString &path)
{
    DatasetFile::Content content = DatasetFile::load(path);
    clearRecords();
    m_fields.clear();
    m_fieldByName.clear();
    for (const FieldDef &f : content.fields) {
        m_fieldByName.insert(f.name.toLower(), int(m_fields.size()));
        m_fields.push_back(f);
    }
    // An ordering or index set before the fields were known is re-resolved.
    m_order = fieldList(m_orderNames);
    m_view.reserve(content.rows.size());
    for (size_t i = 0; i < content.rows.size(); ++i) {
        auto rec = std::make_unique<Record>();
        rec->values = std::move(content.rows[i]);
        rec->values.resize(m_fields.size());
        rec->rowId = content.rowIds[i];
        rec->seq = m_nextSeq++;
        m_view.push_back(std::move(rec));
    }
}

void Dataset::close()
{
    if (!isOpen())
        return;
    if (m_state == State::Insert || m_state == State::Edit)
        cancel();
    std::exception_ptr failure;
    if (m_file) {
        m_file.reset();
    } else if (!m_readOnly && !m_fileName.isEmpty() && (m_modified || !fileExists())) {
        try {
            saveFile();
        } catch (...) {
            failure = std::current_exception();
        }
    }
    clearRecords();
    for (Index &index : m_indexes)
        index.keys.clear();
    m_indexes.clear();
    m_state = State::Inactive;
    m_modified = false;
    touched();
    if (failure)
        std::rethrow_exception(failure);
}

void Dataset::saveFile()
{
    std::vector<const Record *> records;
    records.reserve(m_view.size());
    for (const auto &rec : m_view)
        records.push_back(rec.get());
    std::sort(records.begin(), records.end(), [](const Record *a, const Record *b) { return a->seq < b->seq; });
    std::vector<const Row *> rows;
    rows.reserve(records.size());
    for (const Record *rec : records)
        rows.push_back(&rec->values);
    DatasetFile::save(filePath(), m_fields, rows);
    for (size_t i = 0; i < records.size(); ++i)
        const_cast<Record *>(records[i])->rowId = qint64(i) + 1;
}

void Dataset::clearRecords()
{
    ++m_generation;
    m_view.clear();
    for (Index &index : m_indexes)
        index.keys.clear();
    m_buffer.clear();
    m_pos = -1;
    m_eof = m_bof = true;
}

Dataset::Batch::Batch(Dataset &dataset) : m_dataset(dataset), m_exceptions(std::uncaught_exceptions())
{
    if (m_dataset.m_file && m_dataset.m_batchDepth++ == 0) {
        m_dataset.m_file->begin();
        m_active = true;
    } else if (m_dataset.m_file) {
        m_active = true;
    }
}

void Dataset::Batch::commit()
{
    if (!m_active)
        return;
    m_active = false;
    if (--m_dataset.m_batchDepth == 0 && m_dataset.m_file) {
        try {
            m_dataset.m_file->commit();
        } catch (const DatasetError &) {
            // The file kept what it had: so does the dataset.
            m_dataset.restoreFromFile();
            throw;
        }
    }
}

Dataset::Batch::~Batch()
{
    // What was changed in memory is committed also when an error ends the
    // batch early, so the file never lags behind what the operator sees.
    try {
        commit();
    } catch (...) {
        if (std::uncaught_exceptions() == m_exceptions)
            qWarning("dataset %s: commit failed", qPrintable(m_dataset.m_name));
    }
}

void Dataset::restoreFromFile() noexcept
{
    try {
        if (m_file->inTransaction())
            m_file->rollback();
    } catch (const DatasetError &) {
        // SQLite has rolled it back already
    }
    try {
        const int pos = m_pos;
        loadRecords(filePath());
        for (Index &index : m_indexes) {
            index.keys.clear();
            for (const auto &rec : m_view)
                ++index.keys[keyOf(rec->values, index.fields)];
        }
        resort();
        m_pos = m_view.empty() ? -1 : std::min(pos, int(m_view.size()) - 1);
        m_eof = m_bof = m_view.empty();
        Q_EMIT changed();
    } catch (const DatasetError &) {
        // Unreadable now: the next start reads the file, which is what counts.
    }
}

std::vector<int> Dataset::fieldList(const QString &names) const
{
    std::vector<int> result;
    const QStringList parts = names.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const int i = fieldIndex(part.trimmed());
        if (i < 0)
            throw DatasetError(QStringLiteral("%1: field '%2' not found").arg(m_name, part.trimmed()));
        result.push_back(i);
    }
    return result;
}

int Dataset::compareRows(const Row &a, const Row &b, const std::vector<int> &fields) const
{
    for (int f : fields) {
        const int c = compareValues(a[size_t(f)], b[size_t(f)], m_fields[size_t(f)].type);
        if (c)
            return c;
    }
    return 0;
}

bool Dataset::lessInOrder(const Record &a, const Record &b) const
{
    const int c = compareRows(a.values, b.values, m_order);
    return c ? c < 0 : a.seq < b.seq;
}

size_t Dataset::insertPosition(const Record &rec) const
{
    if (m_order.empty())
        return m_view.size();
    auto it = std::upper_bound(m_view.begin(), m_view.end(), rec,
                               [this](const Record &r, const std::unique_ptr<Record> &p) {
                                   return lessInOrder(r, *p);
                               });
    return size_t(it - m_view.begin());
}

void Dataset::resort()
{
    std::stable_sort(m_view.begin(), m_view.end(),
                     [this](const std::unique_ptr<Record> &a, const std::unique_ptr<Record> &b) {
                         if (m_order.empty())
                             return a->seq < b->seq;
                         return lessInOrder(*a, *b);
                     });
}

QString Dataset::keyOf(const Row &row, const std::vector<int> &fields) const
{
    QString key;
    for (int f : fields) {
        const QVariant &v = row[size_t(f)];
        if (!v.isValid() || v.isNull())
            key += QLatin1String("\x1fn");
        else if (m_fields[size_t(f)].type == FieldType::Integer)
            key += QLatin1String("\x1fi") + QString::number(v.toLongLong());
        else if (m_fields[size_t(f)].type == FieldType::Bytes)
            key += QLatin1String("\x1f" "b") + QString::fromLatin1(v.toByteArray().toHex());
        else
            key += QLatin1String("\x1fs") + v.toString();
    }
    return key;
}

void Dataset::requireOpen() const
{
    if (!isOpen())
        throw DatasetError(QStringLiteral("%1: cannot perform this operation on a closed dataset").arg(m_name));
}

void Dataset::requireBrowse(const char *what) const
{
    requireOpen();
    if (m_state != State::Browse)
        throw DatasetError(QStringLiteral("%1: cannot %2 while a record is being edited")
                               .arg(m_name, QString::fromLatin1(what)));
}

const Row &Dataset::currentRow() const
{
    if (m_state == State::Insert || m_state == State::Edit)
        return m_buffer;
    requireOpen();
    if (m_pos < 0 || m_pos >= int(m_view.size()))
        throw DatasetError(QStringLiteral("%1: no current record").arg(m_name));
    return m_view[size_t(m_pos)]->values;
}

void Dataset::checkUnique(const Row &row, const Row *replacing) const
{
    for (const Index &index : m_indexes) {
        if (!(index.options & (Unique | Primary)))
            continue;
        const QString key = keyOf(row, index.fields);
        if (index.keys.value(key) > 0 && !(replacing && keyOf(*replacing, index.fields) == key))
            throw DatasetError(QStringLiteral("%1: key violation, a record with this key already exists (index %2)")
                                   .arg(m_name, index.name));
    }
}

void Dataset::indexAdd(const Row &row)
{
    for (Index &index : m_indexes)
        ++index.keys[keyOf(row, index.fields)];
}

void Dataset::indexRemove(const Row &row)
{
    for (Index &index : m_indexes) {
        auto it = index.keys.find(keyOf(row, index.fields));
        if (it != index.keys.end() && --it.value() <= 0)
            index.keys.erase(it);
    }
}

void Dataset::requireWritable() const
{
    if (m_readOnly)
        throw DatasetError(QStringLiteral("%1: the dataset is open for reading only").arg(m_name),
                           DatasetError::Kind::Unavailable);
}

void Dataset::insert()
{
    requireBrowse("insert");
    requireWritable();
    m_buffer.assign(m_fields.size(), QVariant());
    m_state = State::Insert;
}

void Dataset::edit()
{
    requireBrowse("edit");
    requireWritable();
    m_buffer = currentRow();
    m_state = State::Edit;
}

void Dataset::cancel()
{
    if (m_state == State::Insert || m_state == State::Edit)
        m_state = State::Browse;
    m_buffer.clear();
}

void Dataset::post()
{
    requireOpen();
    if (m_state != State::Insert && m_state != State::Edit)
        return;
    for (size_t i = 0; i < m_fields.size(); ++i) {
        const QVariant &v = m_buffer[i];
        if (m_fields[i].required && (!v.isValid() || v.isNull()))
            throw DatasetError(QStringLiteral("%1: field '%2' must have a value").arg(m_name, m_fields[i].name));
    }
    if (m_state == State::Insert) {
        checkUnique(m_buffer, nullptr);
        auto rec = std::make_unique<Record>();
        rec->values = m_buffer;
        rec->seq = m_nextSeq++;
        if (m_file)
            rec->rowId = storeOrCancel(*this, [&] { return m_file->insert(rec->values); });
        indexAdd(rec->values);
        const size_t at = insertPosition(*rec);
        m_view.insert(m_view.begin() + qsizetype(at), std::move(rec));
        m_pos = int(at);
    } else {
        Record &rec = *m_view[size_t(m_pos)];
        checkUnique(m_buffer, &rec.values);
        if (m_file)
            storeOrCancel(*this, [&] {
                m_file->update(rec.rowId, m_buffer);
                return rec.rowId;
            });
        indexRemove(rec.values);
        rec.values = m_buffer;
        indexAdd(rec.values);
        std::unique_ptr<Record> moved = std::move(m_view[size_t(m_pos)]);
        m_view.erase(m_view.begin() + m_pos);
        const size_t at = insertPosition(*moved);
        m_view.insert(m_view.begin() + qsizetype(at), std::move(moved));
        m_pos = int(at);
    }
    m_state = State::Browse;
    m_buffer.clear();
    m_eof = m_bof = false;
    m_modified = true;
    touched();
}

void Dataset::deleteRecord()
{
    requireBrowse("delete");
    requireWritable();
    if (m_view.empty())
        throw DatasetError(QStringLiteral("%1: cannot delete from an empty dataset").arg(m_name));
    if (beforeDelete)
        beforeDelete(*this);
    if (m_pos < 0 || m_pos >= int(m_view.size()))
        throw DatasetError(QStringLiteral("%1: no current record").arg(m_name));
    Record &rec = *m_view[size_t(m_pos)];
    if (m_file)
        m_file->remove(rec.rowId);
    indexRemove(rec.values);
    m_view.erase(m_view.begin() + m_pos);
    m_modified = true;
    if (m_view.empty()) {
        m_pos = -1;
        m_eof = m_bof = true;
    } else if (m_pos >= int(m_view.size())) {
        m_pos = int(m_view.size()) - 1;
        m_eof = true;
        m_bof = false;
    } else {
        m_eof = m_bof = false;
    }
    touched();
}

void Dataset::deleteAll()
{
    requireBrowse("delete");
    requireWritable();
    if (m_view.empty())
        return;
    if (m_file)
        m_file->removeAll();
    m_view.clear();
    for (Index &index : m_indexes)
        index.keys.clear();
    m_pos = -1;
    m_eof = m_bof = true;
    m_modified = true;
    touched();
}

void Dataset::first()
{
    requireBrowse("move");
    m_pos = m_view.empty() ? -1 : 0;
    m_eof = m_view.empty();
    m_bof = true;
}

void Dataset::last()
{
    requireBrowse("move");
    m_pos = int(m_view.size()) - 1;
    m_eof = m_view.empty();
    m_bof = m_view.empty();
}

void Dataset::next()
{
    requireBrowse("move");
    if (m_pos + 1 < int(m_view.size())) {
        ++m_pos;
        m_eof = false;
    } else {
        m_eof = true;
    }
    m_bof = m_view.empty();
}

void Dataset::prior()
{
    requireBrowse("move");
    if (m_pos > 0) {
        --m_pos;
        m_bof = false;
    } else {
        m_bof = true;
    }
    m_eof = m_view.empty();
}

void Dataset::setRecNo(int pos)
{
    requireBrowse("move");
    if (pos < 0 || pos >= int(m_view.size()))
        throw DatasetError(QStringLiteral("%1: record %2 out of range").arg(m_name).arg(pos));
    m_pos = pos;
    m_eof = m_bof = false;
}

QVariant Dataset::value(const QString &field) const
{
    const int i = fieldIndex(field);
    if (i < 0)
        throw DatasetError(QStringLiteral("%1: field '%2' not found").arg(m_name, field));
    return currentRow()[size_t(i)];
}

int Dataset::asInteger(const QString &field) const
{
    const QVariant v = value(field);
    if (!v.isValid() || v.isNull())
        return 0;
    if (v.typeId() == QMetaType::Int || v.typeId() == QMetaType::LongLong)
        return v.toInt();
    const std::optional<int> parsed = parseStrictInt(v.toString());
    if (!parsed)
        throw DatasetError(QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
    return *parsed;
}

QString Dataset::asString(const QString &field) const
{
    const QVariant v = value(field);
    if (!v.isValid() || v.isNull())
        return QString();
    return v.toString();
}

QVariant Dataset::convert(const FieldDef &field, const QVariant &value, const QString &datasetName)
{
    if (!value.isValid() || value.isNull())
        return {};
    if (field.type == FieldType::Integer) {
        if (value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong
            || value.typeId() == QMetaType::UInt || value.typeId() == QMetaType::Short) {
            return value.toInt();
        }
        const QString text = value.toString();
        if (text.isEmpty())
            return {};
        const std::optional<int> parsed = parseStrictInt(text);
        if (!parsed)
            throw DatasetError(QStringLiteral("%1: '%2' is not a valid integer value for field '%3'")
                                   .arg(datasetName, text, field.name));
        return *parsed;
    }
    if (field.type == FieldType::Bytes)
        return value.toByteArray();
    QString text = trimRight(value.toString());
    if (field.size > 0 && text.size() > field.size)
        text.truncate(field.size);
    if (text.isNull())
        text = QLatin1String("");
    return text;
}

void Dataset::setValue(const QString &field, const QVariant &value)
{
    const int i = fieldIndex(field);
    if (i < 0)
        throw DatasetError(QStringLiteral("%1: field '%2' not found").arg(m_name, field));
    setValue(i, value);
}

void Dataset::setValue(int index, const QVariant &value)
{
    if (m_state != State::Insert && m_state != State::Edit)
        throw DatasetError(QStringLiteral("%1: dataset not in edit or insert mode").arg(m_name));
    m_buffer[size_t(index)] = convert(m_fields[size_t(index)], value, m_name);
}

void Dataset::setIndexFieldNames(const QString &fields)
{
    // Resolved now when the fields are known, otherwise when the file is loaded.
    if (!m_fields.empty())
        m_order = fieldList(fields);
    m_orderNames = fields;
    if (isOpen()) {
        resort();
        first();
        touched();
    }
}

void Dataset::addIndex(const QString &name, const QString &fields, int options)
{
    requireOpen();
    Index index;
    index.name = name;
    index.fields = fieldList(fields);
    index.options = options;
    for (const auto &rec : m_view) {
        int &count = index.keys[keyOf(rec->values, index.fields)];
        if (++count > 1 && (options & (Unique | Primary)))
            throw DatasetError(QStringLiteral("%1: key violation, duplicate keys for index %2").arg(m_name, name));
    }
    m_indexes.push_back(std::move(index));
}

bool Dataset::locate(const QString &fields, const QVariantList &values)
{
    requireBrowse("locate");
    const std::vector<int> list = fieldList(fields);
    if (list.size() != size_t(values.size()))
        throw DatasetError(QStringLiteral("%1: locate needs one value per field").arg(m_name));
    Row probe(m_fields.size());
    for (size_t i = 0; i < list.size(); ++i)
        probe[size_t(list[i])] = convert(m_fields[size_t(list[i])], values[qsizetype(i)], m_name);

    // When the fields lead the ordering, the matches form one run found by bisection.
    size_t prefix = 0;
    while (prefix < list.size() && prefix < m_order.size() && list[prefix] == m_order[prefix])
        ++prefix;
    size_t from = 0;
    size_t to = m_view.size();
    if (prefix > 0) {
        const std::vector<int> lead(m_order.begin(), m_order.begin() + qsizetype(prefix));
        auto lo = std::lower_bound(m_view.begin(), m_view.end(), probe,
                                   [&](const std::unique_ptr<Record> &r, const Row &p) {
                                       return compareRows(r->values, p, lead) < 0;
                                   });
        auto hi = std::upper_bound(lo, m_view.end(), probe, [&](const Row &p, const std::unique_ptr<Record> &r) {
            return compareRows(p, r->values, lead) < 0;
        });
        from = size_t(lo - m_view.begin());
        to = size_t(hi - m_view.begin());
    }
    for (size_t i = from; i < to; ++i) {
        if (compareRows(m_view[i]->values, probe, list) == 0) {
            m_pos = int(i);
            m_eof = m_bof = false;
            return true;
        }
    }
    return false;
}

bool Dataset::findNearest(const QVariantList &values)
{
    requireBrowse("search");
    if (m_order.empty() || size_t(values.size()) > m_order.size())
        throw DatasetError(QStringLiteral("%1: search needs an ordering").arg(m_name));
    const std::vector<int> lead(m_order.begin(), m_order.begin() + values.size());
    Row probe(m_fields.size());
    for (size_t i = 0; i < lead.size(); ++i)
        probe[size_t(lead[i])] = convert(m_fields[size_t(lead[i])], values[qsizetype(i)], m_name);
    auto lo = std::lower_bound(m_view.begin(), m_view.end(), probe,
                               [&](const std::unique_ptr<Record> &r, const Row &p) {
                                   return compareRows(r->values, p, lead) < 0;
                               });
    if (lo == m_view.end()) {
        m_pos = int(m_view.size()) - 1;
        m_eof = true;
        return false;
    }
    m_pos = int(lo - m_view.begin());
    m_eof = m_bof = false;
    return true;
}

} // namespace bolaris
