// The command-line tool's argument handling: the input, split at NUL bytes
// (which no argument can hold), is the argument list given to the tool's
// command dispatcher, run in a scratch folder prepared with a small card
// file, a registry and a draw log. Whatever the arguments, the tool must exit
// 0, 1 or 2, leave no temporary behind, and leave every data file and PDF
// either as it was or complete.
//
// Arguments that could reach outside the scratch folder (a '/' or "..") are
// not tried, nor the commands that write the full series file or the ball
// media, nor issues and exports of more than a few cards (slow, not hostile).
#include "FuzzSupport.h"

#include "CliCommands.h"
#include "cards/CardStore.h"
#include "cards/SeriesA.h"
#include "dataset/DatasetFile.h"
#include "dataset/StrictInt.h"
#include "game/DrawLog.h"
#include "game/DrawState.h"
#include "game/WinnerScan.h"
#include "report/Fonts.h"
#include "ui/Prompter.h"
#include "validation/ValidationRegistry.h"

#include <QGuiApplication>
#include <QTextStream>

#include <cstdint>
#include <memory>

using namespace bolaris;

namespace {

QString g_template; // the prepared folder, copied into the scratch folder for every input
QString g_dir;

class Yes : public Prompter {
public:
    void inform(const QString &, const QString &, MessageIcon) override {}
    bool ask(const QString &, const QString &, bool) override { return true; }
};

void prepareTemplate(const QString &dir)
{
    auto latin1 = [](std::string_view s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); };
    const std::vector<FieldDef> fields = {{QStringLiteral("Cartela"), FieldType::Integer},
                                          {QStringLiteral("Todas"), FieldType::String, kCardTextLength}};
    const std::vector<Row> cards = {{2001, latin1(SeriesACard(3))},
                                    {2002, latin1(SeriesACard(4))},
                                    {2003, QStringLiteral("12 34 not a card")}};
    DatasetFile::save(QDir(dir).filePath(QLatin1String(CardStore::kFileName)), fields,
                      {&cards[0], &cards[1], &cards[2]});

    Yes yes;
    {
        ValidationRegistry registry(dir);
        registry.lock();
        registry.open();
        registry.SaiEnter(QStringLiteral("A"), QStringLiteral("1-10"), yes);
        registry.SaiEnter(QStringLiteral("B"), QStringLiteral("1-3"), yes);
        registry.SaiEnterC(QStringLiteral("A"), QStringLiteral("7"), yes);
        registry.close();
    }

    // One logged draw of twenty balls, one of them taken back.
    CardStore store;
    store.FillCardStore(dir);
    ValidationRegistry registry(dir);
    registry.open(true);
    WinnerScan scan(store.table(), registry.TableVali(), registry.TableValiC());
    DrawLogWriter log(dir);
    DrawState draw;
    draw.start(DrawMode::Manual);
    log.startDraw(DrawMode::Manual);
    const PrizeSwitches switches{true, true, true};
    for (int ball : {5, 17, 23, 40, 51, 62, 70, 88, 9, 12, 24, 33, 45, 58, 61, 77, 84, 90, 24, 1, 2, 3}) {
        const std::optional<BallEvent> event = draw.clickManual(ball);
        log.ball(*event, switches);
        log.scan(scan.CheckWinners(draw, switches));
    }
    log.endDraw();
    registry.close();
}

// False for an argument list that is not to be run (see the top).
bool worthRunning(const QStringList &args)
{
    for (const QString &a : args)
        if (a.contains(QLatin1Char('/')) || a == QLatin1String(".."))
            return false;
    if (args.isEmpty())
        return true;
    const QString &command = args.first();
    if (command == QLatin1String("make-media") || command == QLatin1String("generate-series"))
        return false;
    if (command != QLatin1String("issue-pdf") && command != QLatin1String("export-csv"))
        return true;
    cli::Options options;
    const QStringList valued = {QStringLiteral("--model"), QStringLiteral("--series"), QStringLiteral("--first"),
                                QStringLiteral("--last"),  QStringLiteral("--fill"),   QStringLiteral("--dir"),
                                QStringLiteral("--out"),   QStringLiteral("--per-sheet")};
    if (!options.parse(args.mid(1), valued, {}))
        return true;
    const std::optional<int> first = parseStrictInt(options.value(QStringLiteral("--first")).trimmed());
    const std::optional<int> last = parseStrictInt(options.value(QStringLiteral("--last")).trimmed());
    return !first || !last || qint64(std::min(*last, kCardsPerSeries)) - *first <= 5;
}

// Every file of the folder is as a complete writer leaves it.
void checkFolder(const QString &args)
{
    FUZZ_CHECK(fuzz::leftoverTemporaries(g_dir).isEmpty(), "temporaries left by " + args);
    const QDir dir(g_dir);
    for (const QFileInfo &info : dir.entryInfoList(QDir::Files | QDir::Hidden)) {
        const QString name = info.fileName();
        if (name.endsWith(QLatin1String(".cds"), Qt::CaseInsensitive)) {
            try {
                DatasetFile::load(info.filePath());
            } catch (const DatasetError &e) {
                FUZZ_CHECK(false, name + " is not a complete dataset after " + args + ": " + e.message());
            }
        } else if (name.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
            const QByteArray pdf = fuzz::readFile(info.filePath());
            FUZZ_CHECK(pdf.startsWith("%PDF") && pdf.trimmed().endsWith("%%EOF"), name + " is not a whole PDF after " + args);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_cli";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv); // fonts for the PDF sheets
    installFontSubstitutes();
    g_template = fuzz::scratchFolder("cli-template");
    prepareTemplate(g_template);
    g_dir = fuzz::scratchFolder("cli");
    QDir::setCurrent(g_dir); // relative paths of the arguments land here
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QStringList args;
    for (const QByteArray &item : QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0')) {
        if (args.size() >= 24)
            break;
        args << QString::fromLocal8Bit(item);
    }
    if (!worthRunning(args))
        return 0;
    fuzz::emptyFolder(g_dir);
    for (const QString &name : QDir(g_template).entryList(QDir::Files | QDir::Hidden))
        if (!name.endsWith(QLatin1String(".lock")))
            QFile::copy(QDir(g_template).filePath(name), QDir(g_dir).filePath(name));

    QString out, err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int status = cli::run(args, {outStream, errStream});
    errStream.flush();
    const QString shown = QLatin1Char('\'') + args.join(QStringLiteral("' '")).left(200) + QLatin1Char('\'');
    FUZZ_CHECK(status >= 0 && status <= 2, QStringLiteral("exit %1 for %2").arg(status).arg(shown));
    FUZZ_CHECK(status != 2 || err.contains(QLatin1String("usage: bolaris-cli")), "bad arguments without the usage: " + shown);
    checkFolder(shown);
    return 0;
}
