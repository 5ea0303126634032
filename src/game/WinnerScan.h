#pragma once

#include <QChar>
#include <QList>
#include <QStringList>

#include <array>
#include <cstdint>
#include <utility>
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
// Each competing ticket keeps the count of its numbers not yet drawn, and
// while their prizes are on, per row and among its corners, as bit planes:
// plane i holds bit i of every ticket's count, 64 tickets a word. Each ball
// has the set of the tickets holding it (and, for rows and corners, holding
// it in each row and in a corner); a ball drawn subtracts its set from the
// planes, a ball taken back adds it, 64 tickets at a time. The report is read
// from the planes: how many tickets miss how many numbers, and which tickets
// have a row, the corners or all numbers drawn, in the order of the walk.
// The index is rebuilt whenever the registry or the card table has changed
// since it was made, so a scan never sees a stale registry or store.
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
    // A ticket that holds a number twice (a damaged card file): left out of
    // the balls' sets, its counts are written from its numbers.
    struct Irregular {
        std::uint32_t id = 0;
        std::array<std::uint8_t, 15> numbers{};
    };

    // A word of a set of tickets: its place and its bits.
    struct Bits {
        size_t word = 0;
        std::uint64_t bits = 0;
    };
    // What one pass over the planes counts: tickets by numbers missing in
    // all, in a row, in two rows and among the corners.
    struct Tally {
        std::array<int, 6> total{}, rows{}, pairs{};
        std::array<int, 5> corners{};
        bool above = false; // some ticket misses more than the most missing looked for
    };
    // Applies the ball of set (when given) drawn or taken back, counts the
    // tickets by numbers missing, writes down the words with full tickets
    // (from full on) and, for high >= 0, those with tickets missing high
    // (from atHigh on); returns the ends of both lists.
    static std::pair<Bits *, Bits *> tallyTotal(std::uint64_t *planes, size_t words, const std::uint64_t *set,
                                                bool drawn, std::uint64_t tail, int high, Tally &tally, Bits *full,
                                                Bits *atHigh);
    // Counts what the switched-on prizes need by row, two rows and corners,
    // and writes down the words with tickets winning one (from won on);
    // returns the end of the list.
    static Bits *tallyPrizes(const std::uint64_t *rows, const std::uint64_t *corners, size_t words, std::uint64_t tail,
                             size_t tickets, const PrizeSwitches &switches, Tally &tally, Bits *won);

    void refresh();
    Stamp stamp() const;
    // The sets of each ball by row and in a corner, made when first wanted.
    void indexRows();
    // Rows and corners are counted only while wanted (kRowsDone 1,
    // kCornersDrawn 2; the whole ticket, 4, always); counts taken up again
    // are made from the balls applied.
    void track(unsigned wanted);
    // Brings the counts to the balls drawn now, but for the counts of all
    // numbers of the last ball changed, which it returns (0 for none).
    int follow(const DrawState &draw);
    void apply(int ball, bool drawn, unsigned counts);
    void writeIrregular(unsigned counts);
    // The most numbers missing on any ticket.
    int highest() const;
    // Writes down the words with tickets missing count numbers (from out
    // on), tells whether some ticket misses more; returns the list's end.
    Bits *listMissing(int count, Bits *out, bool &more) const;

    const CartelaTable &m_cards;
    const Dataset &m_vali;
    const Dataset &m_valiC;
    Stamp m_built;
    bool m_valid = false;
    std::vector<Ticket> m_tickets; // in the order of the walk
    size_t m_words = 0;            // words of a set of tickets
    std::uint64_t m_tail = 0;      // the tickets of the last word
    // The tickets holding ball n: words n * m_stride ..; by row r:
    // (r * 91 + n) * m_words ..; in a corner: n * m_words ...
    std::vector<std::uint64_t> m_has;
    size_t m_stride = 0;
    std::vector<std::uint64_t> m_rowHas, m_cornerHas;
    bool m_rowsIndexed = false;
    // The counts as bit planes, plane after plane of m_words each: all
    // numbers (4 planes), each row (3 planes a row) and the corners (3).
    std::vector<std::uint64_t> m_total, m_rows, m_corners;
    std::vector<Irregular> m_irregular;
    unsigned m_tracked = 4;
    // The most missing at the last scan that looked: a ball moves it by one
    // at most, so a scan looks for the tickets missing that many and more.
    int m_high = 15;
    // The words with winners and with the tickets missing the most, with
    // room for one more than a set's words.
    std::vector<Bits> m_fullWords, m_prizeWords, m_highWords;
    // The last scan's announcements (ticket * 4 + prize, in order) and its
    // lines, which begin with their two lines each.
    std::vector<std::uint32_t> m_lastKeys;
    QStringList m_lastLines;
    std::vector<std::uint32_t> m_nextKeys; // the list being made, kept for its memory
    // The last scan's winners (beside its keys and lines) and prizes, and
    // the lines and winners of the scan before: their room serves the next
    // scan once no report holds them.
    QList<TicketRef> m_lastWinners, m_spareWinners;
    QStringList m_lastPrizes, m_spareLines;
    std::array<bool, 91> m_applied{};       // the balls the counts hold as drawn
    QStringList m_missing;
    QList<TicketRef> m_fewest;
};

} // namespace bolaris
