// "1 por folha com grade  ": one large card on portrait A4.
#include "CardLayout.h"

namespace bolaris {

CardLayout layoutFormCarG()
{
    using C = CardLayout::Content;
    CardLayout l;
    l.name = QStringLiteral("TFormCarG");
    l.page = a4Portrait();
    l.page.marginLeft = l.page.marginRight = 10;
    l.band = {QStringLiteral("DetailBand1"), 189.97, 292.10, arial(26), false, false, false};
    l.frames = {true, 2.12, 132.29, 37.57, {16.40, 61.91, 107.95, 153.99, 200.03, 246.06},
                {15.08, 29.63, 44.18, 58.73, 73.29, 88.10, 102.66, 117.21}, {{12.97, 24.87}}, 2};
    l.cells = {13.23, 11.11, {1.05, 15.87, 30.69, 45.50, 59.79, 74.08, 88.90, 103.71, 118.27}, {{1.06, 13.23, 25.40}}};
    const std::vector<double> tops = {12.17, 57.68, 103.72, 149.75, 196.06, 242.62};
    l.headers = {
        {tops, 2.12, 15.08, 4.76, C::Static, QStringLiteral("Cartela"), Qt::AlignLeft, courierNew(10)},
        {tops, 18.26, 16.93, 4.76, C::CardNumber, {}, Qt::AlignLeft, courierNew(10)},
        {tops, 35.72, 3.17, 4.50, C::Series, {}, Qt::AlignLeft, courierNew(10)},
        {tops, 82.02, 21.43, 4.50, C::Static, QStringLiteral("Cartão No."), Qt::AlignLeft, courierNew(10)},
        {tops, 104.51, 18.52, 4.50, C::Ticket, {}, Qt::AlignLeft, courierNew(10)},
    };
    return l;
}

} // namespace bolaris
