#include "UnitCart.h"

namespace bolaris {

namespace {
std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}
} // namespace

int CellColumn(std::string_view cell)
{
    const std::string_view t = trimBlanks(cell);
    if (t.size() <= 1)
        return 1;
    const int column = (t.front() - '0') + 1;
    return column == 10 ? 9 : column;
}

int CellNumber(std::string_view cell)
{
    int value = 0;
    for (char c : cell) {
        if (c >= '0' && c <= '9')
            value = value * 10 + (c - '0');
    }
    return value;
}

bool IsReadableCard(CartelaString card)
{
    if (card.size() != size_t(kCardTextLength))
        return false;
    // Cell by cell (two characters): digits and blanks only, a digit at
    // least, and a number from 1 to 90. Read in place: making a scan's
    // tables asks this of every sold card.
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (size_t at = 0; at < card.size(); at += 2) {
        const char a = card[at], b = card[at + 1];
        if ((!isDigit(a) && a != ' ') || (!isDigit(b) && b != ' ') || (a == ' ' && b == ' '))
            return false;
        const int n = isDigit(a) && isDigit(b) ? (a - '0') * 10 + (b - '0') : isDigit(a) ? a - '0' : b - '0';
        if (n < 1 || n > kCellCount)
            return false;
    }
    return true;
}

Grid3x9 TicketGrid(CartelaString card, int position)
{
    Grid3x9 grid{};
    const int firstCell = 15 * (position - 1) + 1;
    for (int k = firstCell; k < firstCell + 15 && size_t(2 * k) <= card.size(); ++k) {
        const std::string_view text = CellText(card, k);
        const int column = CellColumn(text);
        if (column >= 1 && column <= kColumns) // a malformed cell is placed nowhere
            grid[size_t(CellRow(k) - 3 * (position - 1) - 1)][size_t(column - 1)] = text;
    }
    return grid;
}

Grid18x9 CardGrid(CartelaString card)
{
    Grid18x9 grid{};
    for (int k = 1; k <= kCellCount && size_t(2 * k) <= card.size(); ++k) {
        const std::string_view text = CellText(card, k);
        const int column = CellColumn(text);
        if (column >= 1 && column <= kColumns)
            grid[size_t(CellRow(k) - 1)][size_t(column - 1)] = text;
    }
    return grid;
}

std::array<int, 15> TicketNumbers(CartelaString card, int position)
{
    std::array<int, 15> numbers{};
    const size_t base = size_t(30 * (position - 1));
    for (size_t j = 0; j < 15 && base + 2 * j + 2 <= card.size(); ++j)
        numbers[j] = CellNumber(card.substr(base + 2 * j, 2));
    return numbers;
}

} // namespace bolaris
