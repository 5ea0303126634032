// "1 por folha" and "4 por folha": paper, columns and cut lines are set before
// every preview; the band is one card.
#include "CardLayout.h"

namespace bolaris {

CardLayout layoutFormCar4()
{
    using C = CardLayout::Content;
    CardLayout l;
    l.name = QStringLiteral("TFormCar4");
    l.page = customPaper(105, 160);
    l.page.marginBottom = 2;
    l.band = {QStringLiteral("DetailBand1"), 105.04, 147.11, courierNew(14), false, false, false};
    l.frames = {true, 23.81, 71.97, 20.64, {4.76, 28.57, 52.92, 76.73, 101.07, 125.41},
                {7.94, 15.88, 23.81, 31.75, 39.69, 47.63, 55.57, 63.50}, {{6.88, 13.76}}, 2};
    l.cells = {7.14, 6.09, steps(0.53, 7.94), {{0.80, 7.68, 14.29}}};
    const std::vector<double> tickets = {2.38, 26.19, 50.27, 74.08, 98.69, 123.03};
    l.headers = {
        {{1.06}, 54.50, 15.08, 4.50, C::Static, QStringLiteral("Cartela"), Qt::AlignLeft, courierNew(10)},
        {{1.06}, 70.64, 16.40, 5.03, C::CardNumber, {}, Qt::AlignRight, courierNew(12)},
        {{1.06}, 88.90, 4.23, 5.03, C::Series, {}, Qt::AlignLeft, courierNew(12)},
        {tickets, 24.34, 13.49, 2.38, C::Static, QStringLiteral("Cartão No."), Qt::AlignLeft, courierNew(6, false)},
        {tickets, 38.63, 18.52, 3.17, C::Ticket, {}, Qt::AlignLeft, courierNew(6, false)},
    };
    return l;
}

} // namespace bolaris
