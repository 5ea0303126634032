#include "WinnerScan.h"

#include "DrawState.h"
#include "cards/CardStore.h"
#include "dataset/Dataset.h"


namespace bolaris {

namespace {

constexpr int kCorners[4] = {0, 4, 10, 14}; // positions 1, 5, 11 and 15 of the ticket

const char *const kMissingTexts[6] = {"", " faltando 1 pedra.", " faltando 2 pedras.", " faltando 3 pedras.",
                                      " faltando 4 pedras.", " faltando 5 pedras."};

} // namespace

WinnerScan::WinnerScan(const CartelaTable &cards, const Dataset &vali, const Dataset &valiC)
    : m_cards(cards), m_vali(vali), m_valiC(valiC)
{
}

int WinnerScan::ScanThreshold(const PrizeSwitches &switches)
{
    if (switches.cantos || switches.linha)
        return 3;
    return switches.twoRows ? 8 : 10;
}

WinnerScan::Stamp WinnerScan::stamp() const
{
    return {&m_cards, m_cards.generation(), m_vali.generation(), m_valiC.generation()};
}

void WinnerScan::refresh()
{
    const Stamp now = stamp();
    if (m_valid && now == m_built)
        return;
    m_tickets.clear();
    m_numbers.clear();
    m_missing.clear();

    // Returned tickets by series and number.
    std::vector<bool> returned(size_t(kSeriesCount) * (kTicketsPerSeries + 1), false);
    if (m_valiC.isOpen()) {
        const int serie = m_valiC.fieldIndex(QStringLiteral("Serie"));
        const int cartao = m_valiC.fieldIndex(QStringLiteral("Cartao"));
        for (int i = 0; serie >= 0 && cartao >= 0 && i < m_valiC.recordCount(); ++i) {
            const Row &row = m_valiC.rowAt(i);
            const QString s = row[size_t(serie)].toString();
            bool ok = false;
            const int t = row[size_t(cartao)].toInt(&ok);
            if (ok && s.size() == 1 && IsSeriesLetter(s.at(0).toLatin1()) && t >= 1 && t <= kTicketsPerSeries)
                returned[size_t(s.at(0).toLatin1() - 'A') * (kTicketsPerSeries + 1) + size_t(t)] = true;
        }
    }

    if (m_vali.isOpen()) {
        const int serie = m_vali.fieldIndex(QStringLiteral("Serie"));
        const int numero = m_vali.fieldIndex(QStringLiteral("Numero"));
        m_tickets.reserve(size_t(m_vali.recordCount()) * 6);
        for (int i = 0; serie >= 0 && numero >= 0 && i < m_vali.recordCount(); ++i) {
            const Row &row = m_vali.rowAt(i);
            const QString s = row[size_t(serie)].toString();
            bool ok = false;
            const int n = row[size_t(numero)].toInt(&ok);
            const char letter = s.size() == 1 ? s.at(0).toLatin1() : 0;
            const std::string_view text = ok && IsSeriesLetter(letter) && n >= 1 && n <= kCardsPerSeries
                                              ? m_cards.card(letter, n)
                                              : std::string_view();
            if (!IsReadableCard(text)) {
                m_missing << QStringLiteral("%1-%2").arg(s).arg(row[size_t(numero)].toString());
                continue;
            }
            for (int position = 1; position <= 6; ++position) {
                const int t = TicketNumber(n, position);
                if (returned[size_t(letter - 'A') * (kTicketsPerSeries + 1) + size_t(t)])
                    continue;
                const std::array<int, 15> numbers = TicketNumbers(text, position);
                Ticket ticket;
                ticket.card = std::uint16_t(n);
                ticket.ticket = std::uint16_t(t);
                ticket.series = letter;
                bool repeated = false;
                for (int p = 0; p < 15; ++p) {
                    Mask &rowMask = ticket.rows[size_t(p / 5)];
                    const Mask before = rowMask;
                    rowMask.add(numbers[size_t(p)]);
                    repeated = repeated || (before.low == rowMask.low && before.high == rowMask.high);
                }
                for (int c : kCorners) {
                    const Mask before = ticket.corners;
                    ticket.corners.add(numbers[size_t(c)]);
                    repeated = repeated || (before.low == ticket.corners.low && before.high == ticket.corners.high);
                }
                if (repeated) {
                    ticket.numbers = std::int32_t(m_numbers.size());
                    std::array<std::uint8_t, 15> bytes{};
                    for (size_t p = 0; p < 15; ++p)
                        bytes[p] = std::uint8_t(numbers[p]);
                    m_numbers.push_back(bytes);
                }
                m_tickets.push_back(ticket);
            }
        }
    }
    m_built = now;
    m_valid = true;
}

ScanReport WinnerScan::CheckWinners(DrawState &draw, const PrizeSwitches &switches)
{
    ScanReport report;
    if (draw.DrawnCount() < ScanThreshold(switches))
        return report;
    report.scanned = true;
    refresh();
    report.missingCards = m_missing;

    Mask drawn;
    for (int n = 1; n <= DrawState::kBalls; ++n)
        if (draw.drawn(n))
            drawn.add(n);

    const bool armed = draw.FewestPointsArmed();
    if (armed) {
        m_fewest.clear();
        report.fewestRebuilt = true;
    }
    int maxMissing = 0;

    for (const Ticket &ticket : m_tickets) {
        std::array<int, 3> rowMissing{};
        int cornersMissing = 0;
        if (ticket.numbers < 0) {
            for (size_t r = 0; r < 3; ++r)
                rowMissing[r] = ticket.rows[r].missing(drawn);
            cornersMissing = ticket.corners.missing(drawn);
        } else {
            const auto &numbers = m_numbers[size_t(ticket.numbers)];
            for (size_t p = 0; p < 15; ++p)
                rowMissing[p / 5] += !draw.drawn(numbers[p]);
            for (int c : kCorners)
                cornersMissing += !draw.drawn(numbers[size_t(c)]);
        }
        const int total = rowMissing[0] + rowMissing[1] + rowMissing[2];
        report.oneShort = report.oneShort || total == 1;
        report.fullTicket = report.fullTicket || total == 0;

        const TicketRef ref{ticket.card, QChar::fromLatin1(ticket.series), ticket.ticket};
        if (armed) {
            if (total > maxMissing) {
                maxMissing = total;
                m_fewest.clear();
            }
            if (total == maxMissing)
                m_fewest.append(ref);
        }

        const auto count = [&](int missing, const char *prize) {
            if (missing > 5)
                return false;
            ++report.missCount[size_t(missing)];
            if (missing != 0)
                return false;
            report.lines << QStringLiteral("CARTELA %1 SERIE %2").arg(ref.card).arg(ref.series);
            report.lines << QString::fromUtf8(prize) + QString::number(ref.ticket);
            report.winners << ref;
            report.prizes << QString::fromUtf8(prize).section(QLatin1Char('.'), 0, 0);
            return true;
        };
        if (switches.cantos && count(cornersMissing, "CANTOS. Cartão "))
            report.won.cantos = true;
        if (switches.linha) {
            for (int r = 0; r < 3; ++r)
                if (count(rowMissing[size_t(r)], "LINHA. Cartão "))
                    report.won.linha = true;
        }
        if (switches.twoRows) {
            for (const auto &[a, b] : {std::pair{0, 1}, std::pair{0, 2}, std::pair{1, 2}})
                if (count(rowMissing[size_t(a)] + rowMissing[size_t(b)], "2 LINHAS. Cartão "))
                    report.won.twoRows = true;
        }
        count(total, "CARTAO. Cartão ");
    }

    if (report.oneShort)
        draw.setFewestPointsArmed(true);
    if (report.missCount[0] == 0) {
        for (int k = 1; k <= 5; ++k)
            if (report.missCount[size_t(k)] > 0)
                report.lines << QString::number(report.missCount[size_t(k)]) + QString::fromUtf8(kMissingTexts[k]);
    }
    report.maxMissing = maxMissing;
    report.fewest = m_fewest;
    if (!report.winners.isEmpty() && draw.FewestPointsArmed() && report.fullTicket) {
        report.fewestLines << QStringLiteral("MenosPontos(%1):").arg(15 - maxMissing);
        for (const TicketRef &entry : m_fewest)
            report.fewestLines << QStringLiteral("Cartela%1 %2.Cartão %3").arg(entry.card).arg(entry.series).arg(entry.ticket);
    }
    return report;
}

} // namespace bolaris
