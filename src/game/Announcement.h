#pragma once

#include "WinnerScan.h"

#include <QByteArray>
#include <QStringList>

#include <optional>
#include <vector>

namespace bolaris {

// One scan's announcement as the draw log keeps it: the winners as numbers,
// the fewest-points list as its tickets, and any other line as text. The
// lines of a winner ("CARTELA 12 SERIE A", "LINHA. Cartão 70") and of the
// list ("MenosPontos(7):", "Cartela12 A.Cartão 70") follow from them, so a
// full hall's thousands of full tickets announced again at every ball cost a
// few bytes, and two announcements are compared without their texts.
struct Announcement {
    // (series * 12001 + ticket) * 4 + prize, in the order announced.
    std::vector<quint32> winners;
    // The winners' lines are theirs (always for the scan's own reports).
    bool winnerLines = true;
    // N of "MenosPontos(N):" when the list is kept as its tickets, else -1.
    int fewestHeading = -1;
    std::vector<quint32> fewest; // series * 12001 + ticket
    QStringList lines;           // the other lines
    bool operator==(const Announcement &) const = default;

    bool isEmpty() const { return winners.empty() && fewestHeading < 0 && lines.isEmpty(); }

    // The announcement of a scan; winners the scan could not have made are
    // kept as lines only.
    static Announcement of(const ScanReport &report);
    // The text box's lines, in order.
    QStringList memoLines() const;
    // One "PRIZE card N series S ticket T" per winner.
    QStringList winnerTexts() const;

    // As changes to the announcement before (runs copied from it and new items).
    QByteArray encode(const Announcement &before) const;
    // Nothing for bytes that are no announcement written against before.
    // With fresh, the winners it did not repeat from before are also put there.
    static std::optional<Announcement> decode(const QByteArray &bytes, const Announcement &before,
                                              std::vector<quint32> *fresh = nullptr);

    static QString winnerText(const QString &prize, const TicketRef &t);
};

} // namespace bolaris
