#include "WinnerScan.h"

#include "DrawState.h"
#include "cards/CardStore.h"
#include "dataset/Dataset.h"


#include <algorithm>
#include <bit>
#include <utility>

namespace bolaris {

namespace {

constexpr int kStates = 6 * 6 * 6 * 5;
// What a ticket has won, by state.
constexpr unsigned kRowsDone = 1, kCornersDrawn = 2, kAllDrawn = 4;
constexpr std::uint16_t kStart = 5 + 6 * 5 + 36 * 5 + 216 * 4; // nothing drawn
// What one drawn number takes off a ticket's state, by entry kind (row * 2 + corner).
constexpr std::uint16_t kDelta[6] = {1, 1 + 216, 6, 6 + 216, 36, 36 + 216};

struct Decoded {
    std::uint8_t rows[3];
    std::uint8_t corners;
    std::uint8_t total;
    std::uint8_t done; // kRowsDone, kCornersDrawn, kAllDrawn
};

constexpr std::array<Decoded, kStates> decodeAll()
{
    std::array<Decoded, kStates> table{};
    for (int s = 0; s < kStates; ++s) {
        Decoded &d = table[size_t(s)];
        d.rows[0] = std::uint8_t(s % 6);
        d.rows[1] = std::uint8_t(s / 6 % 6);
        d.rows[2] = std::uint8_t(s / 36 % 6);
        d.corners = std::uint8_t(s / 216);
        d.total = std::uint8_t(d.rows[0] + d.rows[1] + d.rows[2]);
        d.done = std::uint8_t((d.rows[0] == 0 || d.rows[1] == 0 || d.rows[2] == 0 ? kRowsDone : 0) |
                              (d.corners == 0 ? kCornersDrawn : 0) |
                              (d.total == 0 ? kAllDrawn : 0));
    }
    return table;
}
constexpr std::array<Decoded, kStates> kDecoded = decodeAll();

// One number of a ticket drawn (or taken back), by entry kind and state: the
// new state, the sets of kRowsDone / kCornersDrawn / kAllDrawn it leaves or
// enters (bits 16 to 18), and the total missing on the side of the step with
// more missing (bits 24 to 31): a ticket leaves or enters the tickets missing
// at least h numbers when that total is h.
template <bool Drawn> constexpr std::array<std::uint32_t, 6 * kStates> stepsAll()
{
    std::array<std::uint32_t, 6 * kStates> table{};
    for (int kind = 0; kind < 6; ++kind)
        for (int was = 0; was < kStates; ++was) {
            const int now = Drawn ? was - kDelta[kind] : was + kDelta[kind];
            if (now < 0 || now >= kStates)
                continue; // no ticket ever takes this step
            const int more = Drawn ? was : now;
            table[size_t(kind * kStates + was)] = std::uint32_t(now) |
                                                  std::uint32_t(kDecoded[size_t(was)].done ^ kDecoded[size_t(now)].done) << 16 |
                                                  std::uint32_t(kDecoded[size_t(more)].total) << 24;
        }
    return table;
}
constexpr std::array<std::uint32_t, 6 * kStates> kDrawnSteps = stepsAll<true>();
constexpr std::array<std::uint32_t, 6 * kStates> kTakenBackSteps = stepsAll<false>();

const char *const kMissingTexts[6] = {"", " faltando 1 pedra.", " faltando 2 pedras.", " faltando 3 pedras.",
                                      " faltando 4 pedras.", " faltando 5 pedras."};

// The announcement lines written straight from Latin-1 bytes: hundreds of
// them may come in one scan.
char *putNumber(char *at, int n)
{
    char digits[12];
    int count = 0;
    do {
        digits[count++] = char('0' + n % 10);
        n /= 10;
    } while (n > 0);
    while (count > 0)
        *at++ = digits[--count];
    return at;
}

char *putText(char *at, std::string_view text) { return std::copy(text.begin(), text.end(), at); }

QString cardLine(int card, char series)
{
    char buffer[32];
    char *at = putNumber(putText(buffer, "CARTELA "), card);
    at = putText(at, " SERIE ");
    *at++ = series;
    return QString::fromLatin1(buffer, at - buffer);
}

// "Cartela7 A.Cartão 40", a line of the fewest-points list.
QString fewestLine(const TicketRef &entry)
{
    char buffer[48];
    char *at = putNumber(putText(buffer, "Cartela"), entry.card);
    *at++ = ' ';
    *at++ = entry.series.toLatin1();
    at = putNumber(putText(at, ".Cart\xE3o "), entry.ticket);
    return QString::fromLatin1(buffer, at - buffer);
}

QString prizeLine(std::string_view prize, int ticket)
{
    char buffer[40];
    return QString::fromLatin1(buffer, putNumber(putText(buffer, prize), ticket) - buffer);
}

enum Prize { CornersPrize, RowPrize, TwoRowsPrize, FullPrize };
constexpr std::string_view kPrizeTexts[4] = {"CANTOS. Cart\xE3o ", "LINHA. Cart\xE3o ", "2 LINHAS. Cart\xE3o ",
                                             "CARTAO. Cart\xE3o "};

const QString &prizeName(Prize prize)
{
    static const QString names[4] = {QStringLiteral("CANTOS"), QStringLiteral("LINHA"), QStringLiteral("2 LINHAS"),
                                     QStringLiteral("CARTAO")};
    return names[prize];
}

} // namespace

WinnerScan::WinnerScan(const CartelaTable &cards, const Dataset &vali, const Dataset &valiC)
    : m_cards(cards), m_vali(vali), m_valiC(valiC)
{
}

WinnerScan::~WinnerScan() = default;

int WinnerScan::ScanThreshold(const PrizeSwitches &switches)
{
    if (switches.cantos || switches.linha)
        return 3;
    return switches.twoRows ? 8 : 10;
}

WinnerScan::Stamp WinnerScan::stamp() const
{
    return {&m_cards, m_cards.generation(), m_vali.generation(), m_valiC.generation()};
}

void WinnerScan::refresh()
{
    const Stamp now = stamp();
    if (m_valid && now == m_built)
        return;
    m_tickets.clear();
    m_missing.clear();

    // Returned tickets by series and number.
    std::vector<bool> returned(size_t(kSeriesCount) * (kTicketsPerSeries + 1), false);
    if (m_valiC.isOpen()) {
        const int serie = m_valiC.fieldIndex(QStringLiteral("Serie"));
        const int cartao = m_valiC.fieldIndex(QStringLiteral("Cartao"));
        for (int i = 0; serie >= 0 && cartao >= 0 && i < m_valiC.recordCount(); ++i) {
            const Row &row = m_valiC.rowAt(i);
            const QString s = row[size_t(serie)].toString();
            bool ok = false;
            const int t = row[size_t(cartao)].toInt(&ok);
            if (ok && s.size() == 1 && IsSeriesLetter(s.at(0).toLatin1()) && t >= 1 && t <= kTicketsPerSeries)
                returned[size_t(s.at(0).toLatin1() - 'A') * (kTicketsPerSeries + 1) + size_t(t)] = true;
        }
    }

    // The numbers of every competing ticket, in the order of the walk.
    std::vector<std::array<std::uint8_t, 15>> numbers;
    if (m_vali.isOpen()) {
        const int serie = m_vali.fieldIndex(QStringLiteral("Serie"));
        const int numero = m_vali.fieldIndex(QStringLiteral("Numero"));
        m_tickets.reserve(size_t(m_vali.recordCount()) * 6);
        numbers.reserve(size_t(m_vali.recordCount()) * 6);
        for (int i = 0; serie >= 0 && numero >= 0 && i < m_vali.recordCount(); ++i) {
            const Row &row = m_vali.rowAt(i);
            const QString s = row[size_t(serie)].toString();
            bool ok = false;
            const int n = row[size_t(numero)].toInt(&ok);
            const char letter = s.size() == 1 ? s.at(0).toLatin1() : 0;
            const std::string_view text = ok && IsSeriesLetter(letter) && n >= 1 && n <= kCardsPerSeries
                                              ? m_cards.card(letter, n)
                                              : std::string_view();
            if (!IsReadableCard(text)) {
                m_missing << QStringLiteral("%1-%2").arg(s).arg(row[size_t(numero)].toString());
                continue;
            }
            for (int position = 1; position <= 6; ++position) {
                const int t = TicketNumber(n, position);
                if (returned[size_t(letter - 'A') * (kTicketsPerSeries + 1) + size_t(t)])
                    continue;
                const std::array<int, 15> ticketNumbers = TicketNumbers(text, position);
                std::array<std::uint8_t, 15> bytes{};
                for (size_t p = 0; p < 15; ++p)
                    bytes[p] = std::uint8_t(ticketNumbers[p] >= 1 && ticketNumbers[p] <= DrawState::kBalls
                                                ? ticketNumbers[p]
                                                : 0);
                numbers.push_back(bytes);
                m_tickets.push_back({std::uint16_t(n), std::uint16_t(t), letter});
            }
        }
    }

    // Ball -> tickets, each ball's entries in the order of the walk.
    m_first.fill(0);
    for (const auto &ticket : numbers)
        for (std::uint8_t n : ticket)
            ++m_first[size_t(n) + 1];
    for (size_t n = 1; n < m_first.size(); ++n)
        m_first[n] += m_first[n - 1];
    m_entries.assign(m_first.back(), 0);
    std::array<std::uint32_t, 92> fill = m_first;
    for (size_t id = 0; id < numbers.size(); ++id)
        for (size_t p = 0; p < 15; ++p) {
            const bool corner = p == 0 || p == 4 || p == 10 || p == 14;
            m_entries[fill[numbers[id][p]]++] = std::uint32_t(id) << 3 | std::uint32_t(p / 5) << 1 | (corner ? 1 : 0);
        }

    // Counters as before the first ball.
    const size_t count = m_tickets.size();
    m_blocks = (count + 63) / 64;
    m_state.assign(count, kStart);
    m_inState.assign(kStates, 0);
    m_moves.assign(6 * kStates, 0);
    m_inState[kStart] = std::uint32_t(count);
    m_sets.assign(kSets * m_blocks, 0);
    m_markWords = (m_blocks + 63) / 64;
    m_marks.assign(kSets * m_markWords, 0);
    m_high = 17; // no ticket misses 16 numbers: both sets start empty and right
    m_applied.fill(false);
    m_lastKeys.clear();
    m_lastLines.clear();

    m_built = now;
    m_valid = true;
}

template <bool Drawn> void WinnerScan::apply(int ball)
{
    std::uint16_t *state = m_state.data();
    std::uint32_t *moves = m_moves.data();
    std::uint64_t *sets = m_sets.data();
    const size_t blocks = m_blocks;
    std::uint64_t *marks = m_marks.data();
    const size_t markWords = m_markWords;
    const std::uint32_t *steps = Drawn ? kDrawnSteps.data() : kTakenBackSteps.data();
    const unsigned next = unsigned(m_high - 1);
    const std::uint32_t tracked = m_tracked << 16;
    const std::uint32_t *begin = m_entries.data() + m_first[size_t(ball)];
    const std::uint32_t *end = m_entries.data() + m_first[size_t(ball) + 1];
    for (const std::uint32_t *e = begin; e != end; ++e) {
        const std::uint32_t id = *e >> 3;
        const std::uint32_t at = (*e & 7) * kStates + state[id];
        const std::uint32_t step = steps[at];
        state[id] = std::uint16_t(step);
        ++moves[at];
        // The ticket moves in or out of the sets kept now: rarely, but for
        // the rows late in a draw, which are followed only while wanted.
        const std::uint32_t changed = step & tracked;
        const unsigned crossing = (step >> 24) - next; // 1: m_high, 0: m_high - 1
        if (changed || crossing <= 1) {
            const auto flip = [&](size_t set) {
                std::uint64_t &word = sets[set * blocks + id / 64];
                word ^= std::uint64_t(1) << (id % 64);
                std::uint64_t &mark = marks[set * markWords + id / 4096];
                const std::uint64_t bit = std::uint64_t(1) << (id / 64 % 64);
                mark = word ? mark | bit : mark & ~bit;
            };
            if (changed & kRowsDone << 16)
                flip(kRowDone);
            if (changed & kCornersDrawn << 16)
                flip(kCornersDone);
            if (changed & kAllDrawn << 16)
                flip(kFull);
            if (crossing == 1)
                flip(kHigh);
            else if (crossing == 0)
                flip(kNext);
        }
    }
    // The moves by kind and state: out of the state, into the state a drawn
    // (or taken back) number leads to.
    std::uint32_t *inState = m_inState.data();
    for (size_t kind = 0; kind < 6; ++kind) {
        const std::uint32_t *from = moves + kind * kStates;
        for (size_t s = 0; s < size_t(kStates); ++s)
            inState[s] -= from[s];
        const size_t d = kDelta[kind];
        if (Drawn)
            for (size_t s = d; s < size_t(kStates); ++s)
                inState[s - d] += from[s];
        else
            for (size_t s = 0; s + d < size_t(kStates); ++s)
                inState[s + d] += from[s];
    }
    std::fill(m_moves.begin(), m_moves.end(), 0);
}

template <typename Has> void WinnerScan::makeSet(size_t set, Has has)
{
    std::uint64_t *words = m_sets.data() + set * m_blocks;
    std::uint64_t *marks = m_marks.data() + set * m_markWords;
    std::fill(marks, marks + m_markWords, 0);
    for (size_t b = 0; b < m_blocks; ++b) {
        std::uint64_t bits = 0;
        for (size_t i = 0; i < 64 && b * 64 + i < m_state.size(); ++i)
            bits |= std::uint64_t(has(kDecoded[m_state[b * 64 + i]])) << i;
        words[b] = bits;
        marks[b / 64] |= std::uint64_t(bits != 0) << (b % 64);
    }
}

template <typename Visit> void WinnerScan::forEachBlock(unsigned setMask, Visit visit) const
{
    for (size_t m = 0; m < m_markWords; ++m) {
        std::uint64_t marks = 0;
        for (size_t set = 0; set < kSets; ++set)
            if (setMask >> set & 1)
                marks |= m_marks[set * m_markWords + m];
        for (; marks; marks &= marks - 1) {
            const size_t b = m * 64 + size_t(std::countr_zero(marks));
            std::uint64_t bits = 0;
            for (size_t set = 0; set < kSets; ++set)
                if (setMask >> set & 1)
                    bits |= m_sets[set * m_blocks + b];
            visit(b, bits);
        }
    }
}

void WinnerScan::track(unsigned wanted)
{
    // A set taken up again is made from the tickets' states.
    const unsigned added = wanted & ~m_tracked;
    for (const auto &[flag, set] : {std::pair{kRowsDone, kRowDone}, std::pair{kCornersDrawn, kCornersDone}})
        if (added & flag)
            makeSet(set, [bit = flag](const Decoded &d) { return (d.done & bit) != 0; });
    m_tracked = wanted;
}

void WinnerScan::makeHighSet(int high)
{
    m_high = high;
    makeSet(kHigh, [high](const Decoded &d) { return d.total >= high; });
    makeSet(kNext, [high](const Decoded &d) { return d.total >= high - 1; });
}

void WinnerScan::follow(const DrawState &draw)
{
    for (int n = 1; n <= DrawState::kBalls; ++n) {
        const bool drawn = draw.drawn(n);
        if (drawn == m_applied[size_t(n)])
            continue;
        if (drawn)
            apply<true>(n);
        else
            apply<false>(n);
        m_applied[size_t(n)] = drawn;
    }
}

ScanReport WinnerScan::CheckWinners(DrawState &draw, const PrizeSwitches &switches)
{
    ScanReport report;
    if (draw.DrawnCount() < ScanThreshold(switches))
        return report;
    report.scanned = true;
    refresh();
    // Rows and corners are followed only while their prize is on: late in a
    // draw, when those prizes have gone, a fifth of the tickets a ball
    // touches would change those sets, at random.
    track(kAllDrawn | (switches.linha || switches.twoRows ? kRowsDone : 0) | (switches.cantos ? kCornersDrawn : 0));
    follow(draw);
    report.missingCards = m_missing;

    // How many tickets miss how many numbers, by pattern.
    std::array<int, 16> total{};
    std::array<int, 6> row{};
    std::array<int, 11> pair{};
    std::array<int, 5> corners{};
    for (int s = 0; s < kStates; ++s) {
        const std::uint32_t n = m_inState[size_t(s)];
        if (n == 0)
            continue;
        const int count = int(n);
        const Decoded &d = kDecoded[size_t(s)];
        total[d.total] += count;
        row[d.rows[0]] += count;
        row[d.rows[1]] += count;
        row[d.rows[2]] += count;
        pair[d.rows[0] + d.rows[1]] += count;
        pair[d.rows[0] + d.rows[2]] += count;
        pair[d.rows[1] + d.rows[2]] += count;
        corners[d.corners] += count;
    }
    for (size_t k = 0; k <= 5; ++k)
        report.missCount[k] = total[k] + (switches.cantos && k <= 4 ? corners[k] : 0) +
                              (switches.linha ? row[k] : 0) + (switches.twoRows ? pair[k] : 0);
    report.oneShort = total[1] > 0;
    report.fullTicket = total[0] > 0;

    // The winners in the order of the walk; within a ticket corners, lines
    // of rows 1, 2, 3, two lines of rows 1+2, 1+3, 2+3, full ticket.
    const bool rows = switches.linha || switches.twoRows;
    // A ticket announced at the last scan is most often announced again (a
    // full ticket at every later ball): its lines are taken from that scan,
    // found by walking both lists in the same order. When no report of that
    // scan is held any more, its lines are moved rather than copied: no count
    // of references to change, twice a line. Both lists are taken out while
    // this report is made, so that a failure half way leaves none to reuse.
    std::vector<std::uint32_t> &keys = m_nextKeys;
    keys.clear();
    std::vector<std::uint32_t> lastKeys;
    lastKeys.swap(m_lastKeys);
    QStringList lastLines = std::exchange(m_lastLines, QStringList());
    const bool lastHeld = !lastLines.isDetached();
    size_t last = 0;
    const auto announce = [&](std::uint32_t id, Prize prize) {
        const Ticket &t = m_tickets[id];
        const std::uint32_t key = id * 4 + std::uint32_t(prize);
        while (last < lastKeys.size() && lastKeys[last] < key)
            ++last;
        if (last < lastKeys.size() && lastKeys[last] == key) {
            if (lastHeld)
                report.lines << lastLines.at(2 * last) << lastLines.at(2 * last + 1);
            else
                report.lines << std::move(lastLines[2 * last]) << std::move(lastLines[2 * last + 1]);
            ++last;
        } else {
            report.lines << cardLine(t.card, t.series) << prizeLine(kPrizeTexts[prize], t.ticket);
        }
        keys.push_back(key);
        report.winners << TicketRef{t.card, QChar::fromLatin1(t.series), t.ticket};
        report.prizes << prizeName(prize);
    };
    report.lines.reserve(2 * report.missCount[0] + 5);
    report.winners.reserve(report.missCount[0]);
    report.prizes.reserve(report.missCount[0]);
    const unsigned winning = 1u << kFull | (rows ? 1u << kRowDone : 0) | (switches.cantos ? 1u << kCornersDone : 0);
    // The winning tickets are gathered first, their records fetched ahead:
    // those that have just won were last read a while ago.
    std::vector<std::uint32_t> &ids = m_winnerIds;
    ids.clear();
    if (report.missCount[0] > 0)
        forEachBlock(winning, [&](size_t b, std::uint64_t bits) {
            for (; bits; bits &= bits - 1) {
                const std::uint32_t id = std::uint32_t(b * 64) + std::uint32_t(std::countr_zero(bits));
                __builtin_prefetch(&m_state[id]);
                __builtin_prefetch(&m_tickets[id]);
                ids.push_back(id);
            }
        });
    for (const std::uint32_t id : ids) {
        const Decoded &d = kDecoded[m_state[id]];
        if (switches.cantos && d.corners == 0) {
            announce(id, CornersPrize);
            report.won.cantos = true;
        }
        if (switches.linha)
            for (int r = 0; r < 3; ++r)
                if (d.rows[r] == 0) {
                    announce(id, RowPrize);
                    report.won.linha = true;
                }
        if (switches.twoRows)
            for (const auto &[x, y] : {std::pair{0, 1}, std::pair{0, 2}, std::pair{1, 2}})
                if (d.rows[x] + d.rows[y] == 0) {
                    announce(id, TwoRowsPrize);
                    report.won.twoRows = true;
                }
        if (d.total == 0)
            announce(id, FullPrize);
    }

    m_lastKeys.swap(keys);
    keys.swap(lastKeys); // its room serves the next scan

    // The tickets with the fewest numbers drawn, while the list is armed.
    int maxMissing = 0;
    if (draw.FewestPointsArmed()) {
        report.fewestRebuilt = true;
        m_fewest.clear();
        for (int t = 15; t > 0; --t)
            if (total[size_t(t)] > 0) {
                maxMissing = t;
                break;
            }
        m_fewest.reserve(total[size_t(maxMissing)]);
        // The set of the tickets missing at least maxMissing numbers: made
        // again only when the most missing has moved two away.
        if (maxMissing < m_high - 1 || maxMissing > m_high + 1)
            makeHighSet(maxMissing);
        forEachBlock(1u << (maxMissing >= m_high ? kHigh : kNext), [&](size_t b, std::uint64_t bits) {
            for (; bits; bits &= bits - 1) {
                const size_t id = b * 64 + size_t(std::countr_zero(bits));
                if (kDecoded[m_state[id]].total != maxMissing)
                    continue;
                const Ticket &t = m_tickets[id];
                m_fewest.append({t.card, QChar::fromLatin1(t.series), t.ticket});
            }
        });
    }

    if (report.oneShort)
        draw.setFewestPointsArmed(true);
    if (report.missCount[0] == 0) {
        for (int k = 1; k <= 5; ++k)
            if (report.missCount[size_t(k)] > 0)
                report.lines << QString::number(report.missCount[size_t(k)]) + QString::fromUtf8(kMissingTexts[k]);
    }
    report.maxMissing = maxMissing;
    report.fewest = m_fewest;
    if (!report.winners.isEmpty() && draw.FewestPointsArmed() && report.fullTicket) {
        report.fewestLines << QStringLiteral("MenosPontos(%1):").arg(15 - maxMissing);
        for (const TicketRef &entry : m_fewest)
            report.fewestLines << fewestLine(entry);
    }
    m_lastLines = report.lines; // shared: its first lines are the announcements
    return report;
}

} // namespace bolaris
