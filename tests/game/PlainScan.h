#pragma once

// The scan read plainly, record by record: each card text decoded at every
// scan and each ticket looked up in the returned tickets. The reference the
// indexed scan is held against, in tests and in the benchmark.

#include "cards/CardStore.h"
#include "dataset/Dataset.h"
#include "game/DrawState.h"
#include "game/WinnerScan.h"

#include <functional>

namespace bolaris::test {

class PlainScan {
public:
    // Looks a returned ticket up: by default an exact lookup in the returned
    // tickets' dataset.
    std::function<bool(Dataset &valiC, const QString &serie, int ticket)> isReturned =
        [](Dataset &valiC, const QString &serie, int ticket) {
            return valiC.recordCount() > 0 && valiC.locate(QStringLiteral("Serie;Cartao"), {serie, ticket});
        };

    ScanReport CheckWinners(const CartelaTable &cards, Dataset &vali, Dataset &valiC, DrawState &draw,
                            const PrizeSwitches &switches)
    {
        ScanReport report;
        if (draw.DrawnCount() < WinnerScan::ScanThreshold(switches))
            return report;
        report.scanned = true;
        const bool armed = draw.FewestPointsArmed();
        int maxMissing = 0;
        if (armed) {
            m_fewest.clear();
            report.fewestRebuilt = true;
        }
        for (vali.first(); !vali.eof(); vali.next()) {
            const QString serie = vali.asString(QStringLiteral("Serie"));
            const int n = vali.asInteger(QStringLiteral("Numero"));
            const char letter = serie.size() == 1 ? serie.at(0).toLatin1() : 0;
            const std::string_view text =
                IsSeriesLetter(letter) && n >= 1 && n <= kCardsPerSeries ? cards.card(letter, n) : std::string_view();
            if (!IsReadableCard(text)) {
                report.missingCards << QStringLiteral("%1-%2").arg(serie).arg(n);
                continue;
            }
            for (int i = 1; i <= 6; ++i) {
                const int t = 6 * (n - 1) + i;
                if (isReturned(valiC, serie, t))
                    continue;
                int rowMissing[3] = {5, 5, 5};
                int cornersMissing = 4;
                for (int p = 1; p <= 15; ++p) {
                    // The cell's digits without its blanks.
                    const size_t at = size_t(2 * (15 * (i - 1) + p - 1));
                    int number = 0;
                    for (size_t c = at; c < at + 2; ++c)
                        if (text[c] != ' ')
                            number = number * 10 + (text[c] - '0');
                    if (draw.drawn(number)) {
                        --rowMissing[(p - 1) / 5];
                        if (p == 1 || p == 5 || p == 11 || p == 15)
                            --cornersMissing;
                    }
                }
                const int total = rowMissing[0] + rowMissing[1] + rowMissing[2];
                if (total == 1)
                    report.oneShort = true;
                if (total == 0)
                    report.fullTicket = true;
                const TicketRef ref{n, QChar::fromLatin1(letter), t};
                if (armed) {
                    if (total > maxMissing) {
                        maxMissing = total;
                        m_fewest.clear();
                    }
                    if (total == maxMissing)
                        m_fewest << ref;
                }
                auto count = [&](int m, const QString &text) {
                    if (m > 5)
                        return false;
                    ++report.missCount[size_t(m)];
                    if (m)
                        return false;
                    report.lines << QStringLiteral("CARTELA ") + QString::number(n) + QStringLiteral(" SERIE ") + serie;
                    report.lines << text + QString::number(t);
                    report.winners << ref;
                    report.prizes << text.section(QLatin1Char('.'), 0, 0);
                    return true;
                };
                if (switches.cantos && count(cornersMissing, QStringLiteral("CANTOS. Cartão ")))
                    report.won.cantos = true;
                if (switches.linha)
                    for (int r = 0; r < 3; ++r)
                        if (count(rowMissing[r], QStringLiteral("LINHA. Cartão ")))
                            report.won.linha = true;
                if (switches.twoRows) {
                    if (count(rowMissing[0] + rowMissing[1], QStringLiteral("2 LINHAS. Cartão ")))
                        report.won.twoRows = true;
                    if (count(rowMissing[0] + rowMissing[2], QStringLiteral("2 LINHAS. Cartão ")))
                        report.won.twoRows = true;
                    if (count(rowMissing[1] + rowMissing[2], QStringLiteral("2 LINHAS. Cartão ")))
                        report.won.twoRows = true;
                }
                count(total, QStringLiteral("CARTAO. Cartão "));
            }
        }
        if (report.oneShort)
            draw.setFewestPointsArmed(true);
        if (report.missCount[0] == 0) {
            const char *texts[] = {"", " faltando 1 pedra.", " faltando 2 pedras.", " faltando 3 pedras.",
                                   " faltando 4 pedras.", " faltando 5 pedras."};
            for (int k = 1; k <= 5; ++k)
                if (report.missCount[size_t(k)] > 0)
                    report.lines << QString::number(report.missCount[size_t(k)]) + QString::fromUtf8(texts[k]);
        }
        report.maxMissing = maxMissing;
        report.fewest = m_fewest;
        if (!report.winners.isEmpty() && draw.FewestPointsArmed() && report.fullTicket) {
            report.fewestLines << QStringLiteral("MenosPontos(") + QString::number(15 - maxMissing) +
                                      QStringLiteral("):");
            for (const TicketRef &e : m_fewest)
                report.fewestLines << QStringLiteral("Cartela") + QString::number(e.card) + QStringLiteral(" ") +
                                          QString(e.series) + QStringLiteral(".Cartão ") + QString::number(e.ticket);
        }
        return report;
    }

private:
    QList<TicketRef> m_fewest; // carried from scan to scan, as the list's dataset is
};

} // namespace bolaris::test
