#include "CompetingSet.h"

#include "dataset/Dataset.h"
#include "validation/RegistryNames.h"

#include <QtEndian>

namespace bolaris {

namespace {

constexpr char kVersion = 1;
constexpr int kCardBytes = kCardCount / 8;                            // 3,000
constexpr int kTicketBytes = kSeriesCount * kTicketsPerSeries / 8;    // 18,000

char seriesOf(const QVariant &value)
{
    const QString s = value.toString();
    const char letter = s.size() == 1 ? s.at(0).toLatin1() : 0;
    return IsSeriesLetter(letter) ? letter : 0;
}

int numberIn(const QVariant &value, int last)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    return ok && n >= 1 && n <= last ? n : 0;
}

template <size_t N> void putBits(const std::bitset<N> &bits, char *to)
{
    for (size_t i = 0; i < N; ++i)
        if (bits[i])
            to[i / 8] = char(to[i / 8] | (1 << (i % 8)));
}

template <size_t N> void takeBits(std::bitset<N> &bits, const char *from)
{
    for (size_t i = 0; i < N; ++i)
        bits[i] = (from[i / 8] >> (i % 8)) & 1;
}

} // namespace

CompetingSet::CompetingSet() : m_bits(std::make_unique<Bits>()) {}
CompetingSet::CompetingSet(const CompetingSet &other)
    : m_bits(std::make_unique<Bits>(*other.m_bits)), m_cards(other.m_cards), m_returned(other.m_returned)
{
}
CompetingSet &CompetingSet::operator=(const CompetingSet &other)
{
    if (this != &other) {
        *m_bits = *other.m_bits;
        m_cards = other.m_cards;
        m_returned = other.m_returned;
    }
    return *this;
}
CompetingSet::~CompetingSet() = default;

bool CompetingSet::operator==(const CompetingSet &other) const
{
    return m_bits->cards == other.m_bits->cards && m_bits->returned == other.m_bits->returned;
}

CompetingSet CompetingSet::fromRegistry(const Dataset &vali, const Dataset &valiC)
{
    CompetingSet set;
    if (vali.isOpen()) {
        const int serie = vali.fieldIndex(registrynames::kSerie), numero = vali.fieldIndex(registrynames::kNumero);
        for (int i = 0; serie >= 0 && numero >= 0 && i < vali.recordCount(); ++i) {
            const Row &row = vali.rowAt(i);
            const char s = seriesOf(row[size_t(serie)]);
            const int n = numberIn(row[size_t(numero)], kCardsPerSeries);
            if (s && n)
                set.m_bits->cards[size_t(CardIndex(s, n) - 1)] = true;
        }
    }
    if (valiC.isOpen()) {
        const int serie = valiC.fieldIndex(registrynames::kSerie), cartao = valiC.fieldIndex(registrynames::kCartao);
        for (int i = 0; serie >= 0 && cartao >= 0 && i < valiC.recordCount(); ++i) {
            const Row &row = valiC.rowAt(i);
            const char s = seriesOf(row[size_t(serie)]);
            const int t = numberIn(row[size_t(cartao)], kTicketsPerSeries);
            if (s && t)
                set.m_bits->returned[size_t((s - 'A') * kTicketsPerSeries + t - 1)] = true;
        }
    }
    set.recount();
    return set;
}

void CompetingSet::recount()
{
    m_cards = int(m_bits->cards.count());
    m_returned = 0;
    forEachReturned([this](char series, int ticket) { m_returned += validated(series, CardOfTicket(ticket)); });
}

void CompetingSet::addCard(char series, int card)
{
    if (!IsSeriesLetter(series) || card < 1 || card > kCardsPerSeries || validated(series, card))
        return;
    m_bits->cards[size_t(CardIndex(series, card) - 1)] = true;
    ++m_cards;
    for (int p = 1; p <= 6; ++p)
        m_returned += returned(series, TicketNumber(card, p));
}

void CompetingSet::addReturned(char series, int ticket)
{
    if (!IsSeriesLetter(series) || ticket < 1 || ticket > kTicketsPerSeries || returned(series, ticket))
        return;
    m_bits->returned[size_t((series - 'A') * kTicketsPerSeries + ticket - 1)] = true;
    m_returned += validated(series, CardOfTicket(ticket));
}

bool CompetingSet::validated(char series, int card) const
{
    return IsSeriesLetter(series) && card >= 1 && card <= kCardsPerSeries &&
           m_bits->cards[size_t(CardIndex(series, card) - 1)];
}

bool CompetingSet::returned(char series, int ticket) const
{
    return IsSeriesLetter(series) && ticket >= 1 && ticket <= kTicketsPerSeries &&
           m_bits->returned[size_t((series - 'A') * kTicketsPerSeries + ticket - 1)];
}

int CompetingSet::cardCount(char series) const
{
    int count = 0;
    for (int card = 1; card <= kCardsPerSeries; ++card)
        count += validated(series, card);
    return count;
}

int CompetingSet::cardsAddedIn(const CompetingSet &other) const
{
    return int((other.m_bits->cards & ~m_bits->cards).count());
}

QByteArray CompetingSet::toBytes() const
{
    QByteArray raw(kCardBytes + kTicketBytes, '\0');
    putBits(m_bits->cards, raw.data());
    putBits(m_bits->returned, raw.data() + kCardBytes);
    return QByteArray(1, kVersion) + qCompress(raw, 9);
}

std::optional<CompetingSet> CompetingSet::fromBytes(const QByteArray &bytes)
{
    // qCompress puts the length of the data before the stream: anything but
    // the bitmaps' length is refused before a byte is inflated.
    if (bytes.size() < 5 || bytes.at(0) != kVersion ||
        qFromBigEndian<quint32>(bytes.constData() + 1) != quint32(kCardBytes + kTicketBytes))
        return std::nullopt;
    const QByteArray raw = qUncompress(bytes.mid(1));
    if (raw.size() != kCardBytes + kTicketBytes)
        return std::nullopt;
    CompetingSet set;
    takeBits(set.m_bits->cards, raw.constData());
    takeBits(set.m_bits->returned, raw.constData() + kCardBytes);
    set.recount();
    return set;
}

} // namespace bolaris
