#include "WinnerScan.h"

#include "DrawState.h"
#include "PopCount.h"
#include "cards/CardStore.h"
#include "dataset/Dataset.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace bolaris {

namespace {

// What a ticket has won, as the counts of rows and corners are kept.
constexpr unsigned kRowsDone = 1, kCornersDrawn = 2, kAllDrawn = 4;
constexpr size_t kBallSets = DrawState::kBalls + 1; // a set for each ball, 0 unused
constexpr bool isCorner(size_t place) { return place == 0 || place == 4 || place == 10 || place == 14; }

// The number a cell of two characters holds, by its characters (the first
// in the low byte): digits and blanks, a digit at least, 1 to 90; 0 for any
// other cell, which makes the card unreadable.
constexpr std::array<std::uint8_t, 65536> cellsAll()
{
    std::array<std::uint8_t, 65536> table{};
    constexpr std::string_view kinds = " 0123456789";
    for (const char a : kinds)
        for (const char b : kinds) {
            const bool da = a != ' ', db = b != ' ';
            const int n = da && db ? (a - '0') * 10 + (b - '0') : da ? a - '0' : db ? b - '0' : 0;
            if (n >= 1 && n <= kCellCount)
                table[size_t(std::uint8_t(a)) | size_t(std::uint8_t(b)) << 8] = std::uint8_t(n);
        }
    return table;
}
constexpr std::array<std::uint8_t, 65536> kCells = cellsAll();

std::uint8_t cellNumber(const char *at)
{
    return kCells[size_t(std::uint8_t(at[0])) | size_t(std::uint8_t(at[1])) << 8];
}

// The series letter of a record, read in place (0 when it is not one letter).
char letterOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString) {
        const QString &s = *static_cast<const QString *>(value.constData());
        return s.size() == 1 ? s.at(0).toLatin1() : 0;
    }
    const QString s = value.toString();
    return s.size() == 1 ? s.at(0).toLatin1() : 0;
}

// One ball drawn (or taken back) on counters of Width bits kept as planes:
// the set is subtracted from (added to) every count, the borrow (carry)
// going up plane by plane.
template <size_t Width, bool Drawn>
void step(std::uint64_t *planes, size_t words, const std::uint64_t *set)
{
    for (size_t w = 0; w < words; ++w) {
        std::uint64_t carry = set[w];
        for (size_t i = 0; i < Width; ++i) {
            const std::uint64_t was = planes[i * words + w];
            planes[i * words + w] = was ^ carry;
            carry &= Drawn ? ~was : was;
        }
    }
}
template <size_t Width> void step(std::uint64_t *planes, size_t words, const std::uint64_t *set, bool drawn)
{
    if (drawn)
        step<Width, true>(planes, words, set);
    else
        step<Width, false>(planes, words, set);
}

// Sets the count of every ticket (the bits of tail in the last word) on
// width planes to value; the places after the last ticket hold 0.
void fill(std::uint64_t *planes, size_t width, size_t words, std::uint64_t tail, unsigned value)
{
    for (size_t i = 0; i < width && words > 0; ++i) {
        std::fill(planes + i * words, planes + (i + 1) * words, value >> i & 1 ? ~std::uint64_t(0) : 0);
        planes[(i + 1) * words - 1] &= tail;
    }
}

// Count i of a ticket read from its planes.
int countOf(const std::uint64_t *planes, size_t width, size_t words, size_t id)
{
    int n = 0;
    for (size_t i = 0; i < width; ++i)
        n |= int(planes[i * words + id / 64] >> (id % 64) & 1) << i;
    return n;
}
void setCount(std::uint64_t *planes, size_t width, size_t words, size_t id, unsigned value)
{
    const std::uint64_t bit = std::uint64_t(1) << (id % 64);
    for (size_t i = 0; i < width; ++i) {
        std::uint64_t &word = planes[i * words + id / 64];
        word = value >> i & 1 ? word | bit : word & ~bit;
    }
}

// The tickets of a word whose count of three planes (at most 5) is k, for k
// from 0 to 5.
struct Sixes {
    std::uint64_t eq[6];
};
inline Sixes sixes(std::uint64_t b0, std::uint64_t b1, std::uint64_t b2, std::uint64_t live)
{
    const std::uint64_t lo = live & ~b2, hi = live & b2 & ~b1; // 0-3, 4-5
    return {{lo & ~b1 & ~b0, lo & ~b1 & b0, lo & b1 & ~b0, lo & b1 & b0, hi & ~b0, hi & b0}};
}

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

// Writes a Latin-1 text into line, in the room line already has when no
// one else holds it: the lines of announcements that ended serve the new
// ones, without a memory block made and one freed for each.
void putLine(QString &line, const char *text, const char *end)
{
    const qsizetype size = end - text;
    if (line.isDetached() && line.capacity() >= size)
        line.resize(size);
    else
        line = QString(size, Qt::Uninitialized);
    for (QChar *out = line.data(); text != end; ++text)
        *out++ = QChar::fromLatin1(*text);
}

void putCardLine(QString &line, int card, char series)
{
    char buffer[32];
    char *at = putNumber(putText(buffer, "CARTELA "), card);
    at = putText(at, " SERIE ");
    *at++ = series;
    putLine(line, buffer, at);
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

void putPrizeLine(QString &line, std::string_view prize, int ticket)
{
    char buffer[40];
    putLine(line, buffer, putNumber(putText(buffer, prize), ticket));
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

// One pass over the planes of all numbers: see WinnerScan::tallyTotal.
// Step 0 reads the counts as they are, 1 draws a ball first, -1 takes it back.
template <bool High, int Step, typename Bits, typename Tally>
[[gnu::always_inline]] inline std::pair<Bits *, Bits *> totalBody(std::uint64_t *planes, size_t words,
                                                                  const std::uint64_t *set, std::uint64_t tail,
                                                                  unsigned high, Tally &tally, Bits *full,
                                                                  Bits *atHigh)
{
    std::uint64_t *p0 = planes, *p1 = p0 + words, *p2 = p1 + words, *p3 = p2 + words;
    int c0 = 0, c1 = 0, c2 = 0, c3 = 0, c4 = 0, c5 = 0;
    // The comparison with high, bit by bit from the top: the tickets
    // missing more, and missing as many.
    const std::uint64_t h0 = -std::uint64_t(high & 1), h1 = -std::uint64_t(high >> 1 & 1),
                        h2 = -std::uint64_t(high >> 2 & 1), h3 = -std::uint64_t(high >> 3 & 1);
    std::uint64_t above = 0;
    for (size_t w = 0; w < words; ++w) {
        std::uint64_t n0 = p0[w], n1 = p1[w], n2 = p2[w], n3 = p3[w];
        if constexpr (Step != 0) {
            std::uint64_t carry = set[w];
            const std::uint64_t a0 = n0, a1 = n1, a2 = n2;
            n0 ^= carry;
            carry &= Step > 0 ? ~a0 : a0;
            n1 ^= carry;
            carry &= Step > 0 ? ~a1 : a1;
            n2 ^= carry;
            carry &= Step > 0 ? ~a2 : a2;
            n3 ^= carry;
            p0[w] = n0;
            p1[w] = n1;
            p2[w] = n2;
            p3[w] = n3;
        }
        const std::uint64_t live = w + 1 < words ? ~std::uint64_t(0) : tail;
        const Sixes k = sixes(n0, n1, n2, live & ~n3);
        c0 += std::popcount(k.eq[0]);
        c1 += std::popcount(k.eq[1]);
        c2 += std::popcount(k.eq[2]);
        c3 += std::popcount(k.eq[3]);
        c4 += std::popcount(k.eq[4]);
        c5 += std::popcount(k.eq[5]);
        // Written down without a branch: the next word goes over a word
        // that has none.
        *full = {w, k.eq[0]};
        full += k.eq[0] != 0;
        if constexpr (High) {
            std::uint64_t gt = live & n3 & ~h3, eq = live & ~(n3 ^ h3);
            gt |= eq & n2 & ~h2;
            eq &= ~(n2 ^ h2);
            gt |= eq & n1 & ~h1;
            eq &= ~(n1 ^ h1);
            gt |= eq & n0 & ~h0;
            eq &= ~(n0 ^ h0);
            above |= gt;
            *atHigh = {w, eq};
            atHigh += eq != 0;
        }
    }
    tally.total = {c0, c1, c2, c3, c4, c5};
    tally.above = above != 0;
    return {full, atHigh};
}

// One pass over the planes of rows and corners: see WinnerScan::tallyPrizes.
// A count of at most 5 kept on three planes is read from how many tickets
// have each plane's bit and each pair of them: those with 3 (011) are the
// tickets with bits 0 and 1, those with 1 the tickets with bit 0 less those
// with 3 and 5, and so on. The sums of those counts over the words give the
// tickets by count at the end, without a mask made for each count. The
// places after the last ticket hold 0 on every plane.
template <bool Linha, bool TwoRows, bool Cantos, typename Bits, typename Tally>
[[gnu::always_inline]] inline Bits *prizesBody(const std::uint64_t *rows, const std::uint64_t *corners, size_t words,
                                               std::uint64_t tail, size_t tickets, Tally &tally, Bits *won)
{
    std::uint64_t r0 = 0, r1 = 0, r2 = 0, r01 = 0, r02 = 0; // rows: bits 0, 1, 2, 0 and 1, 0 and 2
    std::uint64_t lo = 0, lo0 = 0, lo1 = 0, lo01 = 0, hi = 0, hi0 = 0; // two rows: 0-3 and its bits, 4-5 and bit 0
    std::uint64_t k0 = 0, k1 = 0, k2 = 0, k01 = 0; // corners
    for (size_t w = 0; w < words; ++w) {
        std::uint64_t wins = 0;
        if constexpr (Linha || TwoRows) {
            std::uint64_t b[3][3];
            for (size_t r = 0; r < 3; ++r)
                for (size_t i = 0; i < 3; ++i)
                    b[r][i] = rows[(3 * r + i) * words + w];
            if constexpr (Linha)
                for (size_t r = 0; r < 3; ++r) {
                    r0 += std::popcount(b[r][0]);
                    r1 += std::popcount(b[r][1]);
                    r2 += std::popcount(b[r][2]);
                    r01 += std::popcount(b[r][0] & b[r][1]);
                    r02 += std::popcount(b[r][0] & b[r][2]);
                    wins |= ~(b[r][0] | b[r][1] | b[r][2]);
                }
            if constexpr (TwoRows)
                for (const auto &[x, y] : {std::pair{0, 1}, std::pair{0, 2}, std::pair{1, 2}}) {
                    // The two counts added plane by plane.
                    const std::uint64_t *p = b[x], *q = b[y];
                    const std::uint64_t s0 = p[0] ^ q[0], c1 = p[0] & q[0];
                    const std::uint64_t t1 = p[1] ^ q[1], s1 = t1 ^ c1, c2 = (p[1] & q[1]) | (t1 & c1);
                    const std::uint64_t t2 = p[2] ^ q[2], s2 = t2 ^ c2, s3 = (p[2] & q[2]) | (t2 & c2);
                    const std::uint64_t low = ~(s3 | s2), high = s2 & ~(s3 | s1), low0 = low & s0;
                    lo += std::popcount(low);
                    lo0 += std::popcount(low0);
                    lo1 += std::popcount(low & s1);
                    lo01 += std::popcount(low0 & s1);
                    hi += std::popcount(high);
                    hi0 += std::popcount(high & s0);
                    wins |= low & ~(s0 | s1);
                }
        }
        if constexpr (Cantos) {
            const std::uint64_t c0 = corners[w], c1 = corners[words + w], c2 = corners[2 * words + w];
            k0 += std::popcount(c0);
            k1 += std::popcount(c1);
            k2 += std::popcount(c2);
            k01 += std::popcount(c0 & c1);
            wins |= ~(c0 | c1 | c2);
        }
        wins &= w + 1 < words ? ~std::uint64_t(0) : tail;
        *won = {w, wins};
        won += wins != 0;
    }
    const int n = int(tickets), places = int(words * 64) - n; // the places after the last ticket count as 0
    const auto rest = [](int all, const std::array<int, 6> &c) { return all - c[1] - c[2] - c[3] - c[4] - c[5]; };
    if constexpr (Linha) {
        std::array<int, 6> &c = tally.rows;
        c = {0, int(r0 - r01 - r02), int(r1 - r01), int(r01), int(r2 - r02), int(r02)};
        c[0] = rest(3 * n, c);
    }
    if constexpr (TwoRows)
        tally.pairs = {int(lo - lo0 - lo1 + lo01) - 3 * places, int(lo0 - lo01), int(lo1 - lo01), int(lo01),
                       int(hi - hi0), int(hi0)};
    if constexpr (Cantos) {
        std::array<int, 6> c = {0, int(k0 - k01), int(k1 - k01), int(k01), int(k2), 0};
        c[0] = rest(n, c);
        std::copy_n(c.begin(), 5, tally.corners.begin());
    }
    return won;
}

} // namespace

BOLARIS_POPCNT_CLONES std::pair<WinnerScan::Bits *, WinnerScan::Bits *>
WinnerScan::tallyTotal(std::uint64_t *planes, size_t words, const std::uint64_t *set, bool drawn, std::uint64_t tail,
                       int high, Tally &tally, Bits *full, Bits *atHigh)
{
    const unsigned h = unsigned(std::max(high, 0));
    if (!set)
        return high >= 0 ? totalBody<true, 0>(planes, words, set, tail, h, tally, full, atHigh)
                         : totalBody<false, 0>(planes, words, set, tail, h, tally, full, atHigh);
    if (drawn)
        return high >= 0 ? totalBody<true, 1>(planes, words, set, tail, h, tally, full, atHigh)
                         : totalBody<false, 1>(planes, words, set, tail, h, tally, full, atHigh);
    return high >= 0 ? totalBody<true, -1>(planes, words, set, tail, h, tally, full, atHigh)
                     : totalBody<false, -1>(planes, words, set, tail, h, tally, full, atHigh);
}

BOLARIS_POPCNT_CLONES WinnerScan::Bits *WinnerScan::tallyPrizes(const std::uint64_t *rows,
                                                                 const std::uint64_t *corners, size_t words,
                                                                 std::uint64_t tail, size_t tickets,
                                                                 const PrizeSwitches &switches, Tally &tally,
                                                                 Bits *won)
{
    switch ((switches.linha ? 1 : 0) | (switches.twoRows ? 2 : 0) | (switches.cantos ? 4 : 0)) {
    case 1: return prizesBody<true, false, false>(rows, corners, words, tail, tickets, tally, won);
    case 2: return prizesBody<false, true, false>(rows, corners, words, tail, tickets, tally, won);
    case 3: return prizesBody<true, true, false>(rows, corners, words, tail, tickets, tally, won);
    case 4: return prizesBody<false, false, true>(rows, corners, words, tail, tickets, tally, won);
    case 5: return prizesBody<true, false, true>(rows, corners, words, tail, tickets, tally, won);
    case 6: return prizesBody<false, true, true>(rows, corners, words, tail, tickets, tally, won);
    case 7: return prizesBody<true, true, true>(rows, corners, words, tail, tickets, tally, won);
    default: return won;
    }
}

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
    m_irregular.clear();

    // Returned tickets by series and number.
    std::vector<std::uint8_t> returned(size_t(kSeriesCount) * (kTicketsPerSeries + 1), 0);
    if (m_valiC.isOpen()) {
        const int serie = m_valiC.fieldIndex(QStringLiteral("Serie"));
        const int cartao = m_valiC.fieldIndex(QStringLiteral("Cartao"));
        for (int i = 0; serie >= 0 && cartao >= 0 && i < m_valiC.recordCount(); ++i) {
            const Row &row = m_valiC.rowAt(i);
            const char letter = letterOf(row[size_t(serie)]);
            bool ok = false;
            const int t = row[size_t(cartao)].toInt(&ok);
            if (ok && IsSeriesLetter(letter) && t >= 1 && t <= kTicketsPerSeries)
                returned[size_t(letter - 'A') * (kTicketsPerSeries + 1) + size_t(t)] = 1;
        }
    }

    // Every competing ticket in the order of the walk, each card text read
    // once, and the set of each ball made as the tickets come.
    const int records = m_vali.isOpen() ? m_vali.recordCount() : 0;
    m_stride = (size_t(records) * 6 + 63) / 64;
    m_has.assign(kBallSets * m_stride, 0);
    m_tickets.reserve(size_t(records) * 6);
    const int serie = m_vali.fieldIndex(QStringLiteral("Serie"));
    const int numero = m_vali.fieldIndex(QStringLiteral("Numero"));
    for (int i = 0; serie >= 0 && numero >= 0 && i < records; ++i) {
        const Row &row = m_vali.rowAt(i);
        const char letter = letterOf(row[size_t(serie)]);
        bool ok = false;
        const int n = row[size_t(numero)].toInt(&ok);
        const std::string_view text = ok && IsSeriesLetter(letter) && n >= 1 && n <= kCardsPerSeries
                                          ? m_cards.card(letter, n)
                                          : std::string_view();
        std::uint8_t cells[kCellCount];
        bool readable = text.size() == size_t(kCardTextLength);
        if (readable) {
            std::uint8_t least = 0xFF;
            for (size_t k = 0; k < size_t(kCellCount); ++k) {
                cells[k] = cellNumber(text.data() + 2 * k);
                least = std::min(least, cells[k]);
            }
            readable = least != 0;
        }
        if (!readable) {
            m_missing << QStringLiteral("%1-%2").arg(row[size_t(serie)].toString(), row[size_t(numero)].toString());
            continue;
        }
        for (int position = 1; position <= 6; ++position) {
            const int t = TicketNumber(n, position);
            if (returned[size_t(letter - 'A') * (kTicketsPerSeries + 1) + size_t(t)])
                continue;
            const size_t id = m_tickets.size();
            m_tickets.push_back({std::uint16_t(n), std::uint16_t(t), letter});
            const std::uint8_t *numbers = cells + 15 * (position - 1);
            std::uint64_t *const column = m_has.data() + id / 64;
            const std::uint64_t bit = std::uint64_t(1) << (id % 64);
            std::uint64_t twice = 0;
            for (size_t p = 0; p < 15; ++p) {
                std::uint64_t &word = column[numbers[p] * m_stride];
                twice |= word & bit;
                word |= bit;
            }
            if (twice) { // a number twice: the ticket is counted from its numbers
                Irregular &odd = m_irregular.emplace_back();
                odd.id = std::uint32_t(id);
                std::copy_n(numbers, 15, odd.numbers.begin());
                for (size_t p = 0; p < 15; ++p)
                    column[numbers[p] * m_stride] &= ~bit;
            }
        }
    }

    // Counts as before the first ball.
    const size_t count = m_tickets.size();
    m_words = (count + 63) / 64;
    m_tail = count % 64 ? (std::uint64_t(1) << (count % 64)) - 1 : ~std::uint64_t(0);
    m_total.assign(4 * m_words, 0);
    fill(m_total.data(), 4, m_words, m_tail, 15);
    m_rowsIndexed = false;
    m_tracked = kAllDrawn;
    m_fullWords.assign(m_words + 1, {});
    m_prizeWords.assign(m_words + 1, {});
    m_highWords.assign(m_words + 1, {});
    m_high = 15;
    m_applied.fill(false);
    m_lastKeys.clear();
    m_lastLines.clear();
    m_lastWinners.clear();

    m_built = now;
    m_valid = true;
}

void WinnerScan::indexRows()
{
    const size_t words = m_words;
    m_rowHas.assign(3 * kBallSets * words, 0);
    m_cornerHas.assign(kBallSets * words, 0);
    auto odd = m_irregular.cbegin();
    for (size_t id = 0; id < m_tickets.size(); ++id) {
        if (odd != m_irregular.cend() && odd->id == id) {
            ++odd;
            continue;
        }
        const Ticket &t = m_tickets[id];
        // Read when the ticket was taken: the card table has not changed since.
        const char *cells = m_cards.card(t.series, t.card).data() + 30 * (TicketPosition(t.ticket) - 1);
        const std::uint64_t bit = std::uint64_t(1) << (id % 64);
        for (size_t p = 0; p < 15; ++p) {
            const size_t n = cellNumber(cells + 2 * p);
            m_rowHas[((p / 5) * kBallSets + n) * words + id / 64] |= bit;
            if (isCorner(p))
                m_cornerHas[n * words + id / 64] |= bit;
        }
    }
    m_rowsIndexed = true;
}

void WinnerScan::track(unsigned wanted)
{
    const unsigned added = wanted & ~m_tracked;
    if (added & (kRowsDone | kCornersDrawn) && !m_rowsIndexed)
        indexRows();
    const size_t words = m_words;
    if (added & kRowsDone) {
        m_rows.assign(9 * words, 0);
        for (size_t r = 0; r < 3; ++r)
            fill(m_rows.data() + 3 * r * words, 3, words, m_tail, 5);
    }
    if (added & kCornersDrawn) {
        m_corners.assign(3 * words, 0);
        fill(m_corners.data(), 3, words, m_tail, 4);
    }
    // Counts taken up again are brought to the balls applied.
    if (added & (kRowsDone | kCornersDrawn))
        for (int n = 1; n <= DrawState::kBalls; ++n)
            if (m_applied[size_t(n)])
                apply(n, true, added);
    m_tracked = wanted;
}

void WinnerScan::apply(int ball, bool drawn, unsigned counts)
{
    const size_t words = m_words, n = size_t(ball);
    if (counts & kAllDrawn)
        step<4>(m_total.data(), words, m_has.data() + n * m_stride, drawn);
    if (counts & kRowsDone)
        for (size_t r = 0; r < 3; ++r)
            step<3>(m_rows.data() + 3 * r * words, words, m_rowHas.data() + (r * kBallSets + n) * words, drawn);
    if (counts & kCornersDrawn)
        step<3>(m_corners.data(), words, m_cornerHas.data() + n * words, drawn);
}

int WinnerScan::follow(const DrawState &draw)
{
    int left = 0;
    for (int n = 1; n <= DrawState::kBalls; ++n) {
        const bool drawn = draw.drawn(n);
        if (drawn == m_applied[size_t(n)])
            continue;
        if (left)
            apply(left, m_applied[size_t(left)], kAllDrawn);
        apply(n, drawn, m_tracked & ~kAllDrawn);
        m_applied[size_t(n)] = drawn;
        left = n;
    }
    return left;
}

void WinnerScan::writeIrregular(unsigned counts)
{
    const size_t words = m_words;
    for (const Irregular &odd : m_irregular) {
        unsigned rows[3] = {5, 5, 5}, corners = 4;
        for (size_t p = 0; p < 15; ++p)
            if (m_applied[odd.numbers[p]]) {
                --rows[p / 5];
                corners -= isCorner(p) ? 1 : 0;
            }
        setCount(m_total.data(), 4, words, odd.id, rows[0] + rows[1] + rows[2]);
        if (counts & kRowsDone)
            for (size_t r = 0; r < 3; ++r)
                setCount(m_rows.data() + 3 * r * words, 3, words, odd.id, rows[r]);
        if (counts & kCornersDrawn)
            setCount(m_corners.data(), 3, words, odd.id, corners);
    }
}

WinnerScan::Bits *WinnerScan::listMissing(int count, Bits *out, bool &more) const
{
    const size_t words = m_words;
    std::uint64_t above = 0;
    for (size_t w = 0; w < words; ++w) {
        // Bit by bit from the top: the tickets missing more, and as many.
        std::uint64_t gt = 0, eq = w + 1 < words ? ~std::uint64_t(0) : m_tail;
        for (size_t i = 4; i-- > 0;) {
            const std::uint64_t plane = m_total[i * words + w];
            if (count >> i & 1) {
                eq &= plane;
            } else {
                gt |= eq & plane;
                eq &= ~plane;
            }
        }
        above |= gt;
        if (eq)
            *out++ = {w, eq};
    }
    more = above != 0;
    return out;
}

int WinnerScan::highest() const
{
    // Bit by bit from the top: the tickets that have every higher bit found.
    std::vector<std::uint64_t> candidates(m_words, ~std::uint64_t(0));
    if (!candidates.empty())
        candidates.back() = m_tail;
    int high = 0;
    for (size_t i = 4; i-- > 0;) {
        const std::uint64_t *plane = m_total.data() + i * m_words;
        std::uint64_t any = 0;
        for (size_t w = 0; w < m_words; ++w)
            any |= candidates[w] & plane[w];
        if (!any)
            continue;
        high |= 1 << i;
        for (size_t w = 0; w < m_words; ++w)
            candidates[w] &= plane[w];
    }
    return high;
}

ScanReport WinnerScan::CheckWinners(DrawState &draw, const PrizeSwitches &switches)
{
    ScanReport report;
    if (draw.DrawnCount() < ScanThreshold(switches))
        return report;
    report.scanned = true;
    refresh();
    const bool rows = switches.linha || switches.twoRows;
    // Rows and corners are counted only while their prize is on.
    track(kAllDrawn | (rows ? kRowsDone : 0) | (switches.cantos ? kCornersDrawn : 0));
    // The last ball changed is applied to the counts of all numbers in the
    // pass that reads them.
    const int left = follow(draw);
    if (!m_irregular.empty())
        writeIrregular(m_tracked);
    report.missingCards = m_missing;

    // How many tickets miss how many numbers, and the words with winners
    // and with the tickets missing the most.
    const bool armed = draw.FewestPointsArmed();
    Tally tally;
    Bits *const fullFirst = m_fullWords.data(), *const prizeFirst = m_prizeWords.data(),
                *const highFirst = m_highWords.data();
    auto [fullEnd, highEnd] =
        tallyTotal(m_total.data(), m_words, left ? m_has.data() + size_t(left) * m_stride : nullptr,
                   m_applied[size_t(left)], m_tail, armed ? m_high : -1, tally, fullFirst, highFirst);
    Bits *prizeEnd = prizeFirst;
    if (rows || switches.cantos)
        prizeEnd = tallyPrizes(m_rows.data(), m_corners.data(), m_words, m_tail, m_tickets.size(), switches, tally,
                               prizeFirst);
    for (size_t k = 0; k <= 5; ++k)
        report.missCount[k] = tally.total[k] + (switches.cantos && k <= 4 ? tally.corners[k] : 0) +
                              (switches.linha ? tally.rows[k] : 0) + (switches.twoRows ? tally.pairs[k] : 0);
    report.oneShort = tally.total[1] > 0;
    report.fullTicket = tally.total[0] > 0;

    // The announcements (ticket * 4 + prize) in the order of the walk;
    // within a ticket corners, lines of rows 1, 2, 3, two lines of rows 1+2,
    // 1+3, 2+3, full ticket. The winning tickets are the full ones and those
    // winning another prize, read word by word. The records of the tickets
    // not announced at the last scan, last read a while ago, are fetched
    // ahead of their lines.
    std::vector<std::uint32_t> &keys = m_nextKeys;
    keys.clear();
    size_t seen = 0;
    const auto push = [&](std::uint32_t key) {
        keys.push_back(key);
        while (seen < m_lastKeys.size() && m_lastKeys[seen] < key)
            ++seen;
        if (seen == m_lastKeys.size() || m_lastKeys[seen] != key)
            __builtin_prefetch(&m_tickets[key / 4]);
    };
    const size_t words = m_words;
    const auto announce = [&](size_t id) {
        const std::uint32_t key = std::uint32_t(id) * 4;
        if (switches.cantos && countOf(m_corners.data(), 3, words, id) == 0) {
            push(key + CornersPrize);
            report.won.cantos = true;
        }
        if (rows) {
            const int row[3] = {countOf(m_rows.data(), 3, words, id), countOf(m_rows.data() + 3 * words, 3, words, id),
                                countOf(m_rows.data() + 6 * words, 3, words, id)};
            if (switches.linha)
                for (int r = 0; r < 3; ++r)
                    if (row[r] == 0) {
                        push(key + RowPrize);
                        report.won.linha = true;
                    }
            if (switches.twoRows)
                for (const auto &[x, y] : {std::pair{0, 1}, std::pair{0, 2}, std::pair{1, 2}})
                    if (row[x] + row[y] == 0) {
                        push(key + TwoRowsPrize);
                        report.won.twoRows = true;
                    }
        }
        if (countOf(m_total.data(), 4, words, id) == 0)
            push(key + FullPrize);
    };
    if (!rows && !switches.cantos) { // every ticket listed is full, its only prize
        for (const Bits *full = fullFirst; full != fullEnd; ++full)
            for (std::uint64_t bits = full->bits; bits; bits &= bits - 1)
                push(std::uint32_t(full->word * 64 + size_t(std::countr_zero(bits))) * 4 + FullPrize);
    } else {
        for (const Bits *full = fullFirst, *prize = prizeFirst; full != fullEnd || prize != prizeEnd;) {
            const size_t w = full == fullEnd    ? prize->word
                             : prize == prizeEnd ? full->word
                                                 : std::min(full->word, prize->word);
            std::uint64_t bits = 0;
            if (full != fullEnd && full->word == w)
                bits |= (full++)->bits;
            if (prize != prizeEnd && prize->word == w)
                bits |= (prize++)->bits;
            for (; bits; bits &= bits - 1)
                announce(w * 64 + size_t(std::countr_zero(bits)));
        }
    }

    // Their lines, winners and prizes, written in place. A ticket announced
    // at the last scan is most often announced again (a full ticket at every
    // later ball): its lines and its winner are taken from that scan, found
    // by walking both lists in the same order. When no report of that scan
    // is held any more, its lines are moved rather than copied: no count of
    // references to change, twice a line. The last lists are taken out while
    // this report is made, so that a failure half way leaves none to reuse.
    std::vector<std::uint32_t> lastKeys;
    lastKeys.swap(m_lastKeys);
    QStringList lastLines = std::exchange(m_lastLines, QStringList());
    const QList<TicketRef> lastWinners = std::exchange(m_lastWinners, QList<TicketRef>());
    const bool lastHeld = !lastLines.isDetached();
    QString *const lastOwned = lastHeld ? nullptr : lastLines.data();
    const QString *const lastShared = lastLines.constData();
    // The lists of earlier reports that no one holds any more lend their
    // room: those of the scan before the last, and the last prizes.
    // Every place of them is written below.
    const auto reuse = [](auto &kept) {
        std::decay_t<decltype(kept)> list;
        if (kept.isDetached())
            list.swap(kept);
        kept = {};
        return list;
    };
    report.lines = reuse(m_spareLines);
    report.winners = reuse(m_spareWinners);
    report.prizes = reuse(m_lastPrizes);
    const qsizetype announced = qsizetype(keys.size());
    report.lines.resize(2 * announced);
    report.winners.resize(announced);
    report.prizes.resize(announced);
    QString *line = report.lines.data();
    TicketRef *winner = report.winners.data();
    QString *prizes = report.prizes.data();
    size_t last = 0;
    for (const std::uint32_t key : keys) {
        const Prize prize = Prize(key % 4);
        while (last < lastKeys.size() && lastKeys[last] < key)
            ++last;
        if (last < lastKeys.size() && lastKeys[last] == key) {
            if (lastHeld) {
                line[0] = lastShared[2 * last];
                line[1] = lastShared[2 * last + 1];
            } else {
                line[0] = std::move(lastOwned[2 * last]);
                line[1] = std::move(lastOwned[2 * last + 1]);
            }
            *winner = lastWinners.at(qsizetype(last));
            ++last;
        } else {
            const Ticket &t = m_tickets[key / 4];
            putCardLine(line[0], t.card, t.series);
            putPrizeLine(line[1], kPrizeTexts[prize], t.ticket);
            *winner = TicketRef{t.card, QChar::fromLatin1(t.series), t.ticket};
        }
        line += 2;
        ++winner;
        *prizes++ = prizeName(prize);
    }
    m_lastKeys.swap(keys);
    keys.swap(lastKeys); // its room serves the next scan

    // The tickets with the fewest numbers drawn, while the list is armed.
    int maxMissing = 0;
    if (armed) {
        report.fewestRebuilt = true;
        m_fewest.clear();
        // A ball moves the most missing by one at most: looked for anew only
        // when no ticket misses as many as at the last look, or one misses more.
        if (tally.above || highEnd == highFirst) {
            // Most often one more (a ball taken back) or one fewer (drawn).
            bool more = true;
            if (const int guess = m_high + (tally.above ? 1 : -1); guess >= 0 && guess <= 15) {
                highEnd = listMissing(guess, highFirst, more);
                m_high = guess;
            }
            if (more || highEnd == highFirst) {
                m_high = highest();
                highEnd = listMissing(m_high, highFirst, more);
            }
        }
        maxMissing = m_high;
        for (const Bits *at = highFirst; at != highEnd; ++at)
            for (std::uint64_t bits = at->bits; bits; bits &= bits - 1) {
                const Ticket &t = m_tickets[at->word * 64 + size_t(std::countr_zero(bits))];
                m_fewest.append({t.card, QChar::fromLatin1(t.series), t.ticket});
            }
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
    m_lastWinners = report.winners;
    m_lastPrizes = report.prizes;
    if (lastLines.isDetached())
        m_spareLines.swap(lastLines);
    if (lastWinners.isDetached())
        m_spareWinners = lastWinners;
    return report;
}

} // namespace bolaris
