#pragma once

#include "UnitCart.h"

#include <string_view>

namespace bolaris {

// The built-in cards of series A, ready to copy: eight blocks of 250 cards.
constexpr int kSeriesABlockSize = 250;
constexpr int kSeriesABlocks = 8;
using SeriesABlock = char[kSeriesABlockSize][kCardTextLength + 1];
extern const SeriesABlock kSeriesA[kSeriesABlocks];

inline std::string_view SeriesACard(int card)
{
    return {kSeriesA[(card - 1) / kSeriesABlockSize][(card - 1) % kSeriesABlockSize], size_t(kCardTextLength)};
}

} // namespace bolaris
