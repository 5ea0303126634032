#include "MinutesReport.h"

#include "CardClaim.h"
#include "DrawLog.h"
#include "LoggedDraw.h"
#include "report/ReportLayout.h"

#include <QDateTime>
#include <QLocale>

namespace bolaris {

namespace {

// The fields of a line, the most frequent lines' first: a line holds only the
// fields up to its last one, so a line of winners keeps 15 texts, not all.
constexpr int kAtaWinnersPerLine = 5;
constexpr int kAtaWinnerFields = 3;                                 // series, card, ticket
constexpr int kAtaBallsPerLine = 10;
constexpr int kAtaBallField = kAtaWinnersPerLine * kAtaWinnerFields;      // order, ball, per ball
constexpr int kAtaSignatureField = kAtaBallField + 2 * kAtaBallsPerLine;  // three signatures
constexpr int kAtaTitleField = kAtaSignatureField + 3;
constexpr int kAtaSectionField = kAtaTitleField + 1;
constexpr int kAtaTextField = kAtaSectionField + 1;
constexpr int kAtaStrongField = kAtaTextField + 1;
constexpr int kAtaFieldCount = kAtaStrongField + 1;

// A4 portrait, the page's heading and footer in the margins.
constexpr double kAtaBandWidth = 175, kAtaBandHeight = 5;
constexpr ReportPage kAtaPage{210, 297, false, 20, 20, 15, 18, 1};
constexpr double kAtaWinnerWidth = kAtaBandWidth / kAtaWinnersPerLine;   // series 8, card 12, ticket 12
constexpr double kAtaBallWidth = kAtaBandWidth / kAtaBallsPerLine;       // order 7, ball 8
constexpr double kAtaSignatureWidth = 55, kAtaSignatureStep = 60;
// Characters of a text line at 10 points on the band's width.
constexpr int kAtaLineChars = 95;

ReportFont ataFont(double points, bool bold = false) { return {QStringLiteral("Arial"), points, bold, {}}; }

ReportText ataField(int index, QRectF box, const ReportFont &font, Qt::Alignment alignment = Qt::AlignLeft)
{
    ReportText t;
    t.box = box;
    t.source = ReportText::Source::Field;
    t.value = QStringLiteral("f%1").arg(index);
    t.alignment = alignment;
    t.transparent = true;
    t.font = font;
    return t;
}

ReportText ataPageText(QRectF box, ReportText::Source source, const QString &value, Qt::Alignment alignment)
{
    ReportText t;
    t.box = box;
    t.source = source;
    t.value = value;
    t.alignment = alignment;
    t.transparent = true;
    t.font = ataFont(8);
    return t;
}

ReportDefinition ataDefinition(const QString &title)
{
    ReportDefinition def;
    def.name = title;
    def.page = kAtaPage;
    def.band = {QStringLiteral("DetailBand1"), kAtaBandWidth, kAtaBandHeight, ataFont(10), false, false, false};
    for (int k = 0; k < kAtaWinnersPerLine; ++k) {
        const double x = k * kAtaWinnerWidth;
        def.texts.push_back(ataField(k * kAtaWinnerFields, {x, 0.9, 8, 4}, ataFont(9), Qt::AlignHCenter));
        def.texts.push_back(ataField(k * kAtaWinnerFields + 1, {x + 8, 0.9, 12, 4}, ataFont(9), Qt::AlignRight));
        def.texts.push_back(ataField(k * kAtaWinnerFields + 2, {x + 20, 0.9, 12, 4}, ataFont(9), Qt::AlignRight));
    }
    for (int k = 0; k < kAtaBallsPerLine; ++k) {
        const double x = k * kAtaBallWidth;
        def.texts.push_back(ataField(kAtaBallField + 2 * k, {x, 1.3, 7, 3.5}, ataFont(8), Qt::AlignRight));
        def.texts.push_back(ataField(kAtaBallField + 2 * k + 1, {x + 8, 0.8, 9, 4.2}, ataFont(10, true)));
    }
    for (int k = 0; k < 3; ++k)
        def.texts.push_back(
            ataField(kAtaSignatureField + k, {k * kAtaSignatureStep, 0.8, kAtaSignatureWidth, 4.2}, ataFont(10), Qt::AlignHCenter));
    def.texts.push_back(ataField(kAtaTitleField, {0, 0, kAtaBandWidth, 5}, ataFont(13, true), Qt::AlignHCenter));
    def.texts.push_back(ataField(kAtaSectionField, {0, 0.5, kAtaBandWidth, 4.5}, ataFont(11, true)));
    def.texts.push_back(ataField(kAtaTextField, {0, 0.8, kAtaBandWidth, 4.2}, ataFont(10)));
    def.texts.push_back(ataField(kAtaStrongField, {0, 0.8, kAtaBandWidth, 4.2}, ataFont(10, true)));

    const QRectF heading(kAtaPage.marginLeft, 11, kAtaBandWidth, 4);
    const QRectF footer(kAtaPage.marginLeft, kAtaPage.length - 13, kAtaBandWidth, 4);
    def.labels[QStringLiteral("Titulo")] = title;
    def.pageTexts = {
        ataPageText(heading, ReportText::Source::Label, QStringLiteral("Titulo"), Qt::AlignLeft),
        ataPageText(heading, ReportText::Source::Static, QStringLiteral("Folha {page} de {pages}"), Qt::AlignRight),
        ataPageText(footer, ReportText::Source::Static, QStringLiteral("Rubricas: ______________________________"),
                 Qt::AlignLeft),
        ataPageText(footer, ReportText::Source::Static, QStringLiteral("Bolaris 90/15"), Qt::AlignRight),
    };
    return def;
}

const QLocale &ataLocale()
{
    static const QLocale locale(QLocale::Portuguese, QLocale::Brazil);
    return locale;
}

QString ataCount(int n) { return ataLocale().toString(n); }

QDateTime ataTime(const QString &time) { return QDateTime::fromString(time, QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")); }
QString ataClock(const QString &time) { return ataTime(time).toString(QStringLiteral("HH:mm:ss")); }
QString ataDay(const QString &time) { return ataTime(time).toString(QStringLiteral("dd/MM/yyyy")); }

// Items joined by ", " into lines of at most kAtaLineChars, the first after a lead.
QStringList ataList(const QString &lead, const QStringList &items)
{
    QStringList lines;
    QString current = lead;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString item = items[i] + (i + 1 < items.size() ? QStringLiteral(", ") : QStringLiteral("."));
        if (current.size() + item.size() > kAtaLineChars && current.size() > lead.size()) {
            lines << current.trimmed();
            current.clear();
        }
        current += item;
    }
    lines << current;
    return lines;
}

// A paragraph broken at blanks into lines of at most kAtaLineChars.
QStringList ataParagraph(const QString &paragraph)
{
    QStringList lines;
    QString current;
    for (const QString &word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!current.isEmpty() && current.size() + 1 + word.size() > kAtaLineChars) {
            lines << current;
            current.clear();
        }
        current += (current.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    lines << current;
    return lines;
}

// Runs of consecutive numbers: "1–250", "300".
QStringList ataRuns(const std::vector<int> &numbers)
{
    QStringList texts;
    for (size_t i = 0; i < numbers.size();) {
        size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1)
            ++j;
        texts << (i == j ? QString::number(numbers[i])
                         : QStringLiteral("%1–%2").arg(numbers[i]).arg(numbers[j]));
        i = j + 1;
    }
    return texts;
}

QString ataCounted(int n, const QString &one, const QString &many) { return ataCount(n) + QLatin1Char(' ') + (n == 1 ? one : many); }

} // namespace

MinutesReport::MinutesReport(const QString &title) : m_definition(ataDefinition(title))
{
    for (int i = 0; i < kAtaFieldCount; ++i)
        m_data.fields << QStringLiteral("f%1").arg(i);
    m_data.indexFields();
    m_perPage = ReportLayout(m_definition.page, m_definition.band, 1).bandsPerPage();
    text(title.toUpper(), kAtaTitleField);
    blank();
}

MinutesReport MinutesReport::ofDraws(const QString &dir, const QList<int> &numbers, const QString &title,
                                     const CartelaTable &cards, const CompetingSet &today)
{
    MinutesReport report(title);
    report.setLogCheck(DrawLogWriter::verify(dir));
    GameStep game(cards);
    for (int number : numbers)
        if (const std::optional<LoggedDraw> logged = LoggedDraw::read(dir, number))
            report.add(DrawMinutes::replay(*logged, game, today));
    report.finish();
    return report;
}

QString MinutesReport::drawTitle(int number) { return QStringLiteral("Ata do sorteio nº %1").arg(number); }

QString MinutesReport::dayTitle(const QDate &day)
{
    return QStringLiteral("Ata dos sorteios de %1").arg(day.toString(QStringLiteral("dd/MM/yyyy")));
}

QString MinutesReport::sealWords(const QByteArray &seal)
{
    return seal.isEmpty() ? QStringLiteral("sem selo (sorteio registrado antes de o registro ser selado)")
                          : DrawLogWriter::sealText(seal);
}

int MinutesReport::pageCount() const
{
    return ReportLayout(m_definition.page, m_definition.band, int(m_data.records.size())).pageCount();
}

std::vector<QString> &MinutesReport::line(int fields)
{
    m_data.records.emplace_back(size_t(fields));
    return m_data.records.back();
}

void MinutesReport::text(const QString &text, int field) { line(field + 1)[size_t(field)] = text; }

void MinutesReport::blank() { line(0); }

void MinutesReport::keep(int lines)
{
    const int used = int(m_data.records.size()) % m_perPage;
    if (used > 0 && used + lines > m_perPage)
        while (m_data.records.size() % size_t(m_perPage))
            blank();
}

const QString &MinutesReport::number(int n)
{
    if (size_t(n) >= m_numbers.size())
        m_numbers.resize(size_t(n) + 1);
    QString &text = m_numbers[size_t(n)];
    if (text.isNull())
        text = QString::number(n);
    return text;
}

void MinutesReport::add(const DrawMinutes &draw)
{
    ++m_draws;
    keep(12);
    text(QStringLiteral("Sorteio nº %1").arg(draw.number), kAtaSectionField);
    text(QStringLiteral("Data: %1. Modo: %2.")
             .arg(ataDay(draw.start),
                  draw.mode == DrawMode::Electronic ? QStringLiteral("sorteio eletrônico") : QStringLiteral("sorteio manual")),
         kAtaTextField);
    QString course = QStringLiteral("Início: %1.").arg(ataClock(draw.start));
    for (qsizetype i = 0; i < draw.breaks.size(); ++i)
        course += QStringLiteral(" Interrompido às %1, retomado às %2.")
                      .arg(ataClock(draw.breaks[i]), ataClock(draw.resumed.value(i)));
    if (draw.end.isEmpty())
        course += QStringLiteral(" Sem término registrado (em andamento).");
    else if (draw.declined)
        course += QStringLiteral(" Interrompido às %1 e não retomado.").arg(ataClock(draw.end));
    else if (draw.interrupted)
        course += QStringLiteral(" Interrompido às %1.").arg(ataClock(draw.end));
    else
        course += QStringLiteral(" Término: %1.").arg(ataClock(draw.end));
    for (const QString &l : ataParagraph(course))
        text(l, kAtaTextField);
    text(QStringLiteral("Selo do registro: %1").arg(sealWords(draw.seal)), kAtaStrongField);
    if (m_check) {
        using Fault = DrawLogWriter::Check::Fault;
        const QString how = m_check->fault == Fault::Removed    ? QStringLiteral("removido")
                            : m_check->fault == Fault::Inserted ? QStringLiteral("inserido")
                                                                : QStringLiteral("alterado");
        for (const QString &l : ataParagraph(
                 m_check->intact ? QStringLiteral("Os selos do registro de sorteios conferem: nada foi alterado depois de gravado.")
                                 : QStringLiteral("ATENÇÃO: o registro de sorteios foi mudado depois de gravado: o evento "
                                                  "%1 do sorteio nº %2 foi %3.")
                                       .arg(m_check->event)
                                       .arg(m_check->draw)
                                       .arg(how)))
            text(l, kAtaTextField);
    }

    QStringList check;
    if (!draw.competingLogged)
        check << QStringLiteral("O registro deste sorteio não guarda as cartelas que concorreram (versão anterior "
                                "do programa): a conferência usou o registro de validação atual.");
    if (draw.damaged)
        check << QStringLiteral("ATENÇÃO: os anúncios deste sorteio no registro estão danificados e não puderam "
                                "ser conferidos.");
    if (draw.impossible >= 0)
        check << QStringLiteral("ATENÇÃO: o registro deste sorteio não pode ser refeito a partir do seu %1º evento "
                                "de pedra; ele não é o registro de um sorteio.")
                     .arg(draw.impossible + 1);
    if (draw.differing > 0)
        check << QStringLiteral("ATENÇÃO: em %1 de %2 eventos de pedra a conferência não repete o que o sorteio "
                                "anunciou.")
                     .arg(draw.differing)
                     .arg(draw.balls.size());
    if (check.isEmpty())
        check << QStringLiteral("Conferência: refeito pedra a pedra com as cartelas que concorreram, o sorteio "
                                "anuncia exatamente o que o registro guarda.");
    for (const QString &paragraph : check)
        for (const QString &l : ataParagraph(paragraph))
            text(l, kAtaTextField);
    blank();
    competing(draw);
    balls(draw);
    prizes(draw);
}

void MinutesReport::competing(const DrawMinutes &draw)
{
    const CompetingSet &set = draw.competing;
    keep(4);
    text(QStringLiteral("Cartelas concorrendo"), kAtaSectionField);
    for (char series = 'A'; series <= 'L'; ++series) {
        std::vector<int> cards;
        for (int card = 1; card <= kCardsPerSeries; ++card)
            if (set.validated(series, card))
                cards.push_back(card);
        if (cards.empty())
            continue;
        const QString lead = QStringLiteral("Série %1: %2 (").arg(QLatin1Char(series)).arg(
            ataCounted(int(cards.size()), QStringLiteral("cartela"), QStringLiteral("cartelas")));
        QStringList lines = ataList(lead, ataRuns(cards));
        lines.last().chop(1);
        lines.last() += QStringLiteral(").");
        for (const QString &l : lines)
            text(l, kAtaTextField);
    }
    if (set.cardCount() == 0)
        text(QStringLiteral("Nenhuma cartela validada."), kAtaTextField);
    text(QStringLiteral("Total: %1, %2; %3; %4.")
             .arg(ataCounted(set.cardCount(), QStringLiteral("cartela"), QStringLiteral("cartelas")),
                  ataCounted(6 * set.cardCount(), QStringLiteral("cartão"), QStringLiteral("cartões")),
                  ataCounted(set.returnedCount(), QStringLiteral("cartão devolvido"), QStringLiteral("cartões devolvidos")),
                  ataCounted(set.competingTickets(), QStringLiteral("cartão concorrendo"),
                         QStringLiteral("cartões concorrendo"))),
         kAtaStrongField);
    QStringList returned;
    char series = 0;
    set.forEachReturned([&](char s, int ticket) {
        if (!set.validated(s, CardOfTicket(ticket)))
            return; // a returned ticket of a card that was not sold changes nothing
        returned << (s != series ? QStringLiteral("série %1: %2").arg(QLatin1Char(s)).arg(ticket) : QString::number(ticket));
        series = s;
    });
    if (returned.isEmpty())
        text(QStringLiteral("Cartões devolvidos: nenhum."), kAtaTextField);
    else
        for (const QString &l : ataList(QStringLiteral("Cartões devolvidos: "), returned))
            text(l, kAtaTextField);
    blank();
}

void MinutesReport::balls(const DrawMinutes &draw)
{
    keep(3);
    text(QStringLiteral("Pedras sorteadas: %1").arg(draw.drawnCount()), kAtaSectionField);
    bool takenBack = false;
    for (size_t i = 0; i < draw.balls.size(); i += kAtaBallsPerLine) {
        const size_t n = std::min(draw.balls.size() - i, size_t(kAtaBallsPerLine));
        std::vector<QString> &cells = line(kAtaBallField + 2 * int(n));
        for (size_t k = 0; k < n; ++k) {
            const DrawMinutes::Ball &b = draw.balls[i + k];
            takenBack = takenBack || !b.drawn;
            cells[size_t(kAtaBallField) + 2 * k] = b.drawn ? QStringLiteral("%1ª").arg(b.order) : QString();
            cells[size_t(kAtaBallField) + 2 * k + 1] = b.drawn ? number(b.ball) : QStringLiteral("(%1)").arg(b.ball);
        }
    }
    if (draw.balls.empty())
        text(QStringLiteral("Nenhuma pedra sorteada."), kAtaTextField);
    if (takenBack)
        text(QStringLiteral("Entre parênteses, uma pedra retirada do quadro (um segundo clique)."), kAtaTextField);
    blank();
}

void MinutesReport::prizes(const DrawMinutes &draw)
{
    keep(3);
    text(QStringLiteral("Prêmios"), kAtaSectionField);
    // One group per prize and ball event, in the order first won.
    struct Group {
        const PrizeWon *first;
        std::vector<const PrizeWon *> winners;
    };
    std::vector<Group> groups;
    for (const PrizeWon &p : draw.prizes) {
        auto same = [&p](const Group &g) {
            return g.first->prize == p.prize && g.first->ball == p.ball && g.first->order == p.order;
        };
        auto it = std::find_if(groups.rbegin(), groups.rend(), same);
        if (it == groups.rend())
            groups.push_back({&p, {&p}});
        else
            it->winners.push_back(&p);
    }
    if (groups.empty())
        text(QStringLiteral("Nenhum prêmio."), kAtaTextField);
    static const QString kAtaSeries[kSeriesCount] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L"};
    for (const Group &g : groups) {
        const QString prize = CardClaim::prizeText(*g.first);
        const size_t inLine = std::min(g.winners.size(), size_t(kAtaWinnersPerLine));
        // The prize's line and the columns' names, again at the top of a page the list goes on to.
        const auto heading = [&](bool again) {
            text(again ? QStringLiteral("%1 (continuação)").arg(prize)
                       : QStringLiteral("%1: %2").arg(prize, ataCounted(int(g.winners.size()), QStringLiteral("ganhador"),
                                                                         QStringLiteral("ganhadores"))),
                 kAtaStrongField);
            std::vector<QString> &names = line(kAtaWinnerFields * int(inLine));
            for (size_t k = 0; k < inLine; ++k) {
                names[k * kAtaWinnerFields] = QStringLiteral("Série");
                names[k * kAtaWinnerFields + 1] = QStringLiteral("Cartela");
                names[k * kAtaWinnerFields + 2] = QStringLiteral("Cartão");
            }
        };
        keep(3);
        heading(false);
        for (size_t i = 0; i < g.winners.size(); i += kAtaWinnersPerLine) {
            if (m_data.records.size() % size_t(m_perPage) == 0)
                heading(true);
            const size_t n = std::min(g.winners.size() - i, size_t(kAtaWinnersPerLine));
            std::vector<QString> &cells = line(kAtaWinnerFields * int(n));
            for (size_t k = 0; k < n; ++k) {
                const TicketRef &t = g.winners[i + k]->ticket;
                const int s = t.series.toLatin1() - 'A';
                cells[k * kAtaWinnerFields] = s >= 0 && s < kSeriesCount ? kAtaSeries[s] : QString(t.series);
                cells[k * kAtaWinnerFields + 1] = number(t.card);
                cells[k * kAtaWinnerFields + 2] = number(t.ticket);
            }
        }
    }
    blank();
}

void MinutesReport::finish()
{
    keep(10);
    blank();
    text(QStringLiteral("Local: ________________________________________________"), kAtaTextField);
    blank();
    blank();
    blank();
    // Each signature: a line to sign on, the role under it, then the name.
    const QString rule = QStringLiteral("__________________________");
    const QStringList rows[3] = {
        {rule, rule, rule},
        {QStringLiteral("Organizador"), QStringLiteral("1ª testemunha"), QStringLiteral("2ª testemunha")},
        {QStringLiteral("Nome:"), QStringLiteral("Nome:"), QStringLiteral("Nome:")},
    };
    for (const QStringList &row : rows) {
        std::vector<QString> &cells = line(kAtaSignatureField + 3);
        for (size_t k = 0; k < 3; ++k)
            cells[size_t(kAtaSignatureField) + k] = row[qsizetype(k)];
    }
}

} // namespace bolaris
