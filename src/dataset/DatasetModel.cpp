#include "DatasetModel.h"

#include "Dataset.h"

#include <QTimer>

namespace bolaris {

DatasetModel::DatasetModel(Dataset &dataset, QList<Column> columns, QObject *parent)
    : QAbstractTableModel(parent), m_dataset(dataset), m_columns(std::move(columns))
{
    connect(&m_dataset, &Dataset::changed, this, [this] {
        if (m_pending)
            return;
        m_pending = true;
        QTimer::singleShot(0, this, [this] {
            if (m_pending)
                refresh();
        });
    });
    refresh();
}

void DatasetModel::refresh()
{
    m_pending = false;
    beginResetModel();
    m_fieldIndex.clear();
    for (const Column &c : m_columns)
        m_fieldIndex << (m_dataset.isOpen() ? m_dataset.fieldIndex(c.field) : -1);
    endResetModel();
}

int DatasetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_dataset.isOpen() ? 0 : m_dataset.recordCount();
}

int DatasetModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(m_columns.size()); }

QVariant DatasetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Column &column = m_columns[index.column()];
    switch (role) {
    case Qt::DisplayRole: {
        const int field = m_fieldIndex.value(index.column(), -1);
        if (field < 0)
            return {};
        const QVariant &v = m_dataset.rowAt(index.row())[size_t(field)];
        return v.isNull() ? QString() : v.toString();
    }
    case Qt::TextAlignmentRole:
        return int(column.alignment);
    case Qt::ForegroundRole:
        return column.colour.isValid() ? QVariant(column.colour) : QVariant();
    case Qt::FontRole:
        return column.font;
    default:
        return {};
    }
}

QVariant DatasetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns[section].title;
    if (role == Qt::FontRole)
        return titleFont;
    return {};
}

} // namespace bolaris
