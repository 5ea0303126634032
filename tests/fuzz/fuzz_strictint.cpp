// The strict reading of integers typed by the operator, held against a
// reference written from the rule: optional leading blanks, an optional sign,
// decimal digits and nothing after them, within int. Also the readings built
// on it: the card box split at its hyphen and the cards per sheet.
#include "FuzzSupport.h"

#include "dataset/Dataset.h"
#include "dataset/StrictInt.h"
#include "export/CardExport.h"
#include "validation/ValidationRegistry.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

using namespace bolaris;

namespace {

std::optional<int> reference(const std::u16string &text)
{
    size_t i = text.find_first_not_of(u' ');
    if (i == std::u16string::npos)
        return std::nullopt;
    bool negative = false;
    if (text[i] == u'+' || text[i] == u'-')
        negative = text[i++] == u'-';
    const std::u16string digits = text.substr(i);
    if (digits.empty() || digits.find_first_not_of(u"0123456789") != std::u16string::npos)
        return std::nullopt;
    const size_t significant = std::min(digits.find_first_not_of(u'0'), digits.size());
    if (digits.size() - significant > 10)
        return std::nullopt;
    long long value = 0;
    for (size_t k = significant; k < digits.size(); ++k)
        value = value * 10 + (digits[k] - u'0');
    if (negative)
        value = -value;
    if (value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return int(value);
}

std::u16string utf16(const QString &s) { return std::u16string(reinterpret_cast<const char16_t *>(s.utf16()), size_t(s.size())); }

void check(const QString &text)
{
    const std::optional<int> got = parseStrictInt(text);
    const std::optional<int> want = reference(utf16(text));
    FUZZ_CHECK(got == want, QStringLiteral("parseStrictInt('%1') = %2, the rule gives %3")
                                .arg(text.left(40), got ? QString::number(*got) : QStringLiteral("none"),
                                     want ? QString::number(*want) : QStringLiteral("none")));
    FUZZ_CHECK(strictIntOrZero(text) == want.value_or(0), "strictIntOrZero differs from the rule");

    // The card box: split at the first hyphen among characters 1 to 20 (at
    // 20 when there is none); the first number before it, the last number in
    // characters p + 1 to 25; a part that is not an integer counts as 0.
    const std::u16string t = utf16(text);
    size_t p = t.substr(0, 20).find(u'-');
    p = p == std::u16string::npos ? 20 : p + 1;
    const int first = reference(t.substr(0, std::min(t.size(), p - 1))).value_or(0);
    const int last = p < t.size() ? reference(t.substr(p, 25 - p)).value_or(0) : 0;
    const auto [gotFirst, gotLast] = ValidationRegistry::splitCardText(text);
    FUZZ_CHECK(gotFirst == first && gotLast == last,
               QStringLiteral("splitCardText('%1') = %2, %3; the rule gives %4, %5")
                   .arg(text.left(40)).arg(gotFirst).arg(gotLast).arg(first).arg(last));

    const int perSheet = CardExport::cardsPerSheet(text);
    FUZZ_CHECK(perSheet == (want && *want >= 1 && *want <= 9 ? *want : 1), "cards per sheet outside the rule");

    // An integer field takes exactly the strict integers (an empty text is no value).
    FieldDef field{QStringLiteral("Numero"), FieldType::Integer};
    try {
        const QVariant v = Dataset::convert(field, text, QStringLiteral("fuzz"));
        FUZZ_CHECK(text.isEmpty() ? v.isNull() : (want && v.toInt() == *want), "an integer field stored a non-integer");
    } catch (const DatasetError &) {
        FUZZ_CHECK(!want && !text.isEmpty(), "an integer field refused an integer");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    // The same bytes as UTF-8, as Latin-1 and as raw UTF-16 (lone surrogates, NUL).
    check(QString::fromUtf8(bytes, qsizetype(size)));
    check(QString::fromLatin1(bytes, qsizetype(size)));
    std::vector<char16_t> units(size / 2);
    if (!units.empty())
        std::memcpy(units.data(), data, units.size() * 2);
    check(QString(reinterpret_cast<const QChar *>(units.data()), qsizetype(units.size())));
    return 0;
}
