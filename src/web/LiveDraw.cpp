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
        m_listed.clear();
    }
    if (board.draw > 0)
        m_draw = board.draw; // the draw log's number, as the minutes and the tool name it
    m_mode = mode;
    // A prize is listed once for its ticket (two lines at one ball are one "LINHA").
    const auto key = [](const QString &prize, QChar series, int ticket) {
        return quint64(quint32(prizes::indexOf(prize) + 1)) << 48 | quint64(series.unicode()) << 32 | quint32(ticket);
    };
    const auto add = [&](const QString &scanPrize, const TicketRef &t, int ball) {
        if (m_listed.insert(key(scanPrize, t.series, t.ticket)).second)
            m_winners.append({prizeName(scanPrize), t.card, t.series, t.ticket, ball});
    };
    if (board.history && mode != DrawMode::Idle) {
        // The whole draw as the Draw panel knows it: right for a feed switched
        // on mid-draw or a resumed draw, and after any take-back.
        m_balls = board.history->order;
        m_winners.clear();
        m_listed.clear();
        m_listed.reserve(size_t(board.history->prizes.size()));
        for (const BoardPrize &p : board.history->prizes)
            add(p.prize, p.ticket, p.ball);
        m_board = board;
        return;
    }
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
    m_listed.clear();
    for (const Winner &w : m_winners)
        for (const QString &scanPrize : prizes::kNames)
            if (prizeName(scanPrize) == w.prize)
                m_listed.insert(key(scanPrize, w.series, w.ticket));
    m_board = board;

    // A prize is listed once, at the ball that first won it.
    for (qsizetype i = 0; i < winners.size() && board.last > 0; ++i)
        add(prizes.value(i), winners[i], board.last);
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
