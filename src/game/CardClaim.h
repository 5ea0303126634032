#pragma once

#include "CompetingSet.h"
#include "GameStep.h"

#include <QList>
#include <QString>

#include <array>

namespace bolaris {

class Dataset;
class DrawState;

// The draw a claim is settled in: what competes in it and the prizes won in
// it so far.
struct ClaimDraw {
    enum class When {
        Registry, // no draw yet in this run: the registry as it stands, no prizes
        Running,  // the draw going on
        Ended,    // the last draw, ended, until the next one starts
    };
    When when = When::Registry;
    CompetingSet competing;
    QList<PrizeWon> prizes;

    // The Draw panel's draw: its game step's set and prizes once a draw has
    // started in this run, else the registry.
    static ClaimDraw of(const GameStep &game, const DrawState &state, const Dataset &vali, const Dataset &valiC);
    // "Sorteio em andamento", "Último sorteio (encerrado)" or "Nenhum sorteio ainda: registro atual".
    QString caption() const;
};

// What a claim on one card shows: whether the card competes, which of its
// tickets came back and the prizes each ticket has won, with their balls.
struct CardClaim {
    struct Ticket {
        int number = 0;         // within the series
        bool returned = false;  // came back unsold: it does not compete
        QList<PrizeWon> prizes; // in the order won
        QStringList prizeTexts() const;
    };
    char series = 'A';
    int card = 0;
    bool competes = false; // the card is validated in the draw's set
    std::array<Ticket, 6> tickets;

    static CardClaim of(char series, int card, const CompetingSet &competing, const QList<PrizeWon> &prizes);

    // "VALIDADA — concorre" or "NÃO VALIDADA — não concorre".
    QString status() const;
    static QString returnedMark() { return QStringLiteral("DEVOLVIDO"); }
    // "LINHA na 23ª pedra (45)": the prize, the ball's place in the draw and its number.
    static QString prizeText(const PrizeWon &prize);
    // The prize as the hall calls it: "QUATRO CANTOS", "LINHA", "2 LINHAS", "CARTELA CHEIA".
    static QString prizeName(const QString &scanPrize);
};

} // namespace bolaris
