// "1/3 por folha com grade": a third of a card (two tickets) on portrait A4.
#include "CardLayout.h"

namespace bolaris {

CardLayout layoutFormCar3A4()
{
    using C = CardLayout::Content;
    const ReportFont courier12{QStringLiteral("Courier"), 12, true, {}};
    const ReportFont courier15{QStringLiteral("Courier"), 15, true, {}};
    const ReportFont arialBlack{QStringLiteral("Arial"), 14, true, QColor(Qt::black)};
    CardLayout l;
    l.name = QStringLiteral("TFormCar3A4");
    l.page = a4Portrait();
    l.page.marginLeft = l.page.marginRight = 10;
    l.band = {QStringLiteral("DetailBand1"), 189.97, 292.10, {QStringLiteral("Impact"), 36, false, {}}, false, false,
              false};
    l.frames = {true, 15.88, 139.96, 62.97, {20.64, 96.31},
                {15.87, 31.22, 46.56, 61.91, 77.25, 92.60, 107.95, 123.56}, {{19.84, 41.80}, {20.90, 41.54}}, 3};
    l.cells = {14.55, 16.14, {0.52, 16.40, 31.74, 47.09, 62.70, 78.05, 93.39, 108.74, 124.35},
               {{2.91, 24.34, 44.71}, {2.64, 23.55, 44.18}}};
    l.headers = {
        {{83.87}, 118.00, 16.14, 4.50, C::Static, QStringLiteral("Cartão"), Qt::AlignLeft, courier12},
        {{83.61}, 134.94, 20.37, 6.09, C::Ticket, {}, Qt::AlignLeft, arialBlack, 1},
        {{87.58}, 16.14, 25.40, 5.56, C::Static, QStringLiteral("Cartela"), Qt::AlignLeft, courier15},
        {{87.58}, 42.33, 21.96, 6.09, C::CardNumber, {}, Qt::AlignLeft, arialBlack},
        {{88.11}, 65.35, 6.88, 6.09, C::Series, {}, Qt::AlignLeft, arial(14)},
        {{91.02}, 118.00, 16.14, 4.50, C::Static, QStringLiteral("Cartão"), Qt::AlignLeft, courier12},
        {{90.75}, 134.67, 20.64, 7.67, C::Ticket, {}, Qt::AlignLeft, arialBlack, 2},
    };
    return l;
}

} // namespace bolaris
