#include "CliCommands.h"

#include "Hall.h"

#include "cards/CardStore.h"
#include "dataset/DatasetError.h"
#include "dataset/StrictInt.h"
#include "game/DrawLog.h"
#include "game/DrawState.h"
#include "game/GameStep.h"
#include "game/LoggedDraw.h"
#include "game/Prizes.h"
#include "validation/ValidationRegistry.h"

#include <QSet>

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <memory>
#include <string_view>

namespace bolaris::cli {

namespace {

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

QString winnerText(const QString &prize, const TicketRef &t) { return DrawLogAnnouncements::winnerText(prize, t); }

// A prize's name as bytes (index as in prizes::kNames).
const QByteArray &prizeName(int index)
{
    static const QByteArray names[4] = {prizes::kNames[0].toLatin1(), prizes::kNames[1].toLatin1(),
                                        prizes::kNames[2].toLatin1(), prizes::kNames[3].toLatin1()};
    return names[index];
}

// UTF-8 text written after what the stream holds: straight to its device
// when it has one.
void writeBytes(QTextStream &out, const QByteArray &utf8)
{
    if (QIODevice *device = out.device()) {
        out.flush();
        device->write(utf8);
    } else {
        out << QString::fromUtf8(utf8);
    }
}

QString competingText(const CompetingSet &set)
{
    return QStringLiteral("%1 cards, %2 returned tickets, %3 tickets compete")
        .arg(set.cardCount())
        .arg(set.returnedCount())
        .arg(set.competingTickets());
}

int verifyLog(const QString &dir, Streams io)
{
    DrawLogWriter::Check check;
    try {
        check = DrawLogWriter::verify(dir);
    } catch (const DatasetError &e) {
        io.err << "bolaris-cli: " << e.message() << Qt::endl;
        return 1;
    }
    if (check.intact) {
        io.out << "the draw log is intact: " << check.sealedRows << " sealed rows";
        if (check.unsealedRows)
            io.out << ", " << check.unsealedRows << " rows written before rows were sealed (unsealed)";
        io.out << Qt::endl;
        return 0;
    }
    const char *what = check.fault == DrawLogWriter::Check::Fault::Removed    ? "removed"
                       : check.fault == DrawLogWriter::Check::Fault::Inserted ? "inserted"
                                                                              : "changed";
    io.out << "the draw log was changed: draw " << check.draw << ", event " << check.event << " was " << what
           << " after it was written" << Qt::endl;
    return 1;
}

using Announced = DrawLogAnnouncements::Announced;

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
bool readLog(const QString &dir, Streams io, const std::function<void(const DrawLog::Entry &)> &visit,
             std::optional<int> draw = {})
{
    try {
        DrawLogWriter::forEach(dir, visit, draw);
        return true;
    } catch (const DatasetError &e) {
        io.err << "bolaris-cli: " << e.message() << Qt::endl;
        return false;
    }
}

int replayLogged(int number, const QString &dir, const RegistryLocation &location, Streams io)
{
    const std::optional<LoggedDraw> logged = readLoggedDraw(dir, number, io);
    if (!logged)
        return 1;
    Hall hall;
    if (!hall.open(dir, io, location, !logged->competing))
        return 1;
    if (!logged->competing)
        io.out << "draw " << number << " was logged before the competing set was kept with each draw: it is "
               << "checked against today's registry" << Qt::endl;
    DrawState draw;
    int differing = 0;
    const int impossible = logged->play(*hall.game, draw, hall.today(), [&](size_t i, const GameStep::Result &result) {
        const LoggedDraw::Ball &e = logged->balls[i];
        if (e.sameAs(result.report))
            return;
        ++differing;
        const Announced now = announcedBy(result.report), then = e.announced();
        io.out << "ball " << e.ball << (e.drawn ? "" : " (taken back)") << ": the log says\n";
        for (const QString &line : then.lines + then.winners)
            io.out << "  " << line << '\n';
        io.out << "now it is\n";
        for (const QString &line : now.lines + now.winners)
            io.out << "  " << line << '\n';
    });
    if (impossible >= 0) {
        const LoggedDraw::Ball &e = logged->balls[size_t(impossible)];
        io.out << "event " << impossible + 1 << ": ball " << e.ball << " cannot be "
               << (e.drawn ? "drawn" : "taken back") << " again; the log is not a draw's own" << Qt::endl;
        ++differing;
    }
    if (differing) {
        io.out << differing << " of " << logged->balls.size() << " ball events of draw " << number
               << " do not announce what the log says" << Qt::endl;
        return 1;
    }
    io.out << "draw " << number << ": every announcement of its " << logged->balls.size()
           << " ball events matches the log" << Qt::endl;
    return 0;
}

} // namespace

int drawLog(const QStringList &args, Streams io)
{
    Options options;
    if (!options.parse(args, {QStringLiteral("--draw"), QStringLiteral("--dir")}, {QStringLiteral("--verify")}, &io.err) ||
        !options.positional.isEmpty() || (options.has(QStringLiteral("--verify")) && options.has(QStringLiteral("--draw"))))
        return 2;
    std::optional<int> only;
    if (options.has(QStringLiteral("--draw")) && !(only = options.drawNumber(io)))
        return 2;
    const std::optional<QString> dir = options.workingFolder(io);
    if (!dir)
        return 2;
    if (options.has(QStringLiteral("--verify")))
        return verifyLog(*dir, io);
    if (only) {
        bool found = false;
        DrawLogAnnouncements announcements;
        const bool read = readLog(*dir, io, [&](const DrawLog::Entry &e) {
            if (e.draw != *only)
                return;
            found = true;
            if (announcements.take(e)) {
                if (e.kind == QLatin1String("anuncio")) {
                    for (const QString &line : announcements.current().lines)
                        io.out << "    " << line << '\n';
                    for (const QString &winner : announcements.current().winners)
                        io.out << "    winner: " << winner << '\n';
                }
            }
            if (e.kind == QLatin1String("inicio")) {
                io.out << e.time << "  draw " << e.draw << " starts, " << modeName(e.mode);
                if (const std::optional<CompetingSet> set = CompetingSet::fromBytes(e.data))
                    io.out << "; " << competingText(*set);
                io.out << '\n';
            } else if (e.kind == QLatin1String("pedra") || e.kind == QLatin1String("retirada")) {
                io.out << e.time << "  ball " << e.ball << (e.kind == QLatin1String("pedra") ? " drawn" : " taken back")
                       << " (" << switchNames(e.switches) << ")\n";
            } else if (e.kind == QLatin1String("texto")) {
                io.out << "    " << e.text << '\n';
            } else if (e.kind == QLatin1String("vencedor")) {
                io.out << "    winner: " << winnerText(e.prize, e.ticket) << '\n';
            } else if (e.kind == QLatin1String("repete")) {
                io.out << "    (again " << e.count << (e.prize == QLatin1String("texto") ? " lines" : " winners")
                       << " of the announcement before, from its " << e.from + 1 << ")\n";
            } else if (e.kind == QLatin1String("retomada")) {
                io.out << e.time << "  draw " << e.draw << " resumed\n";
            } else if (e.kind == QLatin1String("fim")) {
                io.out << e.time << "  draw " << e.draw;
                if (e.text == QString::fromUtf8(DrawLogWriter::kDeclined))
                    io.out << " interrupted, not resumed";
                else if (e.interruptedEnd())
                    io.out << " interrupted (its last event)";
                else
                    io.out << " ends";
                io.out << '\n';
            }
        }, only);
        if (!read)
            return 1;
        if (!found) {
            io.err << "bolaris-cli: draw " << *only << " is not in the draw log of " << *dir << Qt::endl;
            return 1;
        }
        io.out.flush();
        return 0;
    }

    // One block per draw: number, start, end, mode, balls, prizes. The
    // database counts each draw's rows; the block is printed at the draw's
    // last row and let go: however long the log, one draw is held at a time.
    std::map<int, qint64> rowsLeft;
    try {
        rowsLeft = DrawLogWriter::rowsPerDraw(*dir);
    } catch (const DatasetError &e) {
        io.err << "bolaris-cli: " << e.message() << Qt::endl;
        return 1;
    }
    if (rowsLeft.empty())
        io.out << "no draw in the log" << '\n';
    struct Prize {
        quint32 key = 0; // of an announcement kept as numbers
        QString text;    // of an earlier version's winner row
        int ball = 0;
    };
    struct Summary {
        QString start, end, mode;
        bool interrupted = false;
        int resumed = 0;
        QString competing;
        QStringList balls;
        int drawn = 0;
        int lastBall = 0;
        std::vector<Prize> prizes;      // each prize once, at the ball that first announced it
        std::vector<bool> seen;         // by key
        QSet<QString> seenText;
        DrawLogAnnouncements announcements;
    };
    std::map<int, Summary> draws;
    const auto print = [&io](int number, const Summary &d) {
        io.out << "draw " << number << "  " << (d.start.isEmpty() ? QStringLiteral("?") : d.start) << " .. "
               << (d.end.isEmpty() ? QStringLiteral("(not ended)") : d.end)
               << (d.interrupted ? QStringLiteral(" (interrupted)") : QString())
               << (d.resumed ? QStringLiteral(" (resumed %1 time(s))").arg(d.resumed) : QString()) << "  " << d.mode
               << "  " << d.drawn << " balls\n";
        if (!d.competing.isEmpty())
            io.out << "  competing: " << d.competing << '\n';
        io.out << "  balls: " << (d.balls.isEmpty() ? QStringLiteral("none") : d.balls.join(QLatin1Char(' '))) << '\n';
        // A full draw has a prize for every ticket that competed: the line is
        // put together as bytes and written at once.
        QByteArray line;
        qsizetype room = 16;
        for (const Prize &p : d.prizes)
            room += 80 + (p.text.isEmpty() ? 0 : 3 * p.text.size());
        line.resize(room);
        char *at = line.data();
        const auto put = [&at](std::string_view text) { at = std::copy(text.begin(), text.end(), at); };
        const auto putNumber = [&at](int n) { at = std::to_chars(at, at + 12, n).ptr; };
        put("  prizes: ");
        if (d.prizes.empty())
            put("none");
        for (size_t i = 0; i < d.prizes.size(); ++i) {
            const Prize &p = d.prizes[i];
            if (i)
                put("; ");
            if (p.text.isEmpty()) {
                const int ticket = int(p.key / 4 % (kTicketsPerSeries + 1));
                const QByteArray &name = prizeName(int(p.key % 4));
                put({name.constData(), size_t(name.size())});
                put(" card ");
                putNumber(CardOfTicket(ticket));
                put(" series ");
                *at++ = char('A' + p.key / 4 / (kTicketsPerSeries + 1));
                put(" ticket ");
                putNumber(ticket);
            } else {
                const QByteArray text = p.text.toUtf8();
                put({text.constData(), size_t(text.size())});
            }
            put(" at ball ");
            putNumber(p.ball);
        }
        *at++ = '\n';
        line.truncate(at - line.constData());
        writeBytes(io.out, line);
    };
    QByteArray lastSet;
    QString lastSetText;
    const bool read = readLog(*dir, io, [&](const DrawLog::Entry &e) {
        Summary &d = draws[e.draw];
        if (d.announcements.take(e)) {
            if (d.announcements.compact()) {
                if (d.seen.empty())
                    d.seen.assign(size_t(kSeriesCount) * (kTicketsPerSeries + 1) * 4, false);
                // What an announcement repeats of the one before was seen there.
                for (const quint32 key : d.announcements.freshWinners())
                    if (key < d.seen.size() && !d.seen[key]) {
                        d.seen[key] = true;
                        d.prizes.push_back({key, {}, d.lastBall});
                    }
            } else if (e.kind == QLatin1String("vencedor")) {
                const QString winner = winnerText(e.prize, e.ticket);
                if (!d.seenText.contains(winner)) {
                    d.seenText.insert(winner);
                    d.prizes.push_back({0, winner, d.lastBall});
                }
            }
        } else if (e.kind == QLatin1String("inicio")) {
            d.start = e.time;
            d.mode = modeName(e.mode);
            // Draws of one evening mostly share their set: it is read once.
            if (e.data != lastSet) {
                const std::optional<CompetingSet> set = CompetingSet::fromBytes(e.data);
                lastSet = e.data;
                lastSetText = set ? competingText(*set) : QString();
            }
            d.competing = lastSetText;
        } else if (e.kind == QLatin1String("pedra")) {
            d.balls << QString::number(e.ball);
            d.lastBall = e.ball;
            ++d.drawn;
        } else if (e.kind == QLatin1String("retirada")) {
            d.balls << QLatin1Char('-') + QString::number(e.ball);
            d.lastBall = e.ball;
            --d.drawn;
        } else if (e.kind == QLatin1String("retomada")) {
            ++d.resumed;
            d.end.clear();
            d.interrupted = false;
        } else if (e.kind == QLatin1String("fim")) {
            d.end = e.time;
            d.interrupted = e.interruptedEnd();
        }
        const auto left = rowsLeft.find(e.draw);
        if (left != rowsLeft.end() && --left->second == 0) {
            print(e.draw, d);
            draws.erase(e.draw);
        }
    });
    if (!read)
        return 1;
    // Rows written after they were counted (the program is logging a draw
    // now): their draws are printed as far as they were read.
    for (const auto &[number, d] : draws)
        print(number, d);
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
        const std::optional<int> number = options.drawNumber(io);
        if (!number)
            return 2;
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
    hall.game->newDraw(hall.today());
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
