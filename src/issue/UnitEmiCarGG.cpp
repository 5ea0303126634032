// "1/2 por folha com grade  ": half a card (three tickets) on portrait A4.
#include "CardLayout.h"

namespace bolaris {

CardLayout layoutFormCarGG()
{
    using C = CardLayout::Content;
    CardLayout l;
    l.name = QStringLiteral("TFormCarGG");
    l.page = a4Portrait();
    l.page.marginLeft = l.page.marginRight = 10;
    l.band = {QStringLiteral("DetailBand1"), 189.97, 292.10, arial(32), false, false, false};
    l.frames = {true, 15.88, 159.28, 62.97, {24.87, 103.45, 182.83},
                {18.25, 35.71, 53.18, 70.64, 88.37, 105.83, 123.29, 141.02}, {{19.58, 40.75}}, 3};
    l.cells = {16.67, 13.76, {1.32, 18.78, 36.24, 53.71, 71.43, 88.90, 106.36, 123.82, 141.55}, {{4.50, 25.14, 46.04}}};
    const std::vector<double> tops = {20.11, 98.69, 177.80};
    l.headers = {
        {tops, 16.14, 19.58, 4.76, C::Static, QStringLiteral("Cartela"), Qt::AlignLeft, courierNew(10)},
        {tops, 36.78, 16.93, 4.76, C::CardNumber, {}, Qt::AlignLeft, courierNew(10)},
        {tops, 53.98, 3.17, 4.76, C::Series, {}, Qt::AlignLeft, courierNew(10)},
        {tops, 86.78, 21.43, 4.50, C::Static, QStringLiteral("Cartão No."), Qt::AlignLeft, courierNew(10)},
        {tops, 110.07, 18.52, 4.50, C::Ticket, {}, Qt::AlignLeft, courierNew(10)},
    };
    return l;
}

} // namespace bolaris
