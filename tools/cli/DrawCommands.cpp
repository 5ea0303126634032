#include "CliCommands.h"

#include "cards/CardStore.h"
#include "dataset/DatasetError.h"
#include "dataset/StrictInt.h"
#include "game/DrawLog.h"
#include "game/DrawState.h"
#include "game/GameStep.h"
#include "validation/ValidationRegistry.h"

#include <QSet>

#include <functional>
#include <map>
#include <memory>

namespace bolaris::cli {

namespace {

// The card store and the registry of a folder, read without changing anything.
struct Hall {
    CardStore store;
    std::unique_ptr<ValidationRegistry> registry;
    std::unique_ptr<GameStep> game;

    bool open(const QString &dir, Streams io, const RegistryLocation &location)
    {
        const CardStore::FillResult filled = store.FillCardStore(dir);
        if (!filled.error.isEmpty()) {
            io.err << "bolaris-cli: " << filled.error << Qt::endl;
            return false;
        }
        // Read only: the program may have this registry open.
        registry = std::make_unique<ValidationRegistry>(dir, location);
        registry->setFollowing(false);
        const ValidationRegistry::Opened opened = registry->open(true);
        if (opened.access != ValidationRegistry::Access::ReadOnly &&
            !(location.isServer() && opened.access == ValidationRegistry::Access::Writable)) {
            io.err << "bolaris-cli: " << opened.english << Qt::endl;
            return false;
        }
        game = std::make_unique<GameStep>(store.table(), registry->TableVali(), registry->TableValiC());
        return true;
    }
};

QString modeName(const QString &mode)
{
    return mode == QLatin1String("eletronico") ? QStringLiteral("electronic") : QStringLiteral("manual");
}

QString switchNames(const PrizeSwitches &s)
{
    QStringList names;
    if (s.cantos)
        names << QStringLiteral("cantos");
    if (s.linha)
        names << QStringLiteral("linha");
    if (s.twoRows)
        names << QStringLiteral("2linhas");
    return names.isEmpty() ? QStringLiteral("full ticket only") : names.join(QLatin1Char(' '));
}

QString winnerText(const QString &prize, const TicketRef &t)
{
    return QStringLiteral("%1 card %2 series %3 ticket %4").arg(prize).arg(t.card).arg(t.series).arg(t.ticket);
}

// What one ball event announced: the text box's lines and the winners.
struct Announced {
    QStringList lines;
    QStringList winners;
    bool operator==(const Announced &) const = default;
};

Announced announcedBy(const ScanReport &report)
{
    Announced a;
    if (!report.scanned)
        return a;
    a.lines = report.memoLines();
    for (qsizetype i = 0; i < report.winners.size(); ++i)
        a.winners << winnerText(report.prizes.value(i), report.winners[i]);
    return a;
}

// Streams the draw log of a folder through visit; false after saying why it
// cannot be read.
bool readLog(const QString &dir, Streams io, const std::function<void(const DrawLog::Entry &)> &visit)
{
    try {
        DrawLogWriter::forEach(dir, visit);
        return true;
    } catch (const DatasetError &e) {
        io.err << "bolaris-cli: " << e.message() << Qt::endl;
        return false;
    }
}

int replayLogged(int number, const QString &dir, const RegistryLocation &location, Streams io)
{
    // The draw's ball events, each with what it announced.
    struct Event {
        int ball = 0;
        bool drawn = true;
        PrizeSwitches switches;
        Announced announced;
    };
    std::vector<Event> events;
    bool found = false;
    DrawLogAnnouncements announcements;
    bool announcing = false;
    const auto announced = [&] {
        if (announcing && !events.empty())
            events.back().announced = {announcements.current().lines, announcements.current().winners};
        announcing = false;
    };
    const bool read = readLog(dir, io, [&](const DrawLog::Entry &e) {
        if (e.draw != number)
            return;
        found = true;
        if (announcements.take(e)) {
            announcing = true;
            return;
        }
        announced();
        if (e.kind == QLatin1String("pedra") || e.kind == QLatin1String("retirada"))
            events.push_back({e.ball, e.kind == QLatin1String("pedra"), e.switches, {}});
    });
    if (!read)
        return 1;
    announced();
    if (announcements.broken()) {
        io.err << "bolaris-cli: the draw log of " << dir << " repeats lines draw " << number
               << " never announced: it is damaged" << Qt::endl;
        return 1;
    }
    if (!found) {
        io.err << "bolaris-cli: draw " << number << " is not in the draw log of " << dir << Qt::endl;
        return 1;
    }
    Hall hall;
    if (!hall.open(dir, io, location))
        return 1;
    DrawState draw;
    draw.start(DrawMode::Manual);
    int differing = 0;
    for (size_t i = 0; i < events.size(); ++i) {
        const Event &e = events[i];
        if (draw.drawn(e.ball) == e.drawn) {
            io.out << "event " << i + 1 << ": ball " << e.ball << " cannot be " << (e.drawn ? "drawn" : "taken back")
                   << " again; the log is not a draw's own" << Qt::endl;
            ++differing;
            continue;
        }
        draw.clickManual(e.ball);
        hall.game->setSwitches(e.switches); // as they stood at this ball
        const Announced now = announcedBy(hall.game->step(draw).report);
        if (now == e.announced)
            continue;
        ++differing;
        io.out << "ball " << e.ball << (e.drawn ? "" : " (taken back)") << ": the log says\n";
        for (const QString &line : e.announced.lines + e.announced.winners)
            io.out << "  " << line << '\n';
        io.out << "now it is\n";
        for (const QString &line : now.lines + now.winners)
            io.out << "  " << line << '\n';
    }
    if (differing) {
        io.out << differing << " of " << events.size()
               << " ball events of draw " << number << " do not announce what the log says" << Qt::endl;
        return 1;
    }
    io.out << "draw " << number << ": every announcement of its " << events.size()
           << " ball events matches the log" << Qt::endl;
    return 0;
}

} // namespace

int drawLog(const QStringList &args, Streams io)
{
    Options options;
    if (!options.parse(args, {QStringLiteral("--draw"), QStringLiteral("--dir")}, {}, &io.err) ||
        !options.positional.isEmpty())
        return 2;
    std::optional<int> only;
    if (options.has(QStringLiteral("--draw"))) {
        only = parseStrictInt(options.value(QStringLiteral("--draw")).trimmed());
        if (!only || *only < 1) {
            io.err << "bolaris-cli: --draw: '" << options.value(QStringLiteral("--draw")).left(20)
                   << "' is not a draw number" << Qt::endl;
            return 2;
        }
    }
    const std::optional<QString> dir = options.workingFolder(io);
    if (!dir)
        return 2;
    if (only) {
        bool found = false;
        const bool read = readLog(*dir, io, [&](const DrawLog::Entry &e) {
            if (e.draw != *only)
                return;
            found = true;
            if (e.kind == QLatin1String("inicio"))
                io.out << e.time << "  draw " << e.draw << " starts, " << modeName(e.mode) << '\n';
            else if (e.kind == QLatin1String("pedra") || e.kind == QLatin1String("retirada"))
                io.out << e.time << "  ball " << e.ball << (e.kind == QLatin1String("pedra") ? " drawn" : " taken back")
                       << " (" << switchNames(e.switches) << ")\n";
            else if (e.kind == QLatin1String("texto"))
                io.out << "    " << e.text << '\n';
            else if (e.kind == QLatin1String("vencedor"))
                io.out << "    winner: " << winnerText(e.prize, e.ticket) << '\n';
            else if (e.kind == QLatin1String("repete"))
                io.out << "    (again " << e.count << (e.prize == QLatin1String("texto") ? " lines" : " winners")
                       << " of the announcement before, from its " << e.from + 1 << ")\n";
            else if (e.kind == QLatin1String("fim"))
                io.out << e.time << "  draw " << e.draw
                       << (e.text == QLatin1String(DrawLogWriter::kInterrupted) ? " interrupted (its last event)" : " ends")
                       << '\n';
        });
        if (!read)
            return 1;
        if (!found) {
            io.err << "bolaris-cli: draw " << *only << " is not in the draw log of " << *dir << Qt::endl;
            return 1;
        }
        io.out.flush();
        return 0;
    }

    // One block per draw: number, start, end, mode, balls, prizes.
    struct Summary {
        QString start, end, mode;
        bool interrupted = false;
        QStringList balls;
        QStringList prizes;
        QSet<QString> announced; // winners listed: a full ticket is announced again at later balls
        int drawn = 0;
    };
    std::map<int, Summary> draws;
    const bool read = readLog(*dir, io, [&](const DrawLog::Entry &e) {
        Summary &d = draws[e.draw];
        if (e.kind == QLatin1String("inicio")) {
            d.start = e.time;
            d.mode = modeName(e.mode);
        } else if (e.kind == QLatin1String("pedra")) {
            d.balls << QString::number(e.ball);
            ++d.drawn;
        } else if (e.kind == QLatin1String("retirada")) {
            d.balls << QLatin1Char('-') + QString::number(e.ball);
            --d.drawn;
        } else if (e.kind == QLatin1String("vencedor")) {
            const QString winner = winnerText(e.prize, e.ticket);
            if (!d.announced.contains(winner)) {
                d.announced.insert(winner);
                d.prizes << winner + QStringLiteral(" at ball ") + d.balls.value(d.balls.size() - 1);
            }
        } else if (e.kind == QLatin1String("fim")) {
            d.end = e.time;
            d.interrupted = e.text == QLatin1String(DrawLogWriter::kInterrupted);
        }
    });
    if (!read)
        return 1;
    if (draws.empty())
        io.out << "no draw in the log" << '\n';
    for (const auto &[number, d] : draws) {
        io.out << "draw " << number << "  " << (d.start.isEmpty() ? QStringLiteral("?") : d.start) << " .. "
               << (d.end.isEmpty() ? QStringLiteral("(not ended)") : d.end)
               << (d.interrupted ? QStringLiteral(" (interrupted)") : QString()) << "  " << d.mode << "  " << d.drawn
               << " balls\n";
        io.out << "  balls: " << (d.balls.isEmpty() ? QStringLiteral("none") : d.balls.join(QLatin1Char(' '))) << '\n';
        io.out << "  prizes: " << (d.prizes.isEmpty() ? QStringLiteral("none") : d.prizes.join(QStringLiteral("; ")))
               << '\n';
    }
    io.out.flush();
    return 0;
}

int replay(const QStringList &args, Streams io)
{
    Options options;
    if (!options.parse(args,
                       {QStringLiteral("--balls"), QStringLiteral("--draw"), QStringLiteral("--dir"),
                        QStringLiteral("--registry")},
                       {QStringLiteral("--cantos"), QStringLiteral("--linha"), QStringLiteral("--2linhas")}, &io.err) ||
        !options.positional.isEmpty() || options.has(QStringLiteral("--balls")) == options.has(QStringLiteral("--draw")))
        return 2;
    if (options.has(QStringLiteral("--draw"))) {
        const std::optional<int> number = parseStrictInt(options.value(QStringLiteral("--draw")).trimmed());
        if (!number || *number < 1) {
            io.err << "bolaris-cli: --draw: '" << options.value(QStringLiteral("--draw")).left(20)
                   << "' is not a draw number" << Qt::endl;
            return 2;
        }
        if (options.has(QStringLiteral("--cantos")) || options.has(QStringLiteral("--linha")) ||
            options.has(QStringLiteral("--2linhas"))) {
            io.err << "bolaris-cli: --draw replays the draw with its own prize switches" << Qt::endl;
            return 2;
        }
        const std::optional<QString> dir = options.workingFolder(io);
        if (!dir)
            return 2;
        const std::optional<RegistryLocation> location = options.registry(*dir, io);
        if (!location)
            return 2;
        return replayLogged(*number, *dir, *location, io);
    }
    QList<int> balls;
    if (options.value(QStringLiteral("--balls")).trimmed().isEmpty()) {
        io.err << "bolaris-cli: --balls: the list of balls is empty" << Qt::endl;
        return 2;
    }
    for (const QString &item : options.value(QStringLiteral("--balls")).split(QLatin1Char(','))) {
        const std::optional<int> ball = parseStrictInt(item.trimmed());
        if (!ball || *ball < 1 || *ball > DrawState::kBalls) {
            io.err << "bolaris-cli: --balls: '" << item.left(20) << "' is not a ball number from 1 to 90"
                   << Qt::endl;
            return 2;
        }
        balls << *ball;
    }
    const std::optional<QString> dir = options.workingFolder(io);
    if (!dir)
        return 2;

    const std::optional<RegistryLocation> location = options.registry(*dir, io);
    if (!location)
        return 2;
    Hall hall;
    if (!hall.open(*dir, io, *location))
        return 1;
    DrawState draw;
    draw.start(DrawMode::Manual);
    hall.game->setSwitches({options.has(QStringLiteral("--cantos")), options.has(QStringLiteral("--linha")),
                            options.has(QStringLiteral("--2linhas"))});
    for (int ball : balls) {
        draw.clickManual(ball); // a ball already drawn is taken back
        const GameStep::Result result = hall.game->step(draw);
        io.out << "ball " << ball << '\n';
        for (const QString &line : result.report.memoLines())
            io.out << line << '\n';
        if (!result.missingToTell.isEmpty())
            io.err << "bolaris-cli: validated cards not in the card store, not checked: "
                   << result.missingToTell.join(QStringLiteral(", ")) << Qt::endl;
    }
    io.out.flush();
    return 0;
}

} // namespace bolaris::cli
