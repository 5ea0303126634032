#include "GameStep.h"

#include "DrawState.h"
#include "Prizes.h"
#include "cards/CardStore.h"
#include "dataset/Dataset.h"
#include "validation/RegistryNames.h"

#include <QHash>

#include <utility>

namespace bolaris {

namespace {

std::unique_ptr<Dataset> snapshotTable(const QString &name, const QStringList &integers)
{
    auto table = std::make_unique<Dataset>(name);
    table->addFieldDef(registrynames::kSerie, FieldType::String, 1, true);
    for (const QString &field : integers)
        table->addFieldDef(field, FieldType::Integer, 0, true);
    table->createDataset();
    return table;
}

// The rows of a ticket's pattern: a line is one row, two lines the pairs
// (0, 1), (0, 2), (1, 2), the full ticket all three.
constexpr int kPairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};

} // namespace

GameStep::GameStep(const CartelaTable &cards)
    : m_cards(cards),
      m_vali(snapshotTable(QStringLiteral("TableVali"), {registrynames::kNumero})),
      m_valiC(snapshotTable(QStringLiteral("TableValiC"), {registrynames::kCartao, registrynames::kCartela})),
      m_scan(std::make_unique<WinnerScan>(cards, *m_vali, *m_valiC))
{
}

GameStep::~GameStep() = default;

void GameStep::newDraw(const CompetingSet &competing)
{
    m_hasDraw = true;
    m_missingTold = false;
    m_prizes.clear();
    m_standing.assign(kStandingKeys, false);
    if (competing == m_competing && m_vali->recordCount() == competing.cardCount())
        return; // the scan's index still holds
    m_competing = competing;
    // Rows in the order of the check (series, card), as the registry keeps them.
    m_vali->deleteAll();
    m_valiC->deleteAll();
    competing.forEachCard([this](char series, int card) {
        m_vali->insert();
        m_vali->setValue(0, QString(QLatin1Char(series)));
        m_vali->setValue(1, card);
        m_vali->post();
    });
    competing.forEachReturned([this](char series, int ticket) {
        m_valiC->insert();
        m_valiC->setValue(0, QString(QLatin1Char(series)));
        m_valiC->setValue(1, ticket);
        m_valiC->setValue(2, CardOfTicket(ticket));
        m_valiC->post();
    });
}

GameStep::Result GameStep::step(DrawState &draw)
{
    Result result;
    result.report = m_scan->CheckWinners(draw, m_switches);
    const PrizeSwitches &won = result.report.won;
    result.switchedOff = {m_switches.cantos && won.cantos, m_switches.linha && won.linha,
                          m_switches.twoRows && won.twoRows};
    m_switches = m_switches.without(won);
    if (!result.report.missingCards.isEmpty() && !m_missingTold) {
        m_missingTold = true;
        result.missingToTell = result.report.missingCards;
    }
    notePrizes(result.report, draw);
    return result;
}

bool GameStep::stillWon(const PrizeWon &prize, const DrawState &draw) const
{
    const char series = prize.ticket.series.toLatin1();
    const CartelaString text = m_cards.card(series, prize.ticket.card);
    if (!IsReadableCard(text))
        return false;
    const std::array<int, 15> numbers = TicketNumbers(text, TicketPosition(prize.ticket.ticket));
    const auto rowDrawn = [&](int row) {
        for (int p = 5 * row; p < 5 * row + 5; ++p)
            if (!draw.drawn(numbers[size_t(p)]))
                return false;
        return true;
    };
    if (prize.prize == prizes::kNames[prizes::Corners])
        return draw.drawn(numbers[0]) && draw.drawn(numbers[4]) && draw.drawn(numbers[10]) && draw.drawn(numbers[14]);
    if (prize.prize == prizes::kNames[prizes::Row])
        return rowDrawn(prize.pattern);
    if (prize.prize == prizes::kNames[prizes::TwoRows])
        return rowDrawn(kPairs[prize.pattern][0]) && rowDrawn(kPairs[prize.pattern][1]);
    return rowDrawn(0) && rowDrawn(1) && rowDrawn(2);
}

int GameStep::prizeKey(const PrizeWon &p)
{
    const int kind = std::max(prizes::indexOf(p.prize), 0);
    const int ticket = (p.ticket.series.toLatin1() - 'A') * (kTicketsPerSeries + 1) + p.ticket.ticket;
    return (ticket * 4 + kind) * 3 + p.pattern;
}

void GameStep::notePrizes(const ScanReport &report, const DrawState &draw)
{
    if (!draw.lastEventDrew() && !m_prizes.isEmpty())
        m_prizes.removeIf([&](const PrizeWon &p) {
            if (stillWon(p, draw))
                return false;
            m_standing[size_t(prizeKey(p))] = false;
            return true;
        });
    // A ticket with two lines is announced twice: the n-th line of a ticket
    // in a scan is its n-th complete row, and likewise for two lines.
    QHash<int, int> taken; // the key of a prize of a ticket with pattern 0 -> patterns taken in this scan
    for (qsizetype i = 0; i < report.winners.size(); ++i) {
        PrizeWon won;
        won.prize = report.prizes.value(i);
        won.ticket = report.winners[i];
        if (!IsSeriesLetter(won.ticket.series.toLatin1()) || won.ticket.ticket < 1 || won.ticket.ticket > kTicketsPerSeries)
            continue;
        if (won.prize == prizes::kNames[prizes::Row] || won.prize == prizes::kNames[prizes::TwoRows]) {
            int &mask = taken[prizeKey(won)];
            for (int pattern = 0; pattern < 3; ++pattern) {
                won.pattern = pattern;
                if (!(mask >> pattern & 1) && stillWon(won, draw))
                    break;
            }
            mask |= 1 << won.pattern;
        }
        const size_t key = size_t(prizeKey(won));
        if (m_standing[key])
            continue; // announced again (a full ticket at every later ball)
        m_standing[key] = true;
        won.ball = draw.lastEventBall();
        won.order = draw.DrawnCount();
        m_prizes << won;
    }
}

} // namespace bolaris
