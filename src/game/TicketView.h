#pragma once

#include "cards/UnitCart.h"

#include <QString>

#include <array>

namespace bolaris {

class DrawState;

// One ticket as the winners window and the card check panel show it: the 3 x 9
// places with their two-character texts, which numbers are drawn, and which
// rows have all five numbers drawn.
struct TicketView {
    struct Cell {
        QString text; // as stored: "9 " keeps its blank; empty for an empty place
        bool drawn = false;
    };
    std::array<std::array<Cell, kColumns>, 3> cells;
    std::array<bool, 3> rowFull{};

    // Ticket position 1..6 of a card text that holds a card.
    static TicketView of(CartelaString card, int position, const DrawState &draw);
};

} // namespace bolaris
