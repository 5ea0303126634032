#include "CardStore.h"

#include "SeriesA.h"
#include "dataset/Dataset.h"
#include "dataset/StrictInt.h"
#include "dataset/WorkDir.h"

#include <QFile>

#include <cstring>
#include <sys/stat.h>

namespace bolaris {

CartelaTable::CartelaTable() : m_slots(size_t(kCardCount) + 1) {}

std::string_view CartelaTable::entry(int index) const
{
    if (index < 1 || index > kCardCount)
        return {};
    const Slot &slot = m_slots[size_t(index)];
    return {slot.text, slot.length};
}

void CartelaTable::store(int index, std::string_view text)
{
    if (index < 1 || index > kCardCount)
        return;
    Slot &slot = m_slots[size_t(index)];
    const size_t n = std::min(text.size(), size_t(kCardTextLength));
    std::memcpy(slot.text, text.data(), n);
    slot.length = std::uint8_t(n);
}

void CartelaTable::storeSeriesA()
{
    for (int b = 0; b < kSeriesABlocks; ++b) {
        for (int i = 0; i < kSeriesABlockSize; ++i) {
            Slot &slot = m_slots[size_t(b * kSeriesABlockSize + i + 1)];
            std::memcpy(slot.text, kSeriesA[b][i], kCardTextLength);
            slot.length = kCardTextLength;
        }
    }
}

std::optional<CardStore::Signature> CardStore::signatureOf(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    Signature s;
    s.path = path;
    s.dev = std::uint64_t(st.st_dev);
    s.ino = std::uint64_t(st.st_ino);
    s.size = std::uint64_t(st.st_size);
    s.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.ctimeNs = std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

CardStore::FillResult CardStore::FillCardStore(const QString &dir)
{
    FillResult result;
    if (!WorkDir::exists(dir, QLatin1String(kFileName))) {
        m_table.storeSeriesA();
        m_applied.reset();
        m_failed.reset();
        return result;
    }
    const QString path = WorkDir::resolve(dir, QLatin1String(kFileName));
    const std::optional<Signature> signature = signatureOf(path);
    if (signature && m_applied == signature)
        return result; // entries already hold exactly what a full fill gives

    m_table.storeSeriesA();
    m_applied.reset();
    Dataset table(QStringLiteral("TableCompl"));
    table.setDirectory(dir);
    table.setFileName(QLatin1String(kFileName));
    try {
        table.open();
        const int cartela = table.fieldIndex(QStringLiteral("Cartela"));
        const int todas = table.fieldIndex(QStringLiteral("Todas"));
        if (cartela < 0 || todas < 0)
            throw DatasetError(QStringLiteral("%1: the fields Cartela and Todas are missing").arg(kFileName));
        QByteArray text;
        for (table.first(); !table.eof(); table.next()) {
            const Row &row = table.rowAt(table.recNo());
            const QVariant &index = row[size_t(cartela)];
            const QVariant &value = row[size_t(todas)];
            if (!index.isValid() || index.isNull() || !value.isValid() || value.isNull())
                continue;
            std::optional<int> n;
            if (index.typeId() == QMetaType::Int)
                n = index.toInt();
            else
                n = parseStrictInt(index.toString());
            text = value.toString().toLatin1();
            if (!n || *n < 1 || *n > kCardCount || text.isEmpty())
                continue; // not a card of any series: stored nowhere
            m_table.store(*n, std::string_view(text.constData(), size_t(text.size())));
        }
        table.close();
    } catch (const DatasetError &e) {
        result.error = e.message();
        result.errorRepeated = m_failed && m_failed == signature;
        m_failed = signature;
        return result;
    }
    m_failed.reset();
    m_applied = signature;
    result.fileRead = true;
    return result;
}

} // namespace bolaris
