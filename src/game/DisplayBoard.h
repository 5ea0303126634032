#pragma once

#include "DrawState.h"
#include "WinnerScan.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace bolaris {

// A prize standing in the draw, as the players are told it.
struct BoardPrize {
    QString prize; // CANTOS, LINHA, 2 LINHAS or CARTAO
    TicketRef ticket;
    int ball = 0; // the ball whose event won it
    bool operator==(const BoardPrize &) const = default;
};

// What the Draw panel knows of the whole draw so far, for those who join
// late (a phone, the live feed switched on mid-draw, a resumed draw).
struct DrawHistory {
    QList<int> order;        // the drawn balls in the order they came out
    QList<BoardPrize> prizes; // every prize standing, in the order won
    bool operator==(const DrawHistory &) const = default;
};

// What the players' display shows of the draw: the balls drawn, the last
// ball, the count, the prizes still in play and the winners of the last scan.
struct DisplayBoard {
    std::array<bool, DrawState::kBalls + 1> drawn{}; // index 0 unused
    int count = 0;
    int last = 0;              // the ball of the last event, 0 before the first
    bool lastTakenBack = false;
    PrizeSwitches inPlay;      // the extra prizes still switched on; the full ticket is always in play
    QStringList banner;        // one line per prize of the last scan
    int draw = 0;              // the draw's number in the draw log, 0 while not known
    std::optional<DrawHistory> history; // set by the Draw panel

    // The board after a ball event; its banner is set apart (bannerOf).
    static DisplayBoard of(const DrawState &draw, int lastBall, bool takenBack, const PrizeSwitches &inPlay);
    // One banner line per prize of a scan.
    static QStringList bannerOf(const ScanReport &report);
    // The lines of a scan's banner that the scan before did not have: a prize
    // is shown at the ball that won it, not again at the balls after it.
    static QStringList newPrizes(const QStringList &banner, const QStringList &before);
    // "LINHA — Cartela 12 série A".
    static QString bannerLine(const QString &prize, const TicketRef &ticket);
    // The prizes in play, by name, in the order shown.
    QStringList prizesInPlay() const;

    bool operator==(const DisplayBoard &) const = default;
};

} // namespace bolaris
