#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace bolaris {

// Checks a card text against the card invariants (length and cell form, the
// numbers 1..90 once each, rows of five ascending numbers in five columns,
// tickets covering all nine columns, columns ascending downwards). With
// seriesRules, also that every ticket has six columns of two numbers and three
// of one. Returns one description per violation; empty when the card is sound.
std::vector<std::string> CheckCard(std::string_view text, bool seriesRules = false);

// The 15 numbers of a ticket as a 90-bit set, for telling tickets apart.
struct TicketKey {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    bool operator==(const TicketKey &) const = default;
};
struct TicketKeyHash {
    size_t operator()(const TicketKey &k) const { return size_t(k.low * 0x9E3779B97F4A7C15ull ^ k.high); }
};
using TicketSet = std::unordered_set<TicketKey, TicketKeyHash>;

TicketKey TicketKeyOf(std::string_view card, int position);

} // namespace bolaris
