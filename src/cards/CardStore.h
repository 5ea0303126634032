#pragma once

#include "UnitCart.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace bolaris {

// The texts of all 24,000 cards by absolute index: fixed-capacity slots
// allocated once. An entry never filled is the empty text.
class CartelaTable {
public:
    CartelaTable();

    std::string_view entry(int index) const;
    std::string_view card(char series, int number) const { return entry(CardIndex(series, number)); }
    // Stores text at index, cut to its first 180 characters.
    void store(int index, std::string_view text);
    void storeSeriesA();
    // Changes whenever an entry may have changed; what was computed from the
    // table at one generation holds as long as the generation is the same.
    std::uint64_t generation() const { return m_generation; }

    // A card that cannot be used: never filled (series B to L without
    // "compl22.cds"), or with a text that fails the check.
    struct Unusable {
        int number = 0;
        bool missing = false; // never filled, as opposed to a broken text
    };
    enum class CardCheck {
        Readable, // every cell decodes to a number 1..90 (IsReadableCard)
        Rules,    // and the card keeps every card rule as well
    };
    // The first such card of series from first to last, if any.
    std::optional<Unusable> firstUnusable(char series, int first, int last, CardCheck check = CardCheck::Rules) const;
    // The operator's words for it: "A cartela B-7 não está disponível (...)."
    static QString unusableText(char series, const Unusable &card);

private:
    struct Slot {
        char text[kCardTextLength];
        std::uint8_t length;
    };
    struct Free {
        void operator()(Slot *slots) const { std::free(slots); }
    };
    // Index 0 unused. calloc: the system's zeroed pages, touched only where
    // a card is stored, so that an empty table costs next to nothing.
    std::unique_ptr<Slot[], Free> m_slots;
    std::uint64_t m_generation = 0;
};

// The card store: the table and its fill from the built-in series A and from
// "compl22.cds" in the working folder.
class CardStore {
public:
    struct FillResult {
        bool fileRead = false;     // the file was read in this fill
        QString error;             // the file could not be read; series B to L keep what they held
        bool errorRepeated = false; // the same unreadable file as at the previous fill
    };

    const CartelaTable &table() const { return m_table; }
    std::string_view card(char series, int number) const { return m_table.card(series, number); }

    // Copies series A, then applies the records of "compl22.cds" in file order
    // (a later record wins; records 1..2000 replace series A). A file unchanged
    // since the last fill is not read again: the table already holds its result.
    FillResult FillCardStore(const QString &dir);

    static constexpr const char *kFileName = "compl22.cds";

private:
    struct Signature {
        QString path;
        std::uint64_t dev = 0, ino = 0, size = 0;
        std::int64_t mtimeNs = 0, ctimeNs = 0;
        bool operator==(const Signature &) const = default;
    };
    static std::optional<Signature> signatureOf(const QString &path);

    CartelaTable m_table;
    std::optional<Signature> m_applied; // the file whose records the table holds
    std::optional<Signature> m_failed;  // the file that failed at the previous fill
};

} // namespace bolaris
