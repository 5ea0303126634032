#pragma once

#include <QChar>
#include <QList>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

namespace bolaris {

class CartelaTable;
class Dataset;
class DrawState;

// The extra prizes the operator switched on in the Draw panel.
struct PrizeSwitches {
    bool cantos = false;  // "Os quatro cantos"
    bool linha = false;   // "linha"
    bool twoRows = false; // "2 linhas"
    bool operator==(const PrizeSwitches &) const = default;
    // These switches once the won prizes have switched themselves off.
    PrizeSwitches without(const PrizeSwitches &won) const
    {
        return {cantos && !won.cantos, linha && !won.linha, twoRows && !won.twoRows};
    }
};

// A ticket named by its card, series and ticket number within the series.
struct TicketRef {
    int card = 0;
    QChar series;
    int ticket = 0;
    bool operator==(const TicketRef &) const = default;
};

// What one scan found, for the panel to show: the text box's lines, the
// winners in the order announced, the switches to untick, the fewest-points
// list and the cards that could not be checked.
struct ScanReport {
    bool scanned = false;         // the drawn count had reached the threshold
    QStringList lines;            // announcements, or the near-miss lines when nothing was won
    QList<TicketRef> winners;     // one per prize, in the order announced
    QStringList prizes;           // the prize of each winner: "CANTOS", "LINHA", "2 LINHAS" or "CARTAO"
    PrizeSwitches won;            // extra prizes won: their switches go off
    bool fullTicket = false;      // some ticket has all 15 numbers drawn
    bool oneShort = false;        // some ticket lacks exactly one number
    std::array<int, 6> missCount{};
    bool fewestRebuilt = false;   // the fewest-points list was made anew in this scan
    int maxMissing = 0;
    QList<TicketRef> fewest;      // the fewest-points list after the scan
    QStringList fewestLines;      // its heading and entries, written after the win sound (only with winners)
    QStringList missingCards;     // validated cards ("B-7") not in the card store, skipped

    // Every line the text box shows after the scan, in order.
    QStringList memoLines() const { return lines + fewestLines; }
};

// Checks every competing ticket (a ticket of a validated card that was not
// returned) for the prizes after a ball event.
//
// The registry and the card store are read through an index of every
// competing ticket's numbers as 90-bit sets, rebuilt whenever either dataset
// or the card table has changed since it was made, so a scan never sees a
// stale registry or store.
class WinnerScan {
public:
    WinnerScan(const CartelaTable &cards, const Dataset &vali, const Dataset &valiC);

    // The least drawn count at which a scan takes place.
    static int ScanThreshold(const PrizeSwitches &switches);

    // One scan; arms the fewest-points list in the draw state when some ticket
    // is one number short.
    ScanReport CheckWinners(DrawState &draw, const PrizeSwitches &switches);

    // The fewest-points list as the last scan that kept it left it.
    const QList<TicketRef> &fewest() const { return m_fewest; }

private:
    struct Mask {
        std::uint64_t low = 0, high = 0;
        void add(int n) { (n <= 64 ? low : high) |= std::uint64_t(1) << ((n - 1) % 64); }
        int missing(const Mask &drawn) const { return bits(low & ~drawn.low) + bits(high & ~drawn.high); }
        // Counted in registers: the baseline x86-64 has no popcount instruction,
        // and the library's routine is a call per word.
        static int bits(std::uint64_t x)
        {
            x -= (x >> 1) & 0x5555555555555555ull;
            x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
            x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Full;
            return int((x * 0x0101010101010101ull) >> 56);
        }
    };
    struct Ticket {
        std::array<Mask, 3> rows;
        Mask corners;
        std::uint16_t card = 0;
        std::uint16_t ticket = 0;
        char series = 'A';
        // A ticket with a number twice in a row or among its corners is counted
        // number by number from these, as a set would count the number once.
        std::int32_t numbers = -1;
    };
    struct Stamp {
        const void *source = nullptr;
        std::uint64_t cards = 0, vali = 0, valiC = 0;
        bool operator==(const Stamp &) const = default;
    };

    void refresh();
    Stamp stamp() const;

    const CartelaTable &m_cards;
    const Dataset &m_vali;
    const Dataset &m_valiC;
    Stamp m_built;
    bool m_valid = false;
    std::vector<Ticket> m_tickets;
    std::vector<std::array<std::uint8_t, 15>> m_numbers;
    QStringList m_missing;
    QList<TicketRef> m_fewest;
};

} // namespace bolaris
