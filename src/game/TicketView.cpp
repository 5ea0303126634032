#include "TicketView.h"

#include "DrawState.h"

namespace bolaris {

TicketView TicketView::of(CartelaString card, int position, const DrawState &draw)
{
    TicketView view;
    const Grid3x9 grid = TicketGrid(card, position);
    for (size_t r = 0; r < 3; ++r) {
        int drawnInRow = 0;
        for (size_t c = 0; c < size_t(kColumns); ++c) {
            const std::string_view cell = grid[r][c];
            if (cell.empty())
                continue;
            Cell &shown = view.cells[r][c];
            shown.text = QString::fromLatin1(cell.data(), qsizetype(cell.size()));
            shown.drawn = draw.drawn(CellNumber(cell));
            drawnInRow += shown.drawn;
        }
        view.rowFull[r] = drawnInRow == 5;
    }
    return view;
}

} // namespace bolaris
