#include "LiveDraw.h"

#include "game/Prizes.h"

#include <QJsonArray>
#include <algorithm>
#include <QJsonDocument>
#include <QJsonObject>

namespace bolaris {

QString LiveDraw::prizeName(const QString &scanPrize) { return prizes::shownName(scanPrize); }

void LiveDraw::update(const DisplayBoard &board, DrawMode mode, const QList<TicketRef> &winners,
                      const QStringList &prizes)
{
    const bool started = mode != DrawMode::Idle && (m_mode == DrawMode::Idle || (board.count == 0 && board.last == 0 &&
                                                                                   m_board.last != 0));
    if (started || mode == DrawMode::Idle) {
        if (started)
            ++m_draw;
        m_balls.clear();
        m_winners.clear();
    }
    if (board.draw > 0)
        m_draw = board.draw; // the draw log's number, as the minutes and the tool name it
    m_mode = mode;
    // Balls in the order they came out: a new ball goes to the end, a ball
    // taken back leaves the list, and so do the prizes it had won.
    for (int n = 1; n <= DrawState::kBalls; ++n) {
        if (!board.drawn[size_t(n)])
            m_balls.removeOne(n);
    }
    if (board.last > 0 && board.drawn[size_t(board.last)] && !m_balls.contains(board.last))
        m_balls.append(board.last);
    for (int n = 1; n <= DrawState::kBalls; ++n) // any other drawn ball (none in practice)
        if (board.drawn[size_t(n)] && !m_balls.contains(n))
            m_balls.append(n);
    m_winners.removeIf([&](const Winner &w) { return !m_balls.contains(w.ball); });
    m_board = board;

    // A prize is listed once, at the ball that first won it.
    for (qsizetype i = 0; i < winners.size() && board.last > 0; ++i) {
        Winner w{prizeName(prizes.value(i)), winners[i].card, winners[i].series, winners[i].ticket, board.last};
        const bool known = std::any_of(m_winners.cbegin(), m_winners.cend(), [&](const Winner &k) {
            return k.prize == w.prize && k.card == w.card && k.series == w.series && k.ticket == w.ticket;
        });
        if (!known)
            m_winners.append(w);
    }
}

QByteArray LiveDraw::json() const
{
    QJsonArray balls;
    for (int n : m_balls)
        balls.append(n);
    QJsonArray prizes;
    for (const QString &p : m_board.prizesInPlay())
        prizes.append(p);
    QJsonArray winners;
    for (const Winner &w : m_winners)
        winners.append(QJsonObject{{QStringLiteral("premio"), w.prize},
                                   {QStringLiteral("cartela"), w.card},
                                   {QStringLiteral("serie"), QString(w.series)},
                                   {QStringLiteral("cartao"), w.ticket},
                                   {QStringLiteral("pedra"), w.ball}});
    QJsonObject state{{QStringLiteral("sorteio"), m_draw},
                      {QStringLiteral("emAndamento"), m_mode != DrawMode::Idle},
                      {QStringLiteral("pedras"), balls},
                      {QStringLiteral("ultima"), m_board.last > 0 ? QJsonValue(m_board.last) : QJsonValue()},
                      {QStringLiteral("ultimaRetirada"), m_board.last > 0 && m_board.lastTakenBack},
                      {QStringLiteral("sorteadas"), m_board.count},
                      {QStringLiteral("premios"), prizes},
                      {QStringLiteral("vencedores"), winners}};
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

} // namespace bolaris
