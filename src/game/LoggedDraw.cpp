#include "LoggedDraw.h"

#include "DrawState.h"

#include <QMap>

namespace bolaris {

bool LoggedDraw::Ball::sameAs(const ScanReport &report) const
{
    if (!report.scanned)
        return announcedNothing();
    if (compact)
        return Announcement::of(report) == *compact;
    DrawLogAnnouncements::Announced now{report.memoLines(), {}};
    for (qsizetype i = 0; i < report.winners.size(); ++i)
        now.winners << Announcement::winnerText(report.prizes.value(i), report.winners[i]);
    return now == written;
}

int LoggedDraw::drawnCount() const
{
    int count = 0;
    for (const Ball &b : balls)
        count += b.drawn ? 1 : -1;
    return count;
}

std::optional<LoggedDraw> LoggedDraw::read(const QString &dir, int number)
{
    LoggedDraw d;
    bool found = false;
    DrawLogAnnouncements announcements;
    bool announcing = false;
    const auto announced = [&] {
        if (announcing && !d.balls.empty()) {
            if (const Announcement *a = announcements.compact())
                d.balls.back().compact = *a;
            else
                d.balls.back().written = announcements.current();
        }
        announcing = false;
    };
    DrawLogWriter::forEach(dir, [&](const DrawLogWriter::Entry &e) {
        if (e.draw != number)
            return;
        found = true;
        d.seal = e.seal;
        if (announcements.take(e)) {
            announcing = true;
            return;
        }
        announced();
        if (e.kind == QLatin1String("inicio")) {
            d.mode = e.mode == QLatin1String("eletronico") ? DrawMode::Electronic : DrawMode::Manual;
            d.start = e.time;
            d.competing = CompetingSet::fromBytes(e.data);
        } else if (e.kind == QLatin1String("pedra") || e.kind == QLatin1String("retirada")) {
            d.balls.push_back({e.ball, e.kind == QLatin1String("pedra"), e.switches, e.time, {}, {}});
        } else if (e.kind == QLatin1String("retomada")) {
            d.breaks << d.end;
            d.resumed << e.time;
            d.end.clear();
            d.interrupted = d.declined = false;
        } else if (e.kind == QLatin1String("fim")) {
            d.end = e.time;
            d.interrupted = e.interruptedEnd();
            d.declined = e.text == QString::fromUtf8(DrawLogWriter::kDeclined);
        }
    }, number);
    announced();
    if (!found)
        return std::nullopt;
    d.number = number;
    d.damaged = announcements.broken();
    return d;
}

int LoggedDraw::lastDraw(const QString &dir)
{
    int last = 0;
    DrawLogWriter::forEach(dir, [&last](const DrawLogWriter::Entry &e) { last = std::max(last, e.draw); });
    return last;
}

QList<int> LoggedDraw::startedOn(const QString &dir, const QString &date)
{
    QMap<int, bool> draws;
    DrawLogWriter::forEach(dir, [&](const DrawLogWriter::Entry &e) {
        if (e.kind == QLatin1String("inicio") && e.time.startsWith(date))
            draws.insert(e.draw, true);
    });
    return draws.keys();
}

int LoggedDraw::play(GameStep &game, DrawState &draw, const CompetingSet &competing,
                     const std::function<void(size_t, const GameStep::Result &)> &after) const
{
    game.newDraw(this->competing ? *this->competing : competing);
    draw.start(mode);
    for (size_t i = 0; i < balls.size(); ++i) {
        if (!draw.replay(balls[i].ball, balls[i].drawn))
            return int(i);
        game.setSwitches(balls[i].switches); // as they stood at this ball
        const GameStep::Result result = game.step(draw);
        if (after)
            after(i, result);
    }
    return -1;
}

} // namespace bolaris
