#include "CardGenerator.h"

#include "SeriesA.h"
#include "UnitCart.h"

namespace bolaris {

std::vector<std::string> GenerateSeriesBtoL()
{
    TicketSet used;
    for (int i = 1; i <= kCardsPerSeries; ++i) {
        for (int p = 1; p <= 6; ++p)
            used.insert(TicketKeyOf(SeriesACard(i), p));
    }
    CardGenerator generator(kSeriesBtoLSeed);
    return generator.generate(kCardCount - kCardsPerSeries, used);
}

} // namespace bolaris
