// "2 por folha com grade": two long cards side by side, a header line over each ticket.
#include "CardLayout.h"

namespace bolaris {

CardLayout layoutFormCar2()
{
    using C = CardLayout::Content;
    CardLayout l;
    l.name = QStringLiteral("TFormCar2");
    l.page = customPaper(210, 297);
    l.page.columns = 2;
    l.band = {QStringLiteral("DetailBand1"), 105.04, 277.02, arial(18), true, false, false};
    l.frames = {true, 7.41, 93.13, 31.22, {11.11, 55.56, 100.54, 143.67, 187.85, 232.30},
                {10.32, 20.64, 30.95, 41.27, 51.59, 61.91, 72.23, 82.55}, {{10.59, 20.90}}, 2};
    l.cells = {9.79, 7.94, steps(0.53, 10.32), {{1.85, 12.17, 22.23}}};
    const std::vector<double> tops = {7.14, 51.33, 96.57, 139.70, 183.89, 228.07};
    l.headers = {
        {tops, 7.94, 15.08, 4.50, C::Static, QStringLiteral("Cartela"), Qt::AlignLeft, courierNew(10)},
        {tops, 23.28, 16.40, 4.50, C::CardNumber, {}, Qt::AlignRight, courierNew(10)},
        {tops, 40.48, 4.23, 4.50, C::Series, {}, Qt::AlignLeft, courierNew(10)},
        {tops, 58.74, 12.96, 4.50, C::Static, QStringLiteral("Cartão"), Qt::AlignLeft, courierNew(10)},
        {tops, 73.03, 17.99, 4.50, C::Ticket, {}, Qt::AlignLeft, courierNew(10)},
    };
    return l;
}

} // namespace bolaris
