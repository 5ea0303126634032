// "3 por folha": three cards side by side on landscape A4.
#include "CardLayout.h"

namespace bolaris {

CardLayout layoutFormCar()
{
    using C = CardLayout::Content;
    CardLayout l;
    l.name = QStringLiteral("TFormCar");
    l.page = a4Landscape();
    l.page.columns = 3;
    l.band = {QStringLiteral("DetailBand1"), 98.95, 209.55, courierNew(14), false, true, false};
    l.frames = {true, 11.91, 71.70, 20.64, {28.84, 58.74, 88.64, 118.27, 148.17, 177.27},
                {7.93, 15.87, 23.81, 31.75, 39.68, 47.62, 55.56, 63.50}, {{6.88, 13.76}}, 2};
    l.cells = {7.14, 6.09, steps(0.53, 7.94), {{0.79, 7.41, 14.29}}};
    const std::vector<double> tickets = {25.66, 55.56, 85.20, 114.96, 144.73, 173.83};
    l.headers = {
        {{16.40}, 39.42, 19.58, 5.03, C::Static, QStringLiteral("Cartela"), Qt::AlignLeft, courierNew(12)},
        {{16.40}, 60.06, 16.67, 5.03, C::CardNumber, {}, Qt::AlignLeft, courierNew(12)},
        {{16.40}, 78.32, 3.17, 5.03, C::Series, {}, Qt::AlignLeft, courierNew(12)},
        {tickets, 12.44, 18.79, 3.84, C::Static, QStringLiteral("Cartão No."), Qt::AlignLeft, courierNew(8)},
        {tickets, 32.28, 15.88, 3.84, C::Ticket, {}, Qt::AlignLeft, courierNew(8)},
    };
    return l;
}

} // namespace bolaris
