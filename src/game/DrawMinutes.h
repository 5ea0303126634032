#pragma once

#include "CompetingSet.h"
#include "DrawState.h"
#include "GameStep.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace bolaris {

struct LoggedDraw;

// What the minutes of a draw ("Ata do sorteio") say of it: how it ran, what
// competed, its balls in order and every prize with its ball and winners as
// a replay of the draw through the game step gives them, checked against
// what the draw announced, and its seal.
struct DrawMinutes {
    struct Ball {
        int ball = 0;
        bool drawn = true; // false: a manual click took it back
        int order = 0;     // balls drawn after this event: a drawn ball's place in the draw
    };
    int number = 0;
    DrawMode mode = DrawMode::Manual;
    QString start;         // yyyy-MM-dd HH:mm:ss.zzz, as logged
    QString end;           // empty while the draw has no end
    bool interrupted = false;
    bool declined = false;
    QStringList breaks;    // when each break happened (the draw's last event before it)
    QStringList resumed;   // when the draw was resumed after each
    CompetingSet competing;
    bool competingLogged = true; // false: an older log without it, replayed against today's registry
    std::vector<Ball> balls;
    QList<PrizeWon> prizes; // in the order won
    QByteArray seal;        // empty for a draw logged before rows were sealed
    // How the replay agreed with the log: ball events whose announcement it
    // does not repeat, and the first event it could not play at all (-1: none).
    int differing = 0;
    int impossible = -1;
    bool damaged = false;   // the log's announcements cannot be rebuilt

    int drawnCount() const;

    // Replays a logged draw through game, against its own competing set, or
    // today's for a draw logged before the set was kept with it.
    static DrawMinutes replay(const LoggedDraw &draw, GameStep &game, const CompetingSet &today);
};

} // namespace bolaris
