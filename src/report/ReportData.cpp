#include "ReportData.h"

namespace bolaris {

void ReportData::indexFields()
{
    byName.clear();
    for (int i = 0; i < fields.size(); ++i)
        byName.insert(fields[i].toLower(), i);
}

int ReportData::fieldIndex(const QString &name) const
{
    if (!byName.isEmpty())
        return byName.value(name.toLower(), -1);
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

ReportData ReportData::fromDataset(Dataset &dataset)
{
    ReportData data;
    for (const FieldDef &f : dataset.fieldDefs())
        data.fields << f.name;
    data.indexFields();
    data.records.reserve(size_t(dataset.recordCount()));
    for (int r = 0; r < dataset.recordCount(); ++r) {
        const Row &row = dataset.rowAt(r);
        std::vector<QString> values;
        values.reserve(row.size());
        for (const QVariant &v : row)
            values.push_back(v.isNull() ? QString() : v.toString());
        data.records.push_back(std::move(values));
    }
    return data;
}

} // namespace bolaris
