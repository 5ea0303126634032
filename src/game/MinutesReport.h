#pragma once

#include "DrawLog.h"
#include "DrawMinutes.h"
#include "report/ReportData.h"
#include "report/ReportDefinition.h"

#include <QDate>
#include <QString>

#include <optional>
#include <vector>

namespace bolaris {

class CartelaTable;

// The minutes ("Ata do sorteio") of one or more draws laid out for the report
// engine: one band per line on A4 paper, the ata's title and the page's number
// on every page, each draw's sections in turn (how it ran, its seal, what
// competed, the balls, the prizes with their winners), then the place and the
// signatures of the organiser and two witnesses. Draws are added one at a
// time, so only the lines are kept, never every draw's replay.
class MinutesReport {
public:
    explicit MinutesReport(const QString &title);

    // The ata of the given draws of dir's draw log, each replayed through one
    // game step on cards (an older draw against today's registry), with the
    // log's check of its seals; a number not in the log is left out. Throws
    // DatasetError when the log cannot be read.
    static MinutesReport ofDraws(const QString &dir, const QList<int> &numbers, const QString &title,
                                 const CartelaTable &cards, const CompetingSet &today);

    // The draw log's own check of its seals, said with every draw added after it.
    void setLogCheck(const DrawLogWriter::Check &check) { m_check = check; }
    void add(const DrawMinutes &draw);
    // The closing lines; call once, after the last draw.
    void finish();

    const ReportDefinition &definition() const { return m_definition; }
    const ReportData &data() const { return m_data; }
    ReportData takeData() { return std::move(m_data); }
    int pageCount() const;
    int drawCount() const { return m_draws; }

    // "Ata do sorteio nº 3", "Ata dos sorteios de 11/12/2026".
    static QString drawTitle(int number);
    static QString dayTitle(const QDate &day);
    // "ABCD EF01 2345 6789", or the words for a draw logged without a seal.
    static QString sealWords(const QByteArray &seal);

private:
    std::vector<QString> &line(int fields);
    void text(const QString &text, int field);
    void blank();
    // Starts a new page unless `lines` more fit on this one.
    void keep(int lines);
    void competing(const DrawMinutes &draw);
    void balls(const DrawMinutes &draw);
    void prizes(const DrawMinutes &draw);
    const QString &number(int n);

    ReportDefinition m_definition;
    ReportData m_data;
    int m_perPage = 1;
    int m_draws = 0;
    std::optional<DrawLogWriter::Check> m_check;
    std::vector<QString> m_numbers; // shared texts of the card and ticket numbers
};

} // namespace bolaris
