#include "DrawMinutes.h"

#include "LoggedDraw.h"

namespace bolaris {

int DrawMinutes::drawnCount() const { return balls.empty() ? 0 : balls.back().order; }

DrawMinutes DrawMinutes::replay(const LoggedDraw &logged, GameStep &game, const CompetingSet &today)
{
    DrawMinutes m;
    m.number = logged.number;
    m.mode = logged.mode;
    m.start = logged.start;
    m.end = logged.end;
    m.interrupted = logged.interrupted;
    m.declined = logged.declined;
    m.breaks = logged.breaks;
    m.resumed = logged.resumed;
    m.competingLogged = logged.competing.has_value();
    m.competing = logged.competing ? *logged.competing : today;
    m.seal = logged.seal;
    m.damaged = logged.damaged;
    int order = 0;
    m.balls.reserve(logged.balls.size());
    for (const LoggedDraw::Ball &b : logged.balls) {
        order += b.drawn ? 1 : -1;
        m.balls.push_back({b.ball, b.drawn, order});
    }
    DrawState state;
    m.impossible = logged.play(game, state, today, [&](size_t i, const GameStep::Result &result) {
        // A draw whose announcements cannot be rebuilt is not compared.
        if (!logged.damaged && !logged.balls[i].sameAs(result.report))
            ++m.differing;
    });
    m.prizes = game.prizes();
    return m;
}

} // namespace bolaris
