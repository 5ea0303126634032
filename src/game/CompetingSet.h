#pragma once

#include "cards/UnitCart.h"

#include <QByteArray>

#include <array>
#include <bitset>
#include <memory>
#include <optional>

namespace bolaris {

class Dataset;

// What competes in one draw: the validated cards and the returned tickets as
// the registry held them when the draw started. Later entries, by this desk
// or any other, count from the next draw. Kept in the draw log in a few
// kilobytes, so a draw can be checked against its own set at any time.
class CompetingSet {
public:
    CompetingSet();
    CompetingSet(const CompetingSet &other);
    CompetingSet &operator=(const CompetingSet &other);
    ~CompetingSet();
    bool operator==(const CompetingSet &other) const;

    // The registry's records as they stand; records outside the rules
    // (unknown series, card or ticket out of range) are left out.
    static CompetingSet fromRegistry(const Dataset &vali, const Dataset &valiC);

    void addCard(char series, int card);
    void addReturned(char series, int ticket);

    bool validated(char series, int card) const;
    bool returned(char series, int ticket) const;
    // A ticket competes when its card is validated and it was not returned.
    bool competes(char series, int ticket) const
    {
        return validated(series, CardOfTicket(ticket)) && !returned(series, ticket);
    }

    int cardCount() const { return m_cards; }
    int cardCount(char series) const;
    // Returned tickets of validated cards (the registry keeps no others).
    int returnedCount() const { return m_returned; }
    int competingTickets() const { return 6 * m_cards - m_returned; }
    // Cards validated in other but not here (entered since this set was taken).
    int cardsAddedIn(const CompetingSet &other) const;

    // Calls visit(series, card) for each validated card in the order of the
    // draw's check: series A to L, then card number.
    template <typename Visit> void forEachCard(Visit visit) const
    {
        for (int index = 1; index <= kCardCount; ++index)
            if (m_bits->cards[size_t(index - 1)])
                visit(SeriesOfIndex(index), CardOfIndex(index));
    }
    template <typename Visit> void forEachReturned(Visit visit) const
    {
        for (int i = 0; i < kSeriesCount * kTicketsPerSeries; ++i)
            if (m_bits->returned[size_t(i)])
                visit(char('A' + i / kTicketsPerSeries), i % kTicketsPerSeries + 1);
    }

    // A few kilobytes: a version byte and the compressed bitmaps.
    QByteArray toBytes() const;
    // Nothing for bytes that are not a set of this form.
    static std::optional<CompetingSet> fromBytes(const QByteArray &bytes);

private:
    struct Bits {
        std::bitset<kCardCount> cards;                            // by card index - 1
        std::bitset<kSeriesCount * kTicketsPerSeries> returned;   // series * 12000 + ticket - 1
    };
    void recount();
    std::unique_ptr<Bits> m_bits;
    int m_cards = 0;
    int m_returned = 0; // of validated cards
};

} // namespace bolaris
