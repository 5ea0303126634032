// A hostile .cds file (an SQLite database, or anything else) through every
// reader of the dataset facility: the file loader, an ordered and indexed
// dataset over it, the validation registry, and the draw log with the tool's
// draw-log and replay commands. Nothing may crash, and reading never changes
// the file.
#include "FuzzSupport.h"

#include "CliCommands.h"
#include "dataset/Dataset.h"
#include "dataset/DatasetFile.h"
#include "game/DrawLog.h"
#include "game/LoggedDraw.h"
#include "validation/ValidationRegistry.h"

#include <QTextStream>

#include <cstdint>

using namespace bolaris;

namespace {

QString g_dir;

void loadFile(const QString &path)
{
    try {
        const DatasetFile::Content c = DatasetFile::load(path);
        FUZZ_CHECK(c.rows.size() == c.rowIds.size(), "a row without its key");
        for (const Row &row : c.rows)
            FUZZ_CHECK(row.size() == c.fields.size(), "a row with another number of values than fields");
    } catch (const DatasetError &) {
    }
    try {
        std::vector<FieldDef> fields;
        DatasetFile::forEachRow(
            path, [&](const Row &row) { FUZZ_CHECK(row.size() == fields.size(), "a streamed row of another size"); },
            &fields);
    } catch (const DatasetError &) {
    }
}

// An in-memory dataset over the file, ordered by its first two fields, walked,
// searched and given a unique index, as the program's datasets are.
void browse(const QString &fileName)
{
    Dataset d(QStringLiteral("Fuzz"));
    d.setDirectory(g_dir);
    d.setFileName(fileName);
    d.setReadOnly(true);
    try {
        d.open();
        QStringList names;
        for (size_t i = 0; i < d.fieldDefs().size() && i < 2; ++i)
            names << d.fieldDefs()[i].name;
        const QString key = names.join(QLatin1Char(';'));
        d.setIndexFieldNames(key);
        QVariantList probe;
        for (d.first(); !d.eof(); d.next()) {
            probe.clear();
            for (const QString &name : names) {
                probe << d.value(name);
                (void)d.asString(name);
            }
        }
        if (!names.isEmpty()) {
            d.locate(key, probe);
            d.findNearest(probe);
            d.addIndex(QStringLiteral("Fuzz"), key, Dataset::Primary | Dataset::Unique);
        }
        for (d.last(); !d.bof(); d.prior())
            for (const QString &name : names)
                (void)d.asInteger(name);
    } catch (const DatasetError &) {
    }
    d.close();
}

int runTool(const QStringList &args)
{
    QString sink;
    QTextStream out(&sink);
    QTextStream err(&sink);
    const int status = cli::run(args, {out, err});
    FUZZ_CHECK(status >= 0 && status <= 2, QStringLiteral("%1 exited %2").arg(args.join(QLatin1Char(' '))).arg(status));
    return status;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = fuzz::scratchFolder("dataset");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    fuzz::emptyFolder(g_dir);
    // The same file as each of the files the program reads back.
    const QStringList names = {QStringLiteral("Fuzz.cds"), QLatin1String(ValidationRegistry::kValiFile),
                               QLatin1String(ValidationRegistry::kValiCFile), QLatin1String(DrawLog::kFileName)};
    for (const QString &name : names)
        fuzz::writeFile(QDir(g_dir).filePath(name), bytes);

    loadFile(QDir(g_dir).filePath(names[0]));
    browse(names[0]);
    {
        ValidationRegistry registry(g_dir);
        const ValidationRegistry::Opened opened = registry.open(true);
        FUZZ_CHECK(!opened.movedAside, "a read-only registry moved its files");
        if (opened.access == ValidationRegistry::Access::ReadOnly) {
            FUZZ_CHECK(registry.TableVali().isOpen() && registry.TableValiC().isOpen(), "registry half open");
        }
        registry.close();
    }
    try {
        for (const DrawLog::Entry &e : DrawLog::read(g_dir))
            (void)e;
    } catch (const DatasetError &) {
    }
    try {
        DrawLogWriter::verify(g_dir);
        if (const std::optional<LoggedDraw> draw = LoggedDraw::read(g_dir, 1)) {
            for (const LoggedDraw::Ball &ball : draw->balls)
                (void)ball.announced();
        }
    } catch (const DatasetError &) {
    }
    runTool({QStringLiteral("draw-log"), QStringLiteral("--dir"), g_dir});
    runTool({QStringLiteral("draw-log"), QStringLiteral("--verify"), QStringLiteral("--dir"), g_dir});
    runTool({QStringLiteral("draw-log"), QStringLiteral("--draw"), QStringLiteral("1"), QStringLiteral("--dir"), g_dir});
    runTool({QStringLiteral("replay"), QStringLiteral("--draw"), QStringLiteral("1"), QStringLiteral("--dir"), g_dir});
    runTool({QStringLiteral("replay"), QStringLiteral("--balls"), QStringLiteral("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15"),
         QStringLiteral("--linha"), QStringLiteral("--cantos"), QStringLiteral("--2linhas"), QStringLiteral("--dir"),
         g_dir});
    runTool({QStringLiteral("dump-dataset"), QDir(g_dir).filePath(names[0])});

    for (const QString &name : names)
        FUZZ_CHECK(fuzz::readFile(QDir(g_dir).filePath(name)) == bytes, name + " was changed by reading it");
    return 0;
}
