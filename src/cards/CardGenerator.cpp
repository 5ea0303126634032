#include "CardGenerator.h"

#include "UnitCart.h"

#include <algorithm>
#include <array>

namespace bolaris {

namespace {

std::uint64_t splitmix(std::uint64_t &x)
{
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

constexpr std::array<int, 9> kDoublesPerColumn = {3, 4, 4, 4, 4, 4, 4, 4, 5};
constexpr std::array<int, 9> kColumnFirst = {1, 10, 20, 30, 40, 50, 60, 70, 80};
constexpr std::array<int, 9> kColumnLast = {9, 19, 29, 39, 49, 59, 69, 79, 90};

} // namespace

CardGenerator::CardGenerator(std::uint64_t seed)
{
    for (auto &s : m_s)
        s = splitmix(seed);
}

std::uint64_t CardGenerator::nextRandom()
{
    const std::uint64_t result = rotl(m_s[1] * 5, 7) * 9;
    const std::uint64_t t = m_s[1] << 17;
    m_s[2] ^= m_s[0];
    m_s[3] ^= m_s[1];
    m_s[1] ^= m_s[2];
    m_s[0] ^= m_s[3];
    m_s[2] ^= t;
    m_s[3] = rotl(m_s[3], 45);
    return result;
}

std::uint32_t CardGenerator::below(std::uint32_t bound)
{
    // Rejection keeps every value equally likely.
    const std::uint64_t limit = UINT64_MAX - UINT64_MAX % bound;
    std::uint64_t x;
    do {
        x = nextRandom();
    } while (x >= limit);
    return std::uint32_t(x % bound);
}

std::string CardGenerator::nextCard()
{
    // 1. Which columns of which ticket hold two numbers: six per ticket, and per
    //    column as many as make the column totals 9, 10 ... 10, 11.
    std::array<std::array<int, 9>, 6> twice{};
    for (;;) {
        twice = {};
        std::array<int, 6> room;
        room.fill(6);
        std::array<int, 9> columns = {0, 1, 2, 3, 4, 5, 6, 7, 8};
        for (int i = 8; i > 0; --i)
            std::swap(columns[size_t(i)], columns[below(std::uint32_t(i + 1))]);
        bool ok = true;
        for (int c : columns) {
            std::array<int, 6> order = {0, 1, 2, 3, 4, 5};
            for (int i = 5; i > 0; --i)
                std::swap(order[size_t(i)], order[below(std::uint32_t(i + 1))]);
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return room[size_t(a)] > room[size_t(b)]; });
            for (int k = 0; k < kDoublesPerColumn[size_t(c)]; ++k) {
                const int t = order[size_t(k)];
                if (room[size_t(t)] == 0)
                    ok = false;
                twice[size_t(t)][size_t(c)] = 1;
                --room[size_t(t)];
            }
        }
        if (ok && std::all_of(room.begin(), room.end(), [](int r) { return r == 0; }))
            break;
    }

    // 2. Deal each column's numbers to the tickets at random.
    std::array<std::array<std::array<int, 2>, 9>, 6> numbers{};
    for (int c = 0; c < 9; ++c) {
        std::vector<int> pool;
        for (int n = kColumnFirst[size_t(c)]; n <= kColumnLast[size_t(c)]; ++n)
            pool.push_back(n);
        for (size_t i = pool.size() - 1; i > 0; --i)
            std::swap(pool[i], pool[below(std::uint32_t(i + 1))]);
        size_t next = 0;
        for (int t = 0; t < 6; ++t) {
            const int count = 1 + twice[size_t(t)][size_t(c)];
            std::array<int, 2> got{pool[next], count == 2 ? pool[next + 1] : 0};
            next += size_t(count);
            if (count == 2 && got[0] > got[1])
                std::swap(got[0], got[1]);
            numbers[size_t(t)][size_t(c)] = got;
        }
    }

    // 3. Place each ticket's numbers in its three rows of five.
    std::string text;
    text.reserve(kCardTextLength);
    for (int t = 0; t < 6; ++t) {
        std::array<std::array<int, 9>, 3> rows{};
        for (;;) {
            rows = {};
            std::array<int, 3> filled{};
            for (int c = 0; c < 9; ++c) {
                const auto &n = numbers[size_t(t)][size_t(c)];
                if (n[1] != 0) {
                    const int skip = int(below(3));
                    int slot = 0;
                    for (int r = 0; r < 3; ++r) {
                        if (r == skip)
                            continue;
                        rows[size_t(r)][size_t(c)] = n[size_t(slot++)];
                        ++filled[size_t(r)];
                    }
                } else {
                    const int r = int(below(3));
                    rows[size_t(r)][size_t(c)] = n[0];
                    ++filled[size_t(r)];
                }
            }
            if (filled[0] == 5 && filled[1] == 5 && filled[2] == 5)
                break;
        }
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 9; ++c) {
                const int n = rows[size_t(r)][size_t(c)];
                if (n == 0)
                    continue;
                if (n < 10) {
                    text += char('0' + n);
                    text += ' ';
                } else {
                    text += char('0' + n / 10);
                    text += char('0' + n % 10);
                }
            }
        }
    }
    return text;
}

std::vector<std::string> CardGenerator::generate(int count, TicketSet &used)
{
    std::vector<std::string> cards;
    cards.reserve(size_t(count));
    while (int(cards.size()) < count) {
        std::string card = nextCard();
        bool fresh = true;
        for (int p = 1; p <= 6 && fresh; ++p)
            fresh = !used.count(TicketKeyOf(card, p));
        if (!fresh)
            continue;
        for (int p = 1; p <= 6; ++p)
            used.insert(TicketKeyOf(card, p));
        cards.push_back(std::move(card));
    }
    return cards;
}

} // namespace bolaris
