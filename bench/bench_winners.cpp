#include "BenchMain.h"
#include "cards/CardGenerator.h"
#include "cards/CardStore.h"
#include "game/DrawState.h"
#include "game/PopCount.h"
#include "game/PlainScan.h"
#include "game/WinnerScan.h"
#include "report/Fonts.h"
#include "validation/ValidationRegistry.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include <numeric>
#include <random>

using namespace bolaris;

namespace {

// A full registry: every card of the 12 series validated, 2,400 tickets returned.
struct FullHall {
    QTemporaryDir dir;
    CartelaTable cards;
    ValidationRegistry registry{dir.path()};

    FullHall()
    {
        cards.storeSeriesA();
        const std::vector<std::string> others = GenerateSeriesBtoL();
        for (size_t i = 0; i < others.size(); ++i)
            cards.store(kCardsPerSeries + int(i) + 1, others[i]);
        registry.open();
        sellFullHall(registry);
    }
    static FullHall &get()
    {
        static FullHall hall;
        return hall;
    }
    // A draw with the given number of balls, the same for every run.
    static DrawState drawOf(int balls)
    {
        DrawState draw;
        draw.start(DrawMode::Manual);
        std::vector<int> order(90);
        std::iota(order.begin(), order.end(), 1);
        std::shuffle(order.begin(), order.end(), std::mt19937(balls));
        for (int i = 0; i < balls; ++i)
            draw.clickManual(order[size_t(i)]);
        return draw;
    }
};

// The floor of the winner check: what a scan with only the full ticket in
// play reports (tickets per count of numbers missing up to five, the full
// tickets, the tickets missing the most) from the plainest bit-sliced state:
// every competing ticket's count of numbers not drawn in four bit planes, 64
// tickets a word, and each ball's tickets as one bit set. A ball drawn
// subtracts its set from the planes, a ball taken back adds it, and the
// counts are read in the same pass.
class ScanFloor {
public:
    struct Report {
        std::array<int, 6> missCount{};
        int maxMissing = 0;
        std::vector<TicketRef> winners; // the full tickets, in the order of the walk
        std::vector<TicketRef> fewest;  // the tickets missing the most, in that order
    };

    void build(const CartelaTable &cards, const Dataset &vali, const Dataset &valiC)
    {
        // The returned tickets by series and number.
        std::vector<std::uint8_t> returned(size_t(kSeriesCount) * (kTicketsPerSeries + 1), 0);
        for (int i = 0; i < valiC.recordCount(); ++i) {
            const Row &row = valiC.rowAt(i);
            const char letter = letterOf(row[0]);
            const int t = row[1].toInt();
            if (IsSeriesLetter(letter) && t >= 1 && t <= kTicketsPerSeries)
                returned[size_t(letter - 'A') * (kTicketsPerSeries + 1) + size_t(t)] = 1;
        }
        // Each card text read once, cell by cell through a table of the
        // two-character cells.
        static const std::vector<std::uint8_t> cellValue = [] {
            std::vector<std::uint8_t> table(65536, 0);
            for (int n = 1; n <= 90; ++n) {
                const std::string a = std::to_string(n);
                const std::string cells[] = {a.size() == 2 ? a : " " + a, a.size() == 2 ? a : a + " "};
                for (const std::string &c : cells)
                    table[size_t(std::uint8_t(c[0])) | size_t(std::uint8_t(c[1])) << 8] = std::uint8_t(n);
            }
            return table;
        }();
        m_tickets.clear();
        std::vector<std::array<std::uint8_t, 15>> numbers;
        numbers.reserve(size_t(vali.recordCount()) * 6);
        m_tickets.reserve(size_t(vali.recordCount()) * 6);
        for (int i = 0; i < vali.recordCount(); ++i) {
            const Row &row = vali.rowAt(i);
            const char letter = letterOf(row[0]);
            const int n = row[1].toInt();
            if (!IsSeriesLetter(letter) || n < 1 || n > kCardsPerSeries)
                continue;
            const std::string_view text = cards.card(letter, n);
            if (text.size() != size_t(kCardTextLength))
                continue;
            std::array<std::uint8_t, 90> cells;
            std::uint8_t readable = 1;
            for (size_t k = 0; k < 90; ++k) {
                cells[k] = cellValue[size_t(std::uint8_t(text[2 * k])) | size_t(std::uint8_t(text[2 * k + 1])) << 8];
                readable &= std::uint8_t(cells[k] != 0);
            }
            if (!readable)
                continue;
            for (int p = 0; p < 6; ++p) {
                const int t = TicketNumber(n, p + 1);
                if (returned[size_t(letter - 'A') * (kTicketsPerSeries + 1) + size_t(t)])
                    continue;
                std::array<std::uint8_t, 15> ticket;
                std::copy_n(cells.begin() + 15 * p, 15, ticket.begin());
                numbers.push_back(ticket);
                m_tickets.push_back({n, QChar::fromLatin1(letter), t});
            }
        }
        // The index: the tickets of each ball.
        const size_t count = m_tickets.size();
        m_words = (count + 63) / 64;
        m_tail = count % 64 ? (std::uint64_t(1) << (count % 64)) - 1 : ~std::uint64_t(0);
        m_has.assign(91 * m_words, 0);
        for (size_t id = 0; id < count; ++id)
            for (const std::uint8_t n : numbers[id])
                m_has[n * m_words + id / 64] |= std::uint64_t(1) << (id % 64);
        // Every ticket misses 15: all four planes set.
        m_planes.assign(4 * m_words, ~std::uint64_t(0));
        m_high = 15;
    }

    void apply(int ball, bool drawn) { run(ball, drawn, false); }
    Report step(int ball, bool drawn) { return run(ball, drawn, true); }

private:
    static char letterOf(const QVariant &v)
    {
        const QString *s = v.typeId() == QMetaType::QString ? static_cast<const QString *>(v.constData()) : nullptr;
        return s && s->size() == 1 ? s->at(0).toLatin1() : 0;
    }

    BOLARIS_POPCNT_CLONES Report run(int ball, bool drawn, bool reporting)
    {
        if (reporting)
            return drawn ? pass<true, true>(ball) : pass<false, true>(ball);
        return drawn ? pass<true, false>(ball) : pass<false, false>(ball);
    }

    template <bool Drawn, bool Reporting> [[gnu::always_inline]] Report pass(int ball)
    {
        Report report;
        const size_t words = m_words;
        const std::uint64_t *has = m_has.data() + size_t(ball) * words;
        std::uint64_t *p0 = m_planes.data(), *p1 = p0 + words, *p2 = p1 + words, *p3 = p2 + words;
        if constexpr (!Reporting) {
            for (size_t w = 0; w < words; ++w) {
                std::uint64_t c = has[w];
                const std::uint64_t a0 = p0[w], a1 = p1[w], a2 = p2[w];
                p0[w] = a0 ^ c;
                c &= Drawn ? ~a0 : a0;
                p1[w] = a1 ^ c;
                c &= Drawn ? ~a1 : a1;
                p2[w] = a2 ^ c;
                c &= Drawn ? ~a2 : a2;
                p3[w] ^= c;
            }
            return report;
        }
        int c0 = 0, c1 = 0, c2 = 0, c3 = 0, c4 = 0, c5 = 0;
        // The words with a full ticket, and with a ticket missing the most,
        // are written down without a branch: the next word goes over one
        // that has none.
        m_room.resize(2 * words + 2);
        Bits *const fullFirst = m_room.data(), *const highFirst = fullFirst + words + 1;
        Bits *full = fullFirst, *atHigh = highFirst;
        // The comparison with the most missing at the last report, bit by bit
        // from the top: the tickets missing more, and missing as many.
        const unsigned high = unsigned(m_high);
        const std::uint64_t h0 = -std::uint64_t(high & 1), h1 = -std::uint64_t(high >> 1 & 1),
                            h2 = -std::uint64_t(high >> 2 & 1), h3 = -std::uint64_t(high >> 3 & 1);
        std::uint64_t above = 0;
        for (size_t w = 0; w < words; ++w) {
            std::uint64_t c = has[w];
            const std::uint64_t a0 = p0[w], a1 = p1[w], a2 = p2[w], a3 = p3[w];
            const std::uint64_t n0 = a0 ^ c;
            c &= Drawn ? ~a0 : a0;
            const std::uint64_t n1 = a1 ^ c;
            c &= Drawn ? ~a1 : a1;
            const std::uint64_t n2 = a2 ^ c;
            c &= Drawn ? ~a2 : a2;
            const std::uint64_t n3 = a3 ^ c;
            p0[w] = n0;
            p1[w] = n1;
            p2[w] = n2;
            p3[w] = n3;
            const std::uint64_t live = w + 1 < words ? ~std::uint64_t(0) : m_tail;
            const std::uint64_t lo = live & ~n3 & ~n2, hi = live & ~n3 & n2 & ~n1; // 0-3, 4-5 missing
            const std::uint64_t e0 = lo & ~n1 & ~n0;
            c0 += std::popcount(e0);
            c1 += std::popcount(lo & ~n1 & n0);
            c2 += std::popcount(lo & n1 & ~n0);
            c3 += std::popcount(lo & n1 & n0);
            c4 += std::popcount(hi & ~n0);
            c5 += std::popcount(hi & n0);
            *full = {w, e0};
            full += e0 != 0;
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
        m_full.assign(fullFirst, full);
        m_atHigh.assign(highFirst, atHigh);
        report.missCount = {c0, c1, c2, c3, c4, c5};
        for (const auto &[w, bits] : m_full)
            for (std::uint64_t b = bits; b; b &= b - 1)
                report.winners.push_back(m_tickets[w * 64 + size_t(std::countr_zero(b))]);
        if (above || m_atHigh.empty()) { // the most missing moved: found again
            m_high = highest();
            m_atHigh.clear();
            for (size_t w = 0; w < words; ++w)
                if (const std::uint64_t eq = equal(w, m_high))
                    m_atHigh.push_back({w, eq});
        }
        report.maxMissing = m_high;
        for (const auto &[w, bits] : m_atHigh)
            for (std::uint64_t b = bits; b; b &= b - 1)
                report.fewest.push_back(m_tickets[w * 64 + size_t(std::countr_zero(b))]);
        return report;
    }
    // The tickets of word w missing exactly n numbers.
    std::uint64_t equal(size_t w, int n) const
    {
        std::uint64_t eq = w + 1 < m_words ? ~std::uint64_t(0) : m_tail;
        for (size_t i = 0; i < 4; ++i)
            eq &= (n >> i & 1) ? m_planes[i * m_words + w] : ~m_planes[i * m_words + w];
        return eq;
    }
    // The most numbers missing on any ticket, bit by bit from the top.
    int highest() const
    {
        std::vector<std::uint64_t> cand(m_words, ~std::uint64_t(0));
        cand.back() = m_tail;
        int high = 0;
        for (int i = 3; i >= 0; --i) {
            const std::uint64_t *plane = m_planes.data() + size_t(i) * m_words;
            std::uint64_t any = 0;
            for (size_t w = 0; w < m_words; ++w)
                any |= cand[w] & plane[w];
            if (!any)
                continue;
            high |= 1 << i;
            for (size_t w = 0; w < m_words; ++w)
                cand[w] &= plane[w];
        }
        return high;
    }

    struct Bits {
        size_t word;
        std::uint64_t bits;
    };
    std::vector<TicketRef> m_tickets; // in the order of the walk
    size_t m_words = 0;
    std::uint64_t m_tail = 0; // the tickets of the last word
    std::vector<std::uint64_t> m_has;
    std::vector<std::uint64_t> m_planes;
    std::vector<Bits> m_full, m_atHigh;
    std::vector<Bits> m_room; // a word each for both, during a pass
    int m_high = 15;
};

PrizeSwitches switchesOf(int code) { return code ? PrizeSwitches{true, true, true} : PrizeSwitches{}; }

// One ball event and its scan, as the Draw panel runs them, around the given
// count of balls: the index already made, each event alternately draws a
// ball not drawn and takes a drawn one back, a different one each time.
void BM_Scan(benchmark::State &state)
{
    FullHall &hall = FullHall::get();
    WinnerScan scan(hall.cards, hall.registry.TableVali(), hall.registry.TableValiC());
    DrawState draw = FullHall::drawOf(int(state.range(0)));
    const PrizeSwitches switches = switchesOf(int(state.range(1)));
    scan.CheckWinners(draw, switches);
    int next = 0;
    qsizetype winners = 0, fewest = 0;
    bool takeBack = false; // the count stays at or above the given one: every event is scanned
    for (auto _ : state) {
        // The next ball (in a cycle over the board) that is drawn, or not drawn.
        do
            next = next % DrawState::kBalls + 1;
        while (draw.drawn(next) != takeBack);
        draw.clickManual(next);
        takeBack = !takeBack;
        const ScanReport report = scan.CheckWinners(draw, switches);
        winners += report.winners.size();
        fewest += report.fewest.size();
    }
    state.counters["winners"] = benchmark::Counter(double(winners), benchmark::Counter::kAvgIterations);
    state.counters["fewest"] = benchmark::Counter(double(fewest), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Scan)->Args({10, 0})->Args({30, 0})->Args({60, 0})->Args({10, 1})->Unit(benchmark::kMicrosecond);


// The floor of BM_Scan with the full ticket only: the same ball events.
void BM_ScanFloor(benchmark::State &state)
{
    FullHall &hall = FullHall::get();
    ScanFloor floor;
    floor.build(hall.cards, hall.registry.TableVali(), hall.registry.TableValiC());
    DrawState draw = FullHall::drawOf(int(state.range(0)));
    for (int n = 1; n <= DrawState::kBalls; ++n)
        if (draw.drawn(n))
            floor.apply(n, true);
    int next = 0;
    size_t winners = 0, fewest = 0;
    bool takeBack = false;
    for (auto _ : state) {
        do
            next = next % DrawState::kBalls + 1;
        while (draw.drawn(next) != takeBack);
        draw.clickManual(next);
        takeBack = !takeBack;
        const ScanFloor::Report report = floor.step(next, draw.drawn(next));
        winners += report.winners.size();
        fewest += report.fewest.size();
    }
    state.counters["winners"] = benchmark::Counter(double(winners), benchmark::Counter::kAvgIterations);
    state.counters["fewest"] = benchmark::Counter(double(fewest), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ScanFloor)->Arg(10)->Arg(30)->Arg(60)->Unit(benchmark::kMicrosecond);

// The first scan after the registry or the card store changed: the index is made again.
void BM_ScanAfterChange(benchmark::State &state)
{
    FullHall &hall = FullHall::get();
    WinnerScan scan(hall.cards, hall.registry.TableVali(), hall.registry.TableValiC());
    DrawState draw = FullHall::drawOf(30);
    const std::string card(hall.cards.entry(1));
    for (auto _ : state) {
        hall.cards.store(1, card); // same text, new generation
        benchmark::DoNotOptimize(scan.CheckWinners(draw, {}));
    }
}
BENCHMARK(BM_ScanAfterChange)->Unit(benchmark::kMillisecond);


// The floor of BM_ScanAfterChange: the card texts decoded, the index made,
// the draw's 30 balls applied and the report read.
void BM_IndexFloor(benchmark::State &state)
{
    FullHall &hall = FullHall::get();
    const DrawState draw = FullHall::drawOf(30);
    std::vector<int> balls;
    for (int n = 1; n <= DrawState::kBalls; ++n)
        if (draw.drawn(n))
            balls.push_back(n);
    ScanFloor floor;
    for (auto _ : state) {
        floor.build(hall.cards, hall.registry.TableVali(), hall.registry.TableValiC());
        for (size_t i = 0; i + 1 < balls.size(); ++i)
            floor.apply(balls[i], true);
        benchmark::DoNotOptimize(floor.step(balls.back(), true));
    }
}
BENCHMARK(BM_IndexFloor)->Unit(benchmark::kMillisecond);

// The baseline: each card text decoded and each ticket looked up in the
// returned tickets' dataset at every scan.
void BM_PlainScan(benchmark::State &state)
{
    FullHall &hall = FullHall::get();
    test::PlainScan plain;
    DrawState draw = FullHall::drawOf(int(state.range(0)));
    const PrizeSwitches switches = switchesOf(int(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            plain.CheckWinners(hall.cards, hall.registry.TableVali(), hall.registry.TableValiC(), draw, switches));
}
BENCHMARK(BM_PlainScan)->Args({10, 0})->Args({30, 0})->Args({60, 0})->Args({10, 1})->Unit(benchmark::kMillisecond);

} // namespace

BOLARIS_BENCHMARK_MAIN()
