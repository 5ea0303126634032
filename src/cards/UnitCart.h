#pragma once

// The vocabulary of a card: series, card and ticket numbers, the 180-character
// card text and the placing of its 90 numbers in the 18 x 9 card grid.

#include <array>
#include <string_view>

namespace bolaris {

constexpr int kSeriesCount = 12;
constexpr int kCardsPerSeries = 2000;
constexpr int kTicketsPerSeries = 12000;
constexpr int kCardCount = kSeriesCount * kCardsPerSeries; // 24000
constexpr int kCardTextLength = 180;
constexpr int kCellCount = 90;
constexpr int kCardRows = 18;
constexpr int kColumns = 9;
constexpr std::string_view kSeriesLetters = "ABCDEFGHIJKL";

constexpr bool IsSeriesLetter(char letter) { return letter >= 'A' && letter <= 'L'; }
constexpr int SeriesOffset(char letter) { return (letter - 'A') * kCardsPerSeries; }
constexpr int CardIndex(char letter, int card) { return SeriesOffset(letter) + card; }
constexpr int CardOfTicket(int ticket) { return (ticket + 5) / 6; }
constexpr int TicketPosition(int ticket) { return ticket - 6 * (CardOfTicket(ticket) - 1); }
constexpr int TicketNumber(int card, int position) { return 6 * (card - 1) + position; }
constexpr char SeriesOfIndex(int index) { return char('A' + (index - 1) / kCardsPerSeries); }
constexpr int CardOfIndex(int index) { return (index - 1) % kCardsPerSeries + 1; }

// The card text: 90 cells of two characters; cell k is characters 2k-1 and 2k.
using CartelaString = std::string_view;

constexpr std::string_view CellText(CartelaString card, int k) { return card.substr(size_t(2 * k - 2), 2); }
constexpr int CellRow(int k) { return (k + 4) / 5; }
int CellColumn(std::string_view cell);
int CellNumber(std::string_view cell);

// A place of a grid: the cell text unchanged ("9 " keeps its blank), or empty.
using Grid3x9 = std::array<std::array<std::string_view, kColumns>, 3>;
using Grid18x9 = std::array<std::array<std::string_view, kColumns>, kCardRows>;

Grid3x9 TicketGrid(CartelaString card, int position);
Grid18x9 CardGrid(CartelaString card);

// True when every cell of the text reads as a number: 180 characters, each
// cell digits and blanks with at least one digit, its value 1..90. Only such a
// text may be decoded into numbers.
bool IsReadableCard(CartelaString card);

// The 15 numbers of ticket position 1..6 in ticket cell order.
std::array<int, 15> TicketNumbers(CartelaString card, int position);

} // namespace bolaris
