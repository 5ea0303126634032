#include "DisplayBoard.h"

namespace bolaris {

DisplayBoard DisplayBoard::of(const DrawState &draw, int lastBall, bool takenBack, const PrizeSwitches &inPlay)
{
    DisplayBoard board;
    for (int n = 1; n <= DrawState::kBalls; ++n)
        board.drawn[size_t(n)] = draw.drawn(n);
    board.count = draw.DrawnCount();
    board.last = lastBall;
    board.lastTakenBack = takenBack;
    board.inPlay = inPlay;
    return board;
}

QStringList DisplayBoard::bannerOf(const ScanReport &report)
{
    QStringList banner;
    for (qsizetype i = 0; i < report.winners.size(); ++i)
        banner << bannerLine(report.prizes.value(i), report.winners[i]);
    return banner;
}

QStringList DisplayBoard::newPrizes(const QStringList &banner, const QStringList &before)
{
    QStringList fresh;
    for (const QString &line : banner)
        if (!before.contains(line))
            fresh << line;
    return fresh;
}

QString DisplayBoard::bannerLine(const QString &prize, const TicketRef &ticket)
{
    QString name = prize;
    if (prize == QLatin1String("CANTOS"))
        name = QStringLiteral("QUATRO CANTOS");
    else if (prize == QLatin1String("CARTAO"))
        name = QStringLiteral("CARTELA CHEIA");
    return QStringLiteral("%1 — Cartela %2 série %3").arg(name).arg(ticket.card).arg(ticket.series);
}

QStringList DisplayBoard::prizesInPlay() const
{
    QStringList prizes;
    if (inPlay.cantos)
        prizes << QStringLiteral("Quatro cantos");
    if (inPlay.linha)
        prizes << QStringLiteral("Linha");
    if (inPlay.twoRows)
        prizes << QStringLiteral("2 linhas");
    prizes << QStringLiteral("Cartela cheia");
    return prizes;
}

} // namespace bolaris
