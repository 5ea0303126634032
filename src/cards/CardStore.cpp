#include "CardStore.h"

#include "CardRules.h"
#include "SeriesA.h"
#include "dataset/DatasetError.h"
#include "dataset/DatasetFile.h"
#include "dataset/StrictInt.h"
#include "dataset/WorkDir.h"

#include <QFile>

#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>

namespace bolaris {

CartelaTable::CartelaTable() : m_slots(static_cast<Slot *>(std::calloc(size_t(kCardCount) + 1, sizeof(Slot))))
{
    if (!m_slots)
        throw std::bad_alloc();
}

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
    ++m_generation;
    Slot &slot = m_slots[size_t(index)];
    const size_t n = std::min(text.size(), size_t(kCardTextLength));
    std::memcpy(slot.text, text.data(), n);
    slot.length = std::uint8_t(n);
}

void CartelaTable::storeSeriesA()
{
    ++m_generation;
    for (int b = 0; b < kSeriesABlocks; ++b) {
        for (int i = 0; i < kSeriesABlockSize; ++i) {
            Slot &slot = m_slots[size_t(b * kSeriesABlockSize + i + 1)];
            std::memcpy(slot.text, kSeriesA[b][i], kCardTextLength);
            slot.length = kCardTextLength;
        }
    }
}

std::optional<CartelaTable::Unusable> CartelaTable::firstUnusable(char series, int first, int last,
                                                                  CardCheck check) const
{
    for (int n = first; n <= last; ++n) {
        const std::string_view text = card(series, n);
        if (text.empty() || (check == CardCheck::Readable ? !IsReadableCard(text) : !CheckCard(text).empty()))
            return Unusable{n, text.empty()};
    }
    return std::nullopt;
}

QString CartelaTable::unusableText(char series, const Unusable &card)
{
    return QStringLiteral("A cartela %1-%2 não está disponível (%3).")
        .arg(QLatin1Char(series))
        .arg(card.number)
        .arg(card.missing ? QStringLiteral("falta o arquivo compl22.cds ou a cartela nele")
                          : QStringLiteral("texto da cartela inválido"));
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
    // The records are staged and stored only once the whole file was read: a
    // file that fails halfway (damaged pages, a read error) leaves series B
    // to L as they were, never half of the file over them.
    struct Staged {
        int index;
        std::uint8_t length;
    };
    std::vector<Staged> staged;
    std::string texts; // kCardTextLength bytes a staged record
    try {
        // Streams the records of TableCompl in file order.
        std::vector<FieldDef> fields;
        int cartela = -1;
        int todas = -1;
        QByteArray text;
        DatasetFile::forEachRow(
            path,
            [&](const Row &row) {
                if (cartela < 0) {
                    for (size_t i = 0; i < fields.size(); ++i) {
                        if (fields[i].name.compare(QLatin1String("Cartela"), Qt::CaseInsensitive) == 0)
                            cartela = int(i);
                        else if (fields[i].name.compare(QLatin1String("Todas"), Qt::CaseInsensitive) == 0)
                            todas = int(i);
                    }
                    if (cartela < 0 || todas < 0)
                        throw DatasetError(
                            QStringLiteral("%1: the fields Cartela and Todas are missing").arg(kFileName));
                }
                const QVariant &index = row[size_t(cartela)];
                const QVariant &value = row[size_t(todas)];
                if (!index.isValid() || index.isNull() || !value.isValid() || value.isNull())
                    return;
                const std::optional<int> n =
                    index.typeId() == QMetaType::Int ? std::optional<int>(index.toInt()) : parseStrictInt(index.toString());
                text = value.toString().toLatin1();
                if (!n || *n < 1 || *n > kCardCount || text.isEmpty())
                    return; // not a card of any series: stored nowhere
                const size_t length = std::min(size_t(text.size()), size_t(kCardTextLength));
                staged.push_back({*n, std::uint8_t(length)});
                texts.append(text.constData(), length);
                texts.append(kCardTextLength - length, '\0');
            },
            &fields);
    } catch (const DatasetError &e) {
        result.error = e.message();
        result.errorRepeated = m_failed && m_failed == signature;
        m_failed = signature;
        return result;
    }
    for (size_t i = 0; i < staged.size(); ++i)
        m_table.store(staged[i].index, std::string_view(texts.data() + i * kCardTextLength, staged[i].length));
    m_failed.reset();
    m_applied = signature;
    result.fileRead = true;
    return result;
}

} // namespace bolaris
