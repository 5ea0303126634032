#include "FewestPointsTable.h"

#include "dataset/Dataset.h"
#include "dataset/WorkDir.h"

namespace bolaris {

FewestPointsTable::FewestPointsTable(const QString &dir) : m_dir(dir) {}
FewestPointsTable::~FewestPointsTable() = default;

void FewestPointsTable::rebuild(const QList<TicketRef> &entries)
{
    // The list of the previous scan is dropped unwritten: its file would be
    // deleted at once anyway.
    m_table.reset();
    WorkDir::remove(m_dir, QLatin1String(kFileName)); // a file that cannot be deleted stays
    auto table = std::make_unique<Dataset>(QStringLiteral("TableMenos"));
    table->setDirectory(m_dir);
    table->setFileName(QLatin1String(kFileName));
    table->addFieldDef(QStringLiteral("Numero"), FieldType::Integer);
    table->addFieldDef(QStringLiteral("Serie"), FieldType::String, 1);
    table->addFieldDef(QStringLiteral("Cartao"), FieldType::Integer);
    table->createDataset();
    for (const TicketRef &entry : entries) {
        table->append();
        table->setValue(0, entry.card);
        table->setValue(1, QString(entry.series));
        table->setValue(2, entry.ticket);
        table->post();
    }
    m_table = std::move(table);
}

void FewestPointsTable::close()
{
    if (m_table)
        m_table->close();
}

} // namespace bolaris
