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
    const QString &value(int record, int field) const { return records[size_t(record)][size_t(field)]; }

    static ReportData fromDataset(Dataset &dataset);
};

} // namespace bolaris
