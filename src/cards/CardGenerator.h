#pragma once

#include "CardRules.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bolaris {

// Makes card texts that obey the card invariants and the series rules (every
// ticket six columns of two numbers and three of one). The output depends only
// on the seed: the random source and every draw from it are fixed algorithms.
class CardGenerator {
public:
    explicit CardGenerator(std::uint64_t seed);

    std::string nextCard();

    // count cards none of whose tickets is in used; their tickets are added to used.
    std::vector<std::string> generate(int count, TicketSet &used);

    std::uint64_t nextRandom();     // xoshiro256**
    std::uint32_t below(std::uint32_t bound); // uniform in [0, bound)

private:
    std::uint64_t m_s[4];
};

// The seed of the card file of series B to L and the order in which its cards
// are made: after series A, skipping any card that would repeat a ticket.
constexpr std::uint64_t kSeriesBtoLSeed = 0xB01A7150'90150022ull;
std::vector<std::string> GenerateSeriesBtoL();

} // namespace bolaris
