#pragma once

#include "WinnerScan.h"

#include <QString>

#include <memory>

namespace bolaris {

class Dataset;

// The fewest-points list TableMenos ("Menos.cds"): made anew, file deleted,
// whenever a scan rebuilds the list; written to its file when closed at the
// end of the program. Nothing reads the file.
class FewestPointsTable {
public:
    explicit FewestPointsTable(const QString &dir);
    ~FewestPointsTable();

    void rebuild(const QList<TicketRef> &entries);
    void close();
    Dataset *TableMenos() const { return m_table.get(); }

    static constexpr const char *kFileName = "Menos.cds";

private:
    QString m_dir;
    std::unique_ptr<Dataset> m_table; // none until the first rebuild
};

} // namespace bolaris
