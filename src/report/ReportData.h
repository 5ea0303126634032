#pragma once

#include "dataset/Dataset.h"

#include <QStringList>

#include <vector>

namespace bolaris {

// The records a report prints, copied out of its dataset when the report is
// opened, so that pages can be laid out and painted on any thread.
struct ReportData {
    QStringList fields;
    std::vector<std::vector<QString>> records;

    int fieldIndex(const QString &name) const;
    const QString &value(int record, int field) const { return records[size_t(record)][size_t(field)]; }

    static ReportData fromDataset(Dataset &dataset);
};

} // namespace bolaris
