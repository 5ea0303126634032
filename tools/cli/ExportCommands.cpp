#include "CliCommands.h"

#include "StreamPrompter.h"
#include "cards/CardStore.h"
#include "export/CardExport.h"

namespace bolaris::cli {

int exportCsv(const QStringList &args, Streams io)
{
    Options options;
    const QStringList valued = {QStringLiteral("--series"),    QStringLiteral("--first"), QStringLiteral("--last"),
                                QStringLiteral("--per-sheet"), QStringLiteral("--fill"),  QStringLiteral("--dir")};
    if (!options.parse(args, valued, {}, &io.err) || !options.positional.isEmpty())
        return 2;
    for (const char *required : {"--series", "--first", "--last"})
        if (!options.has(QLatin1String(required)))
            return 2;
    const std::optional<QString> folder = options.workingFolder(io);
    if (!folder)
        return 1;
    CardStore store;
    const CardStore::FillResult fill = store.FillCardStore(*folder);
    if (!fill.error.isEmpty())
        io.err << "bolaris-cli: " << fill.error << Qt::endl;

    // The series box turns typed letters to upper case.
    const ExportRequest request{options.value(QStringLiteral("--series")).toUpper(),
                                options.value(QStringLiteral("--first")), options.value(QStringLiteral("--last")),
                                options.value(QStringLiteral("--per-sheet")), options.value(QStringLiteral("--fill"))};
    StreamPrompter prompter(io.err, false);
    CardExport exporter(*folder);
    switch (exporter.exportCards(request, store.table(), prompter)) {
    case CardExport::Outcome::Written:
        return 0;
    case CardExport::Outcome::Refused:
        return 1;
    case CardExport::Outcome::Stopped:
        // The panel stops without a word here; a script must still learn that nothing was written.
        io.err << "bolaris-cli: nothing exported: the first card is 0 or below, or the last card is below the first"
               << Qt::endl;
        return 1;
    }
    return 1;
}

} // namespace bolaris::cli
