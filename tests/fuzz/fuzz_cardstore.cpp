// The card-store fill from a hostile "compl22.cds", and every reader of the
// card texts it stores: the card checks, the grid decoders, the ticket view
// and the winner scan.
//
// An input that starts as an SQLite file is written as it is. Any other input
// is a small text that the dataset facility's own writer turns into a
// well-formed file, so the fuzzer also reaches hostile values in sound files:
//   line 1: the fields, "name:TYPE[size]" separated by ',' (TYPE i integer, s string)
//   then one record a line, values separated by TAB: "n" none, "i123" an
//   integer, "s..." a text (UTF-8).
#include "FuzzSupport.h"

#include "cards/CardRules.h"
#include "cards/CardStore.h"
#include "dataset/Dataset.h"
#include "dataset/DatasetFile.h"
#include "game/DrawState.h"
#include "game/TicketView.h"
#include "game/WinnerScan.h"

#include <cstdint>
#include <cstring>
#include <memory>

using namespace bolaris;

namespace {

QString g_dir;
std::unique_ptr<CardStore> g_pristine; // series A alone, for telling what the file changed

// Writes the text form as a dataset file; false when it describes none.
bool writeDescribed(const QByteArray &input, const QString &path)
{
    const QList<QByteArray> lines = input.split('\n');
    std::vector<FieldDef> fields;
    for (const QByteArray &item : lines.first().split(',')) {
        if (fields.size() >= 64)
            break;
        const qsizetype colon = item.indexOf(':');
        FieldDef f;
        f.name = QString::fromUtf8(colon < 0 ? item : item.left(colon));
        const QByteArray type = colon < 0 ? QByteArray("s") : item.mid(colon + 1);
        f.type = type.startsWith('i') ? FieldType::Integer : FieldType::String;
        f.size = type.mid(1).toInt();
        fields.push_back(f);
    }
    std::vector<Row> rows;
    for (qsizetype l = 1; l < lines.size() && rows.size() < 30000; ++l) {
        Row row;
        for (const QByteArray &value : lines[l].split('\t')) {
            if (row.size() >= fields.size())
                break;
            if (value.startsWith('i'))
                row.push_back(value.mid(1).toLongLong());
            else if (value.startsWith('s'))
                row.push_back(QString::fromUtf8(value.mid(1)));
            else
                row.push_back(QVariant());
        }
        rows.push_back(std::move(row));
    }
    std::vector<const Row *> pointers;
    for (const Row &row : rows)
        pointers.push_back(&row);
    try {
        DatasetFile::save(path, fields, pointers);
    } catch (const DatasetError &) {
        return false;
    }
    return true;
}

// Every decoder a stored text can reach.
void decode(std::string_view text, const DrawState &draw)
{
    (void)CheckCard(text);
    (void)CheckCard(text, true);
    if (!IsReadableCard(text))
        return;
    (void)CardGrid(text);
    for (int position = 1; position <= 6; ++position) {
        (void)TicketGrid(text, position);
        for (int n : TicketNumbers(text, position))
            FUZZ_CHECK(n >= 1 && n <= 90, "a readable card gave a number outside 1..90");
        (void)TicketKeyOf(text, position);
        (void)TicketView::of(text, position, draw);
    }
    for (int k = 1; k <= kCellCount; ++k) {
        const int column = CellColumn(CellText(text, k));
        FUZZ_CHECK(column >= 1 && column <= kColumns, "a cell outside the nine columns");
    }
}

// The registry of the draw as two in-memory datasets.
void defineRegistry(Dataset &vali, Dataset &valiC)
{
    vali.addFieldDef(QStringLiteral("Serie"), FieldType::String, 1);
    vali.addFieldDef(QStringLiteral("Numero"), FieldType::Integer);
    vali.setIndexFieldNames(QStringLiteral("Serie;Numero"));
    vali.createDataset();
    valiC.addFieldDef(QStringLiteral("Serie"), FieldType::String, 1);
    valiC.addFieldDef(QStringLiteral("Cartao"), FieldType::Integer);
    valiC.addFieldDef(QStringLiteral("Cartela"), FieldType::Integer);
    valiC.setIndexFieldNames(QStringLiteral("Serie;Cartao"));
    valiC.createDataset();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    g_dir = fuzz::scratchFolder("cardstore");
    g_pristine = std::make_unique<CardStore>();
    g_pristine->FillCardStore(g_dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    fuzz::emptyFolder(g_dir);
    const QString path = QDir(g_dir).filePath(QLatin1String(CardStore::kFileName));
    if (input.startsWith(QByteArray("SQLite format 3", 16)))
        fuzz::writeFile(path, input);
    else if (input.isEmpty() || !writeDescribed(input, path))
        return 0;

    CardStore store;
    const CardStore::FillResult filled = store.FillCardStore(g_dir);
    FUZZ_CHECK(filled.error.isEmpty() == filled.fileRead, "a fill neither read the file nor said why");
    const CartelaTable &table = store.table();
    std::vector<int> changed;
    for (int i = 1; i <= kCardCount; ++i) {
        const std::string_view text = table.entry(i);
        FUZZ_CHECK(text.size() <= size_t(kCardTextLength), "an entry longer than a card");
        if (text != g_pristine->table().entry(i))
            changed.push_back(i);
    }
    if (!filled.error.isEmpty())
        FUZZ_CHECK(changed.empty(), "a failed fill changed series A"); // B to L keep nothing either

    // The same file again: a read one is not read again, a failing one fails
    // again and says it is the same failure.
    const std::uint64_t generation = table.generation();
    const CardStore::FillResult again = store.FillCardStore(g_dir);
    if (filled.fileRead) {
        FUZZ_CHECK(!again.fileRead && again.error.isEmpty(), "an unchanged file was read again");
        FUZZ_CHECK(table.generation() == generation, "an unchanged file changed the table");
    } else {
        FUZZ_CHECK(again.errorRepeated && again.error == filled.error, "an unchanged failing file failed otherwise");
    }

    DrawState draw;
    draw.start(DrawMode::Manual);
    for (size_t i = 0; i < size && draw.DrawnCount() < 40; i += 7)
        draw.clickManual(1 + data[i] % 90);
    const size_t decodedAtMost = 200;
    for (size_t c = 0; c < changed.size() && c < decodedAtMost; ++c)
        decode(table.entry(changed[c]), draw);
    // The checks before an issue or an export: each changed card alone (series
    // A whole would cost more than the rest together), and series B to L whole.
    for (size_t c = 0; c < changed.size() && c < decodedAtMost; ++c)
        for (const auto check : {CartelaTable::CardCheck::Readable, CartelaTable::CardCheck::Rules})
            if (const auto unusable =
                    table.firstUnusable(SeriesOfIndex(changed[c]), CardOfIndex(changed[c]), CardOfIndex(changed[c]), check))
                (void)CartelaTable::unusableText(SeriesOfIndex(changed[c]), *unusable);
    for (char series : kSeriesLetters.substr(1))
        (void)table.firstUnusable(series, 1, kCardsPerSeries, CartelaTable::CardCheck::Readable);

    // The winner scan over the changed cards, validated, with a returned ticket each.
    Dataset vali, valiC;
    defineRegistry(vali, valiC);
    for (size_t c = 0; c < changed.size() && c < decodedAtMost; ++c) {
        const QString serie(QLatin1Char(SeriesOfIndex(changed[c])));
        const int card = CardOfIndex(changed[c]);
        vali.append();
        vali.setValue(0, serie);
        vali.setValue(1, card);
        vali.post();
        valiC.append();
        valiC.setValue(0, serie);
        valiC.setValue(1, TicketNumber(card, 1 + card % 6));
        valiC.setValue(2, card);
        valiC.post();
    }
    WinnerScan scan(table, vali, valiC);
    for (const PrizeSwitches switches : {PrizeSwitches{true, true, true}, PrizeSwitches{}}) {
        const ScanReport report = scan.CheckWinners(draw, switches);
        FUZZ_CHECK(report.winners.size() == report.prizes.size(), "a winner without a prize");
    }
    return 0;
}
