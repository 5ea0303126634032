// "1 por folha sem grade(para gráfica)": numbers only, for printing on ready-made forms.
#include "CardLayout.h"

namespace bolaris {

CardLayout layoutFormCar1()
{
    using C = CardLayout::Content;
    CardLayout l;
    l.name = QStringLiteral("TFormCar1");
    l.page = customPaper(102, 297);
    l.band = {QStringLiteral("DetailBand1"), 102.13, 278.34, arial(18), false, false, false};
    // No frames: the tops are those of the first row of each ticket.
    l.frames = {false, 6.61, 0, 0, {13.49, 57.94, 102.39, 150.02, 193.94, 238.39}, {}, {{}}, 0};
    l.cells = {9.79, 7.94, steps(0, 10.32), {{0, 10.59, 20.91}}};
    const std::vector<double> tops = {7.41, 51.86, 96.57, 143.93, 187.85, 232.30};
    l.headers = {
        {tops, 21.96, 16.40, 4.50, C::CardNumber, {}, Qt::AlignRight, courierNew(10)},
        {tops, 39.16, 4.23, 4.50, C::Series, {}, Qt::AlignLeft, courierNew(10)},
        {tops, 71.70, 17.99, 4.50, C::Ticket, {}, Qt::AlignLeft, courierNew(10)},
    };
    return l;
}

} // namespace bolaris
