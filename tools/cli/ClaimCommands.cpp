#include "CliCommands.h"

#include "Hall.h"
#include "dataset/AtomicFile.h"
#include "dataset/DatasetError.h"
#include "dataset/StrictInt.h"
#include "game/CardClaim.h"
#include "game/DrawState.h"
#include "game/MinutesReport.h"
#include "game/TicketView.h"
#include "report/ReportLayout.h"

#include <QDate>
#include <QRegularExpression>

namespace bolaris::cli {

namespace {

QString drawSummary(const LoggedDraw &d)
{
    QString course = d.start + QStringLiteral(" .. ");
    if (d.end.isEmpty())
        course += QStringLiteral("(not ended)");
    else
        course += d.end + (d.declined      ? QStringLiteral(" (interrupted, not resumed)")
                           : d.interrupted ? QStringLiteral(" (interrupted)")
                                           : QString());
    return QStringLiteral("draw %1, %2, %3, %4 balls")
        .arg(d.number)
        .arg(d.mode == DrawMode::Electronic ? QStringLiteral("electronic") : QStringLiteral("manual"), course)
        .arg(d.drawnCount());
}

// The three rows of a ticket: drawn numbers in brackets, empty places as "..".
void printTicket(QTextStream &out, const TicketView &view)
{
    for (const auto &row : view.cells) {
        QString line = QStringLiteral(" ");
        for (const TicketView::Cell &cell : row) {
            const QString number = cell.text.trimmed().rightJustified(2);
            line += cell.text.trimmed().isEmpty() ? QStringLiteral("  .. ")
                    : cell.drawn                 ? QStringLiteral(" [%1]").arg(number)
                                                 : QStringLiteral("  %1 ").arg(number);
        }
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out << line << '\n';
    }
}

} // namespace

int checkCard(const QStringList &args, Streams io)
{
    Options options;
    if (!options.parse(args,
                       {QStringLiteral("--series"), QStringLiteral("--card"), QStringLiteral("--draw"),
                        QStringLiteral("--dir"), QStringLiteral("--registry")},
                       {}, &io.err) ||
        !options.positional.isEmpty() || !options.has(QStringLiteral("--series")) ||
        !options.has(QStringLiteral("--card")))
        return 2;
    const QString seriesText = options.value(QStringLiteral("--series")).trimmed().toUpper();
    const char series = seriesText.size() == 1 ? seriesText.at(0).toLatin1() : 0;
    if (!IsSeriesLetter(series)) {
        io.err << "bolaris-cli: --series: '" << options.value(QStringLiteral("--series")).left(20)
               << "' is not a series letter from A to L" << Qt::endl;
        return 2;
    }
    const std::optional<int> card = parseStrictInt(options.value(QStringLiteral("--card")).trimmed());
    if (!card || *card < 1 || *card > kCardsPerSeries) {
        io.err << "bolaris-cli: --card: '" << options.value(QStringLiteral("--card")).left(20)
               << "' is not a card number from 1 to " << kCardsPerSeries << Qt::endl;
        return 2;
    }
    std::optional<int> asked;
    if (options.has(QStringLiteral("--draw")) && !(asked = options.drawNumber(io)))
        return 2;
    const std::optional<QString> dir = options.workingFolder(io);
    if (!dir)
        return 2;
    const std::optional<RegistryLocation> location = options.registry(*dir, io);
    if (!location)
        return 2;

    int number = 0;
    try {
        number = asked ? *asked : LoggedDraw::lastDraw(*dir);
    } catch (const DatasetError &e) {
        io.err << "bolaris-cli: " << e.message() << Qt::endl;
        return 1;
    }
    Hall hall;
    if (!hall.open(*dir, io, *location))
        return 1;
    const std::string_view text = hall.store.card(series, *card);
    if (!IsReadableCard(text)) {
        io.err << "bolaris-cli: card " << *card << " of series " << series << " is not in the card file ("
               << CardStore::kFileName << ") of " << *dir << Qt::endl;
        return 1;
    }

    DrawState state;
    CompetingSet competing = hall.today();
    QList<PrizeWon> prizes;
    if (number == 0) {
        io.out << "no draw in the draw log of " << *dir << ": the card as today's registry has it\n";
    } else {
        const std::optional<LoggedDraw> logged = readLoggedDraw(*dir, number, io);
        if (!logged)
            return 1;
        io.out << drawSummary(*logged) << '\n';
        if (!logged->competing)
            io.out << "draw " << number << " was logged before the competing set was kept with each draw: it is "
                   << "checked against today's registry\n";
        const int impossible = logged->play(*hall.game, state, competing, {});
        if (impossible >= 0) {
            io.out.flush();
            io.err << "bolaris-cli: event " << impossible + 1 << " of draw " << number
                   << " cannot be played again; the log is not a draw's own" << Qt::endl;
            return 1;
        }
        competing = hall.game->competing();
        prizes = hall.game->prizes();
    }

    const CardClaim claim = CardClaim::of(series, *card, competing, prizes);
    io.out << "card " << *card << " of series " << series << ": " << claim.status() << '\n';
    for (int position = 1; position <= 6; ++position) {
        const CardClaim::Ticket &ticket = claim.tickets[size_t(position - 1)];
        io.out << "Cartão " << ticket.number << (ticket.returned ? "  " + CardClaim::returnedMark() : QString())
               << '\n';
        printTicket(io.out, TicketView::of(text, position, state));
        for (const QString &prize : ticket.prizeTexts())
            io.out << "  " << prize << '\n';
    }
    io.out.flush();
    return 0;
}

int ata(const QStringList &args, Streams io)
{
    Options options;
    if (!options.parse(args,
                       {QStringLiteral("--draw"), QStringLiteral("--date"), QStringLiteral("--out"),
                        QStringLiteral("--dir"), QStringLiteral("--registry")},
                       {}, &io.err) ||
        !options.positional.isEmpty() || options.has(QStringLiteral("--draw")) == options.has(QStringLiteral("--date")) ||
        !options.has(QStringLiteral("--out")))
        return 2;
    std::optional<int> number;
    QDate day;
    if (options.has(QStringLiteral("--draw"))) {
        if (!(number = options.drawNumber(io)))
            return 2;
    } else {
        const QString text = options.value(QStringLiteral("--date")).trimmed();
        static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
        if (iso.match(text).hasMatch())
            day = QDate::fromString(text, Qt::ISODate);
        if (!day.isValid()) {
            io.err << "bolaris-cli: --date: '" << text.left(20) << "' is not a date AAAA-MM-DD" << Qt::endl;
            return 2;
        }
    }
    const std::optional<QString> dir = options.workingFolder(io);
    if (!dir)
        return 2;
    // The output is checked before any work.
    const std::optional<QString> out = options.outputFile(QStringLiteral("--out"), *dir, io);
    if (!out)
        return 1;
    const std::optional<RegistryLocation> location = options.registry(*dir, io);
    if (!location)
        return 2;

    Hall hall;
    if (!hall.open(*dir, io, *location))
        return 1;
    try {
        const QList<int> draws =
            number ? QList<int>{*number} : LoggedDraw::startedOn(*dir, day.toString(Qt::ISODate));
        MinutesReport report = MinutesReport::ofDraws(
            *dir, draws, number ? MinutesReport::drawTitle(*number) : MinutesReport::dayTitle(day),
            hall.store.table(), hall.today());
        if (report.drawCount() == 0) {
            if (number)
                io.err << "bolaris-cli: draw " << *number << " is not in the draw log of " << *dir << Qt::endl;
            else
                io.err << "bolaris-cli: no draw of the draw log of " << *dir << " started on "
                       << day.toString(Qt::ISODate) << Qt::endl;
            return 1;
        }
        WriteFailure failure;
        if (!writePdf(*out, report.definition(), report.data(), {}, &failure)) {
            io.err << "bolaris-cli: " << failure.english() << Qt::endl;
            return 1;
        }
    } catch (const DatasetError &e) {
        io.err << "bolaris-cli: " << e.message() << Qt::endl;
        return 1;
    }
    return 0;
}

} // namespace bolaris::cli
