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
// Each competing ticket keeps the count of its numbers not yet drawn per row
// and among its corners. A ball drawn or taken back updates only the tickets
// holding it, through an index from each ball to its tickets; the report is
// read from those counters: how many tickets stand in each count, and which
// tickets have a row, the corners or all numbers drawn, kept as sets in the
// order of the walk. The index is rebuilt whenever the registry or the card
// table has changed since it was made, so a scan never sees a stale registry
// or store.
class WinnerScan {
public:
    WinnerScan(const CartelaTable &cards, const Dataset &vali, const Dataset &valiC);
    ~WinnerScan();

    // The least drawn count at which a scan takes place.
    static int ScanThreshold(const PrizeSwitches &switches);

    // One scan; arms the fewest-points list in the draw state when some ticket
    // is one number short.
    ScanReport CheckWinners(DrawState &draw, const PrizeSwitches &switches);

    // The fewest-points list as the last scan that kept it left it.
    const QList<TicketRef> &fewest() const { return m_fewest; }

private:
    struct Ticket {
        std::uint16_t card = 0;
        std::uint16_t ticket = 0;
        char series = 'A';
    };
    struct Stamp {
        const void *source = nullptr;
        std::uint64_t cards = 0, vali = 0, valiC = 0;
        bool operator==(const Stamp &) const = default;
    };

    void refresh();
    Stamp stamp() const;
    // Brings the counters to the balls drawn now.
    void follow(const DrawState &draw);
    template <bool Drawn> void apply(int ball);

    const CartelaTable &m_cards;
    const Dataset &m_vali;
    const Dataset &m_valiC;
    Stamp m_built;
    bool m_valid = false;
    std::vector<Ticket> m_tickets; // in the order of the walk
    // The tickets holding each ball: entries m_first[n] .. m_first[n + 1] - 1,
    // each the ticket's place in the walk times 8 plus the place's row times 2
    // plus 1 for a corner.
    std::vector<std::uint32_t> m_entries;
    std::array<std::uint32_t, 92> m_first{};
    // Per ticket, its missing numbers of rows 1, 2, 3 and corners as one
    // state: row1 + 6 row2 + 36 row3 + 216 corners.
    std::vector<std::uint16_t> m_state;
    std::vector<std::uint32_t> m_inState; // tickets per state
    std::vector<std::uint32_t> m_moves;   // tickets leaving each state by entry kind, during apply
    // Sets of tickets, one bit each, 64 tickets a word, one after the other:
    // the tickets with a row all drawn, with the corners drawn, with every
    // number drawn, with at least m_high numbers missing and with at least
    // m_high - 1 missing.
    static constexpr size_t kRowDone = 0, kCornersDone = 1, kFull = 2, kHigh = 3, kNext = 4, kSets = 5;
    std::vector<std::uint64_t> m_sets;
    size_t m_blocks = 0; // words of one set
    // Per set, one bit per word of it that has a ticket, so that a walk
    // over a set skips its empty stretches.
    std::vector<std::uint64_t> m_marks;
    size_t m_markWords = 0;
    // Calls visit(word, bits) for each word of the union of the sets given
    // as bits (1 << set) that has a ticket, in order.
    template <typename Visit> void forEachBlock(unsigned setMask, Visit visit) const;
    // The fewest-points list is read from one of the two sets: a ball drawn
    // or taken back moves the most missing by one at most, so the sets are
    // made again only when it has moved two away from m_high.
    int m_high = 17;
    void makeHighSet(int high);
    // Makes a set anew from the tickets' states: those whose decoded state has it.
    template <typename Has> void makeSet(size_t set, Has has);
    // The sets of tickets with a row and with the corners drawn are kept
    // only while wanted (kRowsDone 1, kCornersDrawn 2; full tickets 4 always).
    unsigned m_tracked = 4;
    void track(unsigned wanted);
    // The last scan's announcements (ticket * 4 + prize, in order) and its
    // lines, which begin with their two lines each.
    std::vector<std::uint32_t> m_lastKeys;
    QStringList m_lastLines;
    std::vector<std::uint32_t> m_nextKeys; // the list being made, kept for its memory
    std::vector<std::uint32_t> m_winnerIds; // the winning tickets of a scan, kept for its memory
    std::array<bool, 91> m_applied{};       // the balls the counters hold as drawn
    QStringList m_missing;
    QList<TicketRef> m_fewest;
};

} // namespace bolaris
