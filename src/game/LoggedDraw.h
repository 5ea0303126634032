#pragma once

#include "CompetingSet.h"
#include "DrawLog.h"
#include "GameStep.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace bolaris {

// One draw of the draw log as it was written: how it ran, what competed and
// each ball event with what it announced.
struct LoggedDraw {
    struct Ball {
        int ball = 0;
        bool drawn = true;
        PrizeSwitches switches; // as they stood at the ball
        QString time;
        // What the ball's scan announced: in one row, or (logs of earlier
        // versions) as lines and winners.
        std::optional<Announcement> compact;
        DrawLogAnnouncements::Announced written;
        DrawLogAnnouncements::Announced announced() const
        {
            return compact ? DrawLogAnnouncements::Announced{compact->memoLines(), compact->winnerTexts()} : written;
        }
        bool announcedNothing() const { return compact ? compact->isEmpty() : written.lines.isEmpty() && written.winners.isEmpty(); }
        // Whether a scan's report announces the same.
        bool sameAs(const ScanReport &report) const;
    };
    int number = 0;
    DrawMode mode = DrawMode::Manual;
    QString start;        // yyyy-MM-dd HH:mm:ss.zzz
    QString end;          // empty while it has no end
    bool interrupted = false; // its last end was a break (a crash, a power cut, the program closed)
    bool declined = false;    // ... and it was not resumed
    QStringList breaks;   // the time of each break the draw was resumed after
    QStringList resumed;  // the time of each resumption
    // What competed; none in a log written before the set was kept with the draw.
    std::optional<CompetingSet> competing;
    std::vector<Ball> balls;
    QByteArray seal;      // of its last row; empty when it is not sealed
    bool damaged = false; // an announcement repeats what the one before never had

    int drawnCount() const;

    // Throws DatasetError when the log cannot be read; nothing when the draw is not in it.
    static std::optional<LoggedDraw> read(const QString &dir, int number);
    // The last draw of the log, 0 when there is none.
    static int lastDraw(const QString &dir);
    // The draws that started on a day (yyyy-MM-dd), in order.
    static QList<int> startedOn(const QString &dir, const QString &date);

    // Plays the draw's ball events again through a game step, with the prize
    // switches each had, against competing (the draw's own set when it has
    // one). after(i, result) follows each ball event. Returns the index of the
    // first ball event the draw cannot have had (the log is not a draw's own),
    // or -1 when every one could be played.
    int play(GameStep &game, DrawState &draw, const CompetingSet &competing,
             const std::function<void(size_t, const GameStep::Result &)> &after) const;
};

} // namespace bolaris
