// The card-entry and ticket-entry texts of the Validation panel: a few
// entries with arbitrary series and entry texts on a fresh registry, each held
// against the entry rules (a single card asks before it is removed, a range
// toggles every card up to 2000, removing a card removes its returned
// tickets, a ticket needs its validated card), and what is on disk afterwards
// must be what the registry showed.
//
// One entry a line: the kind ('c' card, 't' ticket, 'r' reset), the answer to
// any question ('y' yes, anything else no), the series text, a TAB, the entry
// text (UTF-8).
#include "FuzzSupport.h"

#include "cards/UnitCart.h"
#include "dataset/StrictInt.h"
#include "ui/Prompter.h"
#include "validation/ValidationRegistry.h"

#include <cstdint>
#include <map>
#include <set>

using namespace bolaris;

namespace {

QString g_dir;

class AnsweringPrompter : public Prompter {
public:
    bool answer = false;
    int informed = 0;
    int asked = 0;
    void inform(const QString &, const QString &, MessageIcon) override { ++informed; }
    bool ask(const QString &, const QString &, bool) override
    {
        ++asked;
        return answer;
    }
};

using Card = std::pair<QChar, int>;

// The registry as the entry rules say it should be.
struct Expected {
    std::set<Card> cards;
    std::map<Card, int> tickets; // (series, ticket) -> card

    void removeCard(const Card &card)
    {
        cards.erase(card);
        std::erase_if(tickets, [&](const auto &t) { return t.first.first == card.first && t.second == card.second; });
    }
};

// The entry's series letter, or nothing when the series message is due.
std::optional<QChar> seriesOf(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.at(0) < QLatin1Char('A') || trimmed.at(0) > QLatin1Char('L'))
        return std::nullopt;
    return trimmed.at(0);
}

std::set<Card> cardsOf(Dataset &vali)
{
    std::set<Card> out;
    for (int i = 0; i < vali.recordCount(); ++i) {
        const Row &r = vali.rowAt(i);
        FUZZ_CHECK(r[0].toString().size() == 1 && r[1].typeId() == QMetaType::Int, "a malformed card record");
        FUZZ_CHECK(out.insert({r[0].toString().at(0), r[1].toInt()}).second, "a card validated twice");
    }
    return out;
}

std::map<Card, int> ticketsOf(Dataset &valiC)
{
    std::map<Card, int> out;
    for (int i = 0; i < valiC.recordCount(); ++i) {
        const Row &r = valiC.rowAt(i);
        FUZZ_CHECK(r[0].toString().size() == 1 && r[1].typeId() == QMetaType::Int && r[2].typeId() == QMetaType::Int,
                   "a malformed ticket record");
        FUZZ_CHECK(out.emplace(Card{r[0].toString().at(0), r[1].toInt()}, r[2].toInt()).second,
                   "a ticket returned twice");
    }
    return out;
}

void compare(ValidationRegistry &registry, const Expected &expected, const QString &when)
{
    FUZZ_CHECK(cardsOf(registry.TableVali()) == expected.cards, "validated cards differ from the rules " + when);
    FUZZ_CHECK(ticketsOf(registry.TableValiC()) == expected.tickets, "returned tickets differ from the rules " + when);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = fuzz::scratchFolder("validation");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    fuzz::emptyFolder(g_dir);
    Expected expected;
    AnsweringPrompter prompter;
    {
        ValidationRegistry registry(g_dir);
        FUZZ_CHECK(registry.lock() == ValidationRegistry::Lock::Taken, "the registry lock was not taken");
        FUZZ_CHECK(registry.open().access == ValidationRegistry::Access::Writable, "a fresh registry is not writable");
        int entries = 0;
        for (const QByteArray &line : input.split('\n')) {
            if (line.size() < 2 || ++entries > 12)
                break;
            const char kind = line[0];
            prompter.answer = line[1] == 'y';
            const QByteArray rest = line.mid(2);
            const qsizetype tab = rest.indexOf('\t');
            const QString series = QString::fromUtf8(tab < 0 ? rest : rest.left(tab));
            const QString text = tab < 0 ? QString() : QString::fromUtf8(rest.mid(tab + 1));
            const QString when = QStringLiteral("after %1 '%2' '%3'").arg(QString(QLatin1Char(kind)), series.left(20), text.left(30));
            const int askedBefore = prompter.asked;

            if (kind == 'c') {
                const ValidationRegistry::CardEntry entry = registry.SaiEnter(series, text, prompter);
                const auto letter = seriesOf(series);
                auto [first, last] = ValidationRegistry::splitCardText(text);
                if (text.isEmpty() || series.isEmpty() || (letter && first == 0)) {
                    FUZZ_CHECK(entry.outcome == ValidationRegistry::Outcome::Ignored, "not ignored " + when);
                } else if (!letter) {
                    FUZZ_CHECK(entry.outcome == ValidationRegistry::Outcome::SeriesInvalid, "series not refused " + when);
                } else {
                    last = std::max(last, first);
                    const bool single = first == last;
                    // A range over cards sold in part asks, and removes them only on Yes.
                    int sold = 0;
                    const int top = std::min(last, kCardsPerSeries);
                    for (int n = first; n <= top; ++n)
                        sold += expected.cards.count(Card{*letter, n}) ? 1 : 0;
                    const bool rangeAsks = !single && sold > 0 && sold < top - first + 1;
                    const bool removeSold = single || !rangeAsks || prompter.answer;
                    int lastAdded = 0;
                    bool stopped = false;
                    for (int n = first; n <= last; ++n) {
                        if (n > kCardsPerSeries) {
                            stopped = true;
                            break;
                        }
                        const Card card{*letter, n};
                        if (!expected.cards.count(card)) {
                            expected.cards.insert(card);
                            lastAdded = n;
                        } else if (single ? prompter.answer : removeSold) {
                            expected.removeCard(card);
                        }
                    }
                    FUZZ_CHECK(entry.outcome == (stopped ? ValidationRegistry::Outcome::Stopped
                                                         : ValidationRegistry::Outcome::Done),
                               "wrong outcome " + when);
                    FUZZ_CHECK(stopped || entry.lastAdded == lastAdded, "wrong last card added " + when);
                    FUZZ_CHECK(prompter.asked - askedBefore <= 1 && (!(prompter.asked - askedBefore) || single ||
                                                                       rangeAsks),
                               "a range entry asked " + when);
                    FUZZ_CHECK(!rangeAsks || prompter.asked - askedBefore == 1,
                               "a range over cards sold in part did not ask " + when);
                }
            } else if (kind == 't') {
                const ValidationRegistry::Outcome outcome = registry.SaiEnterC(series, text, prompter);
                const auto letter = seriesOf(series);
                const int ticket = strictIntOrZero(text);
                if (text.isEmpty() || series.isEmpty()) {
                    FUZZ_CHECK(outcome == ValidationRegistry::Outcome::Ignored, "not ignored " + when);
                } else if (!letter) {
                    FUZZ_CHECK(outcome == ValidationRegistry::Outcome::SeriesInvalid, "series not refused " + when);
                } else if (ticket < 1 || ticket > kTicketsPerSeries || !expected.cards.count({*letter, CardOfTicket(ticket)})) {
                    FUZZ_CHECK(outcome == ValidationRegistry::Outcome::Refused, "ticket not refused " + when);
                } else {
                    FUZZ_CHECK(outcome == ValidationRegistry::Outcome::Done, "ticket not entered " + when);
                    const Card key{*letter, ticket};
                    if (!expected.tickets.count(key))
                        expected.tickets.emplace(key, CardOfTicket(ticket));
                    else if (prompter.answer)
                        expected.tickets.erase(key);
                }
            } else if (kind == 'r') {
                const bool done = registry.ButtonInivalClick(prompter);
                FUZZ_CHECK(done == prompter.answer, "the reset did not follow the answer");
                if (done)
                    expected = {};
            } else {
                continue;
            }
            compare(registry, expected, when);
        }
        registry.close();
    }
    // What the entries committed is what a new start reads.
    ValidationRegistry again(g_dir);
    FUZZ_CHECK(again.open(true).access == ValidationRegistry::Access::ReadOnly, "the registry cannot be read back");
    compare(again, expected, QStringLiteral("after a restart"));
    again.close();
    FUZZ_CHECK(fuzz::leftoverTemporaries(g_dir).isEmpty(), "temporaries left behind");
    return 0;
}
