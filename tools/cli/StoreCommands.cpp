#include "CliCommands.h"

#include "cards/CardGenerator.h"
#include "cards/CardRules.h"
#include "cards/CardStore.h"
#include "dataset/Dataset.h"
#include "dataset/DatasetFile.h"

#include <QDir>
#include <QFileInfo>

namespace bolaris::cli {

namespace {

bool fillStore(CardStore &store, const Options &options, Streams io)
{
    const std::optional<QString> dir = options.workingFolder(io);
    if (!dir)
        return false;
    const CardStore::FillResult result = store.FillCardStore(*dir);
    if (!result.error.isEmpty()) {
        io.err << "bolaris-cli: " << result.error << Qt::endl;
        return false;
    }
    return true;
}

} // namespace

int dumpStore(const QStringList &args, Streams io)
{
    Options options;
    if (!options.parse(args, {QStringLiteral("--dir")}, {}, &io.err) || !options.positional.isEmpty())
        return 2;
    CardStore store;
    const bool ok = fillStore(store, options, io);
    for (int i = 1; i <= kCardCount; ++i) {
        const std::string_view text = store.table().entry(i);
        if (!text.empty())
            io.out << i << ';' << QLatin1String(text.data(), qsizetype(text.size())) << '\n';
    }
    io.out.flush();
    return ok ? 0 : 1;
}

int verifyStore(const QStringList &args, Streams io)
{
    Options options;
    if (!options.parse(args, {QStringLiteral("--dir")}, {}, &io.err) || !options.positional.isEmpty())
        return 2;
    CardStore store;
    bool ok = fillStore(store, options, io);
    for (int i = 1; i <= kCardCount; ++i) {
        const std::string_view text = store.table().entry(i);
        if (text.empty())
            continue;
        for (const std::string &problem : CheckCard(text)) {
            io.out << "card " << SeriesOfIndex(i) << '-' << CardOfIndex(i) << ": "
                   << QString::fromStdString(problem) << '\n';
            ok = false;
        }
    }
    io.out.flush();
    return ok ? 0 : 1;
}

int generateSeries(const QStringList &args, Streams io)
{
    Options options;
    if (!options.parse(args, {QStringLiteral("--out")}, {}, &io.err) || !options.positional.isEmpty()
        || options.value(QStringLiteral("--out")).isEmpty())
        return 2;
    // The series file is one of a working folder's data files; no other one may be replaced.
    const std::optional<QString> path =
        options.outputFile(QStringLiteral("--out"), QString(), io, QStringLiteral("compl22.cds"));
    if (!path)
        return 1;
    const QFileInfo out(*path);
    Dataset table(QStringLiteral("TableCompl"));
    table.setDirectory(out.absolutePath());
    table.setFileName(out.fileName());
    table.addFieldDef(QStringLiteral("Cartela"), FieldType::Integer);
    table.addFieldDef(QStringLiteral("Todas"), FieldType::String, kCardTextLength);
    try {
        const std::vector<std::string> cards = GenerateSeriesBtoL();
        table.createDataset();
        int index = kCardsPerSeries + 1;
        for (const std::string &card : cards) {
            table.append();
            table.setValue(0, index++);
            table.setValue(1, QString::fromLatin1(card.data(), qsizetype(card.size())));
            table.post();
        }
        table.close();
    } catch (const DatasetError &e) {
        io.err << "bolaris-cli: " << e.message() << Qt::endl;
        return 1;
    }
    return 0;
}

int dumpDataset(const QStringList &args, Streams io)
{
    Options options;
    if (!options.parse(args, {}, {}, &io.err) || options.positional.size() != 1)
        return 2;
    try {
        std::vector<FieldDef> fields;
        bool header = false;
        auto printHeader = [&] {
            QStringList names;
            for (const FieldDef &f : fields)
                names << f.name;
            io.out << names.join(QLatin1Char(';')) << '\n';
            header = true;
        };
        DatasetFile::forEachRow(
            options.positional.first(),
            [&](const Row &row) {
                if (!header)
                    printHeader();
                QStringList values;
                for (const QVariant &v : row)
                    values << (v.isNull()                               ? QString()
                               : v.typeId() == QMetaType::QByteArray ? QString::fromLatin1(v.toByteArray().toHex())
                                                                      : v.toString());
                io.out << values.join(QLatin1Char(';')) << '\n';
            },
            &fields);
        if (!header)
            printHeader();
    } catch (const DatasetError &e) {
        io.out.flush();
        io.err << "bolaris-cli: " << e.message() << Qt::endl;
        return 1;
    }
    io.out.flush();
    return 0;
}

} // namespace bolaris::cli
