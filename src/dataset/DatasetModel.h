#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QList>

namespace bolaris {

class Dataset;

// A read-only table view of a dataset in its current order, for the data grids.
// Changes are picked up once per event-loop turn, or at once by refresh().
class DatasetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString field;
        QString title;
        int width = 64;
        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
        QColor colour;
        QFont font;
    };

    DatasetModel(Dataset &dataset, QList<Column> columns, QObject *parent = nullptr);

    const QList<Column> &columns() const { return m_columns; }
    void refresh();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    QFont titleFont;

private:
    Dataset &m_dataset;
    QList<Column> m_columns;
    QList<int> m_fieldIndex;
    bool m_pending = false;
};

} // namespace bolaris
