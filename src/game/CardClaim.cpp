#include "CardClaim.h"

#include "DrawState.h"
#include "Prizes.h"

namespace bolaris {

ClaimDraw ClaimDraw::of(const GameStep &game, const DrawState &state, const Dataset &vali, const Dataset &valiC)
{
    ClaimDraw draw;
    if (!game.hasDraw()) {
        draw.competing = CompetingSet::fromRegistry(vali, valiC);
        return draw;
    }
    draw.when = state.mode() == DrawMode::Idle ? When::Ended : When::Running;
    draw.competing = game.competing();
    draw.prizes = game.prizes();
    return draw;
}

QString ClaimDraw::caption() const
{
    switch (when) {
    case When::Running:
        return QStringLiteral("Sorteio em andamento");
    case When::Ended:
        return QStringLiteral("Último sorteio (encerrado)");
    case When::Registry:
        break;
    }
    return QStringLiteral("Nenhum sorteio ainda: registro atual");
}

CardClaim CardClaim::of(char series, int card, const CompetingSet &competing, const QList<PrizeWon> &prizes)
{
    CardClaim claim;
    claim.series = series;
    claim.card = card;
    claim.competes = competing.validated(series, card);
    for (int position = 1; position <= 6; ++position) {
        Ticket &ticket = claim.tickets[size_t(position - 1)];
        ticket.number = TicketNumber(card, position);
        ticket.returned = competing.returned(series, ticket.number);
    }
    const QChar letter = QLatin1Char(series);
    for (const PrizeWon &prize : prizes)
        if (prize.ticket.series == letter && CardOfTicket(prize.ticket.ticket) == card)
            claim.tickets[size_t(TicketPosition(prize.ticket.ticket) - 1)].prizes << prize;
    return claim;
}

QStringList CardClaim::Ticket::prizeTexts() const
{
    QStringList texts;
    for (const PrizeWon &prize : prizes)
        texts << prizeText(prize);
    return texts;
}

QString CardClaim::status() const
{
    return competes ? QStringLiteral("VALIDADA — concorre") : QStringLiteral("NÃO VALIDADA — não concorre");
}

QString CardClaim::prizeText(const PrizeWon &prize)
{
    return QStringLiteral("%1 na %2ª pedra (%3)").arg(prizeName(prize.prize)).arg(prize.order).arg(prize.ball);
}

QString CardClaim::prizeName(const QString &scanPrize)
{
    if (scanPrize == prizes::kNames[prizes::Corners])
        return QStringLiteral("QUATRO CANTOS");
    if (scanPrize == prizes::kNames[prizes::Full])
        return QStringLiteral("CARTELA CHEIA");
    return scanPrize;
}

} // namespace bolaris
