#include "CliCommands.h"

#include "cards/CardStore.h"
#include "dataset/StrictInt.h"
#include "draw/DrawState.h"
#include "draw/WinnerScan.h"
#include "validation/ValidationRegistry.h"

namespace bolaris::cli {

int replay(const QStringList &args, Streams io)
{
    Options options;
    if (!options.parse(args, {QStringLiteral("--balls"), QStringLiteral("--dir")},
                       {QStringLiteral("--cantos"), QStringLiteral("--linha"), QStringLiteral("--2linhas")}, &io.err) ||
        !options.positional.isEmpty() || !options.has(QStringLiteral("--balls")))
        return 2;
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

    CardStore store;
    const CardStore::FillResult filled = store.FillCardStore(*dir);
    if (!filled.error.isEmpty()) {
        io.err << "bolaris-cli: " << filled.error << Qt::endl;
        return 1;
    }
    // Read only: the program may have this registry open.
    ValidationRegistry registry(*dir);
    const ValidationRegistry::Opened opened = registry.open(true);
    if (opened.access != ValidationRegistry::Access::ReadOnly) {
        io.err << "bolaris-cli: " << opened.english << Qt::endl;
        return 1;
    }

    WinnerScan scan(store.table(), registry.TableVali(), registry.TableValiC());
    DrawState draw;
    draw.start(DrawMode::Manual);
    PrizeSwitches switches{options.has(QStringLiteral("--cantos")), options.has(QStringLiteral("--linha")),
                           options.has(QStringLiteral("--2linhas"))};
    bool missingTold = false;
    for (int ball : balls) {
        draw.clickManual(ball); // a ball already drawn is taken back
        const ScanReport report = scan.CheckWinners(draw, switches);
        io.out << "ball " << ball << '\n';
        for (const QString &line : report.lines)
            io.out << line << '\n';
        if (!report.winners.isEmpty())
            for (const QString &line : report.fewestLines)
                io.out << line << '\n';
        switches.cantos = switches.cantos && !report.won.cantos;
        switches.linha = switches.linha && !report.won.linha;
        switches.twoRows = switches.twoRows && !report.won.twoRows;
        if (!report.missingCards.isEmpty() && !missingTold) {
            missingTold = true;
            io.err << "bolaris-cli: validated cards not in the card store, not checked: "
                   << report.missingCards.join(QStringLiteral(", ")) << Qt::endl;
        }
    }
    io.out.flush();
    return 0;
}

} // namespace bolaris::cli
