#pragma once

#include "dataset/Dataset.h"

#include <QHash>
#include <QStringList>

#include <vector>

namespace bolaris {

// The records a report prints, copied out of its dataset when the report is
// opened, so that pages can be laid out and painted on any thread.
struct ReportData {
    QStringList fields;
    std::vector<std::vector<QString>> records;
    QHash<QString, int> byName; // lower-case field name

    int fieldIndex(const QString &name) const;
    void indexFields(); // after fields change: makes fieldIndex a hash lookup
    // A record may end before the last field: the fields after it are empty.
    QString value(int record, int field) const
    {
        const std::vector<QString> &values = records[size_t(record)];
        return size_t(field) < values.size() ? values[size_t(field)] : QString();
    }

    static ReportData fromDataset(Dataset &dataset);
};

} // namespace bolaris
