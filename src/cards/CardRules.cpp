#include "CardRules.h"

#include "UnitCart.h"

#include <array>

namespace bolaris {

namespace {

bool cellWellFormed(std::string_view cell)
{
    const char a = cell[0];
    const char b = cell[1];
    if (a >= '1' && a <= '9' && b == ' ')
        return true; // 1..9: digit then blank
    if (a >= '1' && a <= '9' && b >= '0' && b <= '9')
        return (a - '0') * 10 + (b - '0') <= 90;
    return false;
}

std::string cellName(int k) { return "cell " + std::to_string(k); }

} // namespace

std::vector<std::string> CheckCard(std::string_view text, bool seriesRules)
{
    std::vector<std::string> problems;
    if (text.size() != size_t(kCardTextLength)) {
        problems.push_back("length " + std::to_string(text.size()) + " instead of 180");
        return problems;
    }
    bool cellsOk = true;
    for (int k = 1; k <= kCellCount; ++k) {
        if (!cellWellFormed(CellText(text, k))) {
            problems.push_back(cellName(k) + " \"" + std::string(CellText(text, k)) + "\" is not a number 1..90");
            cellsOk = false;
        }
    }
    if (!cellsOk)
        return problems;

    std::array<int, 91> seen{};
    for (int k = 1; k <= kCellCount; ++k)
        ++seen[size_t(CellNumber(CellText(text, k)))];
    for (int n = 1; n <= 90; ++n) {
        if (seen[size_t(n)] != 1)
            problems.push_back("number " + std::to_string(n) + " occurs " + std::to_string(seen[size_t(n)]) +
                               " times");
    }

    for (int r = 1; r <= kCardRows; ++r) {
        int prevNumber = 0;
        int prevColumn = 0;
        for (int p = 1; p <= 5; ++p) {
            const std::string_view cell = CellText(text, 5 * (r - 1) + p);
            const int number = CellNumber(cell);
            const int column = CellColumn(cell);
            if (p > 1 && (number <= prevNumber || column <= prevColumn)) {
                problems.push_back("card row " + std::to_string(r) +
                                   " does not ascend in five different columns");
                break;
            }
            prevNumber = number;
            prevColumn = column;
        }
    }

    for (int t = 1; t <= 6; ++t) {
        const Grid3x9 grid = TicketGrid(text, t);
        int doubles = 0;
        for (int c = 0; c < kColumns; ++c) {
            int count = 0;
            int last = 0;
            for (int r = 0; r < 3; ++r) {
                if (grid[size_t(r)][size_t(c)].empty())
                    continue;
                const int n = CellNumber(grid[size_t(r)][size_t(c)]);
                if (count > 0 && n <= last)
                    problems.push_back("ticket " + std::to_string(t) + " column " + std::to_string(c + 1) +
                                       " does not ascend downwards");
                last = n;
                ++count;
            }
            if (count == 0)
                problems.push_back("ticket " + std::to_string(t) + " leaves column " + std::to_string(c + 1) +
                                   " empty");
            if (seriesRules && count == 3)
                problems.push_back("ticket " + std::to_string(t) + " holds three numbers in column " +
                                   std::to_string(c + 1));
            doubles += count == 2;
        }
        if (seriesRules && doubles != 6)
            problems.push_back("ticket " + std::to_string(t) + " has " + std::to_string(doubles) +
                               " columns of two numbers instead of six");
    }
    return problems;
}

TicketKey TicketKeyOf(std::string_view card, int position)
{
    TicketKey key;
    for (int n : TicketNumbers(card, position)) {
        if (n <= 0 || n > 90)
            continue;
        if (n <= 64)
            key.low |= std::uint64_t(1) << (n - 1);
        else
            key.high |= std::uint64_t(1) << (n - 65);
    }
    return key;
}

} // namespace bolaris
