#pragma once

#include "game/DisplayBoard.h"
#include "game/DrawState.h"

#include <QByteArray>
#include <QList>

#include <QString>
#include <QStringList>

#include <unordered_set>

namespace bolaris {

// The draw as the hall's phones and TVs follow it, gathered from the changes
// the Draw panel tells: the number of the draw (the draw log's, else counted
// in this run), the balls in the
// order they came out (a ball taken back leaves the list), the last ball, the
// prizes in play and each prize with the ball that won it.
class LiveDraw {
public:
    struct Winner {
        QString prize; // "QUATRO CANTOS", "LINHA", "2 LINHAS", "CARTELA CHEIA"
        int card = 0;
        QChar series;
        int ticket = 0;
        int ball = 0; // the ball at which it was won
        bool operator==(const Winner &) const = default;
    };

    void update(const DisplayBoard &board, DrawMode mode, const QList<TicketRef> &winners, const QStringList &prizes);

    int draw() const { return m_draw; }
    const QList<int> &balls() const { return m_balls; }
    const QList<Winner> &winners() const { return m_winners; }
    int last() const { return m_board.last; }

    // {"sorteio", "emAndamento", "pedras", "ultima", "ultimaRetirada",
    //  "sorteadas", "premios", "vencedores": [{"premio", "cartela", "serie", "cartao", "pedra"}]}
    QByteArray json() const;

    // The displayed prize name of a scan's prize ("CANTOS" → "QUATRO CANTOS").
    static QString prizeName(const QString &scanPrize);

private:
    int m_draw = 0;
    DrawMode m_mode = DrawMode::Idle;
    DisplayBoard m_board;
    QList<int> m_balls;
    QList<Winner> m_winners;
    std::unordered_set<quint64> m_listed; // prize, series and ticket of each winner listed
};

} // namespace bolaris
