#include "CardExport.h"

#include "cards/CardStore.h"
#include "cards/UnitCart.h"
#include "dataset/AtomicFile.h"
#include "dataset/StrictInt.h"
#include "dataset/WorkDir.h"
#include "issue/SheetIssue.h"
#include "ui/Prompter.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace bolaris {

namespace {

constexpr int kRecordFields = 8 + kCardRows * kColumns; // number, series, 6 tickets, 162 cells

const QString kNumbering = QStringLiteral("Número das cartelas a emitir");
const QString kFillCaption = QStringLiteral("Preenchimento das casas vazias");

// Windows-1252 bytes 0x80 to 0x9F; 0 where the code page has no character.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The Windows-1252 byte of c, if that code page holds it.
std::optional<char> windows1252(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return char(u);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[i] != 0 && kHighControls[i] == u)
            return char(0x80 + i);
    return std::nullopt;
}

// A text typed by the operator, short enough to quote in a message.
QString quoted(const QString &text)
{
    constexpr qsizetype kShown = 20;
    return QLatin1Char('\'') + (text.size() > kShown ? text.left(kShown) + QChar(0x2026) : text) + QLatin1Char('\'');
}

// A card number box: trimmed, empty is 0. A text that is not an integer is
// reported as the conversion error it is and ends the export.
std::optional<int> readCardNumber(const QString &typed, Prompter &prompter)
{
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return 0;
    const std::optional<int> value = parseStrictInt(text);
    if (!value)
        prompter.error(QStringLiteral("%1 não é um valor inteiro válido. Corrija.").arg(quoted(text)));
    return value;
}

// The fill text goes unquoted between semicolons into a file for other
// programs: a separator, a quote or a line break in it would shift the fields
// of every card, and a character outside the file's code page cannot be written.
bool fillAccepted(const QString &fill, Prompter &prompter)
{
    for (qsizetype i = 0; i < fill.size(); ++i) {
        const QChar c = fill.at(i);
        if (c == QLatin1Char(';') || c == QLatin1Char('"') || c.unicode() < 0x20 || c.unicode() == 0x7F) {
            prompter.inform(kFillCaption,
                            QStringLiteral("O preenchimento não pode ter ponto e vírgula, aspas ou caracteres de "
                                           "controle, que desfariam os campos do arquivo %1. Corrija.")
                                .arg(QLatin1String(CardExport::kFileName)),
                            MessageIcon::Information);
            return false;
        }
        if (!windows1252(c)) {
            // A character beyond the first 65,536 is two QChars: name it whole.
            const qsizetype length = c.isHighSurrogate() && i + 1 < fill.size() ? 2 : 1;
            prompter.inform(kFillCaption,
                            QStringLiteral("O caractere \u201C%1\u201D do preenchimento não pode ser gravado no "
                                           "arquivo %2, que usa a página de código Windows-1252. Corrija.")
                                .arg(fill.mid(i, length), QLatin1String(CardExport::kFileName)),
                            MessageIcon::Information);
            return false;
        }
    }
    return true;
}

void appendNumber(QByteArray &out, int value, int width)
{
    out.append(QByteArray::number(value).rightJustified(width, '0'));
    out.append(';');
}

} // namespace

CardExport::CardExport(const QString &dir) : m_dir(dir), m_graf(QStringLiteral("TableGraf"))
{
    m_graf.setDirectory(dir);
    m_graf.setFileName(QLatin1String(kTableFileName));
}

QString CardExport::fillText(const QString &typed)
{
    QString fill = typed.trimmed().left(2);
    while (fill.endsWith(QLatin1Char(' ')))
        fill.chop(1);
    // Half a character beyond the first 65,536 is no character; keep it whole
    // so that it is named as typed when it is refused.
    if (!fill.isEmpty() && fill.back().isHighSurrogate())
        fill = typed.trimmed().left(fill.size() + 1);
    return fill;
}

int CardExport::cardsPerSheet(const QString &typed)
{
    const int value = strictIntOrZero(typed);
    return value >= 1 && value <= 9 ? value : 1;
}

QByteArray CardExport::header(int perSheet)
{
    QByteArray line;
    for (int p = 0; p < perSheet; ++p) {
        const char letter = char('A' + p);
        line += "CARTELA" + QByteArray(1, letter) + ';';
        line += "SERIE" + QByteArray(1, letter) + ';';
        for (int t = 1; t <= 6; ++t)
            line += "CARTAO" + QByteArray::number(t) + letter + ';';
        for (int k = 1; k <= kCardRows * kColumns; ++k)
            line += letter + QByteArray::number(k) + ';';
    }
    return line;
}

CardExport::Outcome CardExport::exportCards(const ExportRequest &request, const CartelaTable &cards,
                                            Prompter &prompter)
{
    const QString fill = fillText(request.fillText);
    const QString series = request.seriesText.trimmed();
    if (series.isEmpty() || !QLatin1String(kSeriesLetters.data(), qsizetype(kSeriesLetters.size())).contains(series)) {
        prompter.inform(QStringLiteral("Número da série a emitir"), QStringLiteral("Série inválida. Corrija."),
                        MessageIcon::Information);
        return Outcome::Refused;
    }
    const char letter = char(series.at(0).unicode());
    const std::optional<int> first = readCardNumber(request.firstCard, prompter);
    if (!first)
        return Outcome::Refused;
    std::optional<int> last = readCardNumber(request.lastCard, prompter);
    if (!last)
        return Outcome::Refused;
    if (*last < *first || *first <= 0)
        return Outcome::Stopped;
    last = std::min(*last, kCardsPerSeries);
    if (*first > *last) {
        prompter.inform(kNumbering, QStringLiteral("A numeração das cartelas excede o permitido. Corrija."),
                        MessageIcon::Information);
        return Outcome::Refused;
    }
    const int perSheet = cardsPerSheet(request.perSheet);
    if (!fillAccepted(fill, prompter))
        return Outcome::Refused;
    if (const auto unusable = cards.firstUnusable(letter, *first, *last)) {
        prompter.inform(kNumbering,
                        CartelaTable::unusableText(letter, *unusable) + QStringLiteral(" Nenhum arquivo foi gerado."),
                        MessageIcon::Information);
        return Outcome::Refused;
    }

    try {
        buildTableGraf(letter, *first, *last, fill, cards);
        if (!writeCsv(csvText(letter, perSheet), prompter)) {
            discardTableGraf();
            return Outcome::Refused;
        }
    } catch (const DatasetError &e) {
        prompter.error(QStringLiteral("A exportação na pasta %1 falhou: %2. O arquivo %3 anterior ficou como estava.")
                           .arg(QDir::toNativeSeparators(m_dir), e.message(), QLatin1String(kFileName)));
        discardTableGraf();
        return Outcome::Refused;
    }
    return Outcome::Written;
}

void CardExport::buildTableGraf(char series, int first, int last, const QString &fill, const CartelaTable &cards)
{
    // The old "cartgraf.cds" is replaced when the new table is closed, so a
    // failed export leaves it as it was.
    m_graf.close();
    SheetIssue::defineSheet(m_graf, 6, kCardRows);
    m_graf.createDataset();
    for (int n = first; n <= last; ++n)
        SheetIssue::appendCard(m_graf, n, cards.card(series, n), fill);
}

QByteArray CardExport::csvText(char series, int perSheet)
{
    QByteArray out = header(perSheet) + "\r\n";
    out.reserve(out.size() + m_graf.recordCount() * (kRecordFields * 3 + 4));
    int onLine = 0;
    for (m_graf.first(); !m_graf.eof(); m_graf.next()) {
        const Row &row = m_graf.rowAt(m_graf.recNo());
        appendNumber(out, row[0].toInt(), 4);
        out.append(series).append(';');
        for (int t = 1; t <= 6; ++t)
            appendNumber(out, row[size_t(t)].toInt(), 5);
        for (size_t p = 7; p < row.size(); ++p) {
            // Numbers are digits and the fill text was checked against the code page.
            const QString cell = row[p].toString();
            for (const QChar c : cell)
                out.append(windows1252(c).value_or('?'));
            out.append(';');
        }
        if (++onLine == perSheet) {
            out.append("\r\n");
            onLine = 0;
        }
    }
    if (onLine > 0)
        out.append("\r\n");
    return out;
}

bool CardExport::writeCsv(const QByteArray &bytes, Prompter &prompter)
{
    // Written beside the old file and renamed over it only when complete: the
    // old file stays as it was on any failure.
    const QString path = WorkDir::resolve(m_dir, QLatin1String(kFileName));
    AtomicFile file(path);
    auto failed = [&] {
        const WriteFailure &why = file.failure();
        prompter.error(QStringLiteral("O arquivo %1 não pôde ser gravado na pasta %2 (%3). O arquivo anterior "
                                      "ficou como estava.")
                           .arg(QFileInfo(path).fileName(), QDir::toNativeSeparators(m_dir),
                                why.code ? reasonPortuguese(why.code) : why.detail));
        return false;
    };
    if (!file.open() || file.write(bytes) != bytes.size())
        return failed();
    // The table is closed, writing "cartgraf.cds", before the file is put in
    // place: when that fails the old file stays too.
    m_graf.close();
    if (!file.commit())
        return failed();
    return true;
}

void CardExport::discardTableGraf()
{
    // Closing without a file name writes nothing.
    m_graf.setFileName({});
    try {
        m_graf.close();
    } catch (const DatasetError &) {
        // nothing is written, so nothing can fail
    }
    m_graf.setFileName(QLatin1String(kTableFileName));
}

} // namespace bolaris
