#pragma once

#include "CompetingSet.h"
#include "WinnerScan.h"

#include <memory>
#include <vector>

namespace bolaris {

class CartelaTable;
class Dataset;
class DrawState;

// A prize of the draw as it stands: the ticket, the pattern and the ball
// that won it.
struct PrizeWon {
    QString prize;    // CANTOS, LINHA, 2 LINHAS or CARTAO
    int pattern = 0;  // the row (0..2) of a line, the pair of rows (0..2) of two lines
    TicketRef ticket;
    int ball = 0;     // the ball whose event won it
    int order = 0;    // the balls drawn then: the ball's place in the draw
    bool operator==(const PrizeWon &) const = default;
};

// One step of a draw's game: the scan after a ball event with the prize
// switches in play, and the rules that follow it. Won extra prizes switch
// themselves off; the text box gets the scan's lines, then the fewest-points
// list; validated cards missing from the card store are told once a draw.
// What competes is fixed when the draw starts: entries made during it count
// from the next draw. The Draw panel and the tool's replays both play a draw
// through it.
class GameStep {
public:
    explicit GameStep(const CartelaTable &cards);
    ~GameStep();

    // A draw starts with what competes in it; its first scan tells the
    // missing cards again, and it has won nothing yet.
    void newDraw(const CompetingSet &competing);
    const CompetingSet &competing() const { return m_competing; }
    // True once a draw has started through this game step.
    bool hasDraw() const { return m_hasDraw; }

    // The extra prizes in play for the next step (the operator may tick or untick them).
    const PrizeSwitches &switches() const { return m_switches; }
    void setSwitches(const PrizeSwitches &switches) { m_switches = switches; }

    struct Result {
        ScanReport report;
        QStringList missingToTell; // cards not in the card store, non-empty once a draw
        PrizeSwitches switchedOff; // switches that a won prize turned off in this step
    };
    // The scan after a ball event of the draw; arms the fewest-points list in
    // the draw state when some ticket is one number short.
    Result step(DrawState &draw);

    // Every prize of the draw so far in the order won. A prize is noted at
    // the ball event that first announced it; a ball taken back removes the
    // prizes it undid.
    const QList<PrizeWon> &prizes() const { return m_prizes; }

private:
    void notePrizes(const ScanReport &report, const DrawState &draw);
    bool stillWon(const PrizeWon &prize, const DrawState &draw) const;
    // A number per prize, ticket and pattern: the prizes standing are marked by it.
    static int prizeKey(const PrizeWon &prize);
    static constexpr int kStandingKeys = kSeriesCount * (kTicketsPerSeries + 1) * 4 * 3;

    const CartelaTable &m_cards;
    CompetingSet m_competing;
    // The competing set as the scan reads it, made when a draw starts.
    std::unique_ptr<Dataset> m_vali;
    std::unique_ptr<Dataset> m_valiC;
    std::unique_ptr<WinnerScan> m_scan;
    PrizeSwitches m_switches;
    bool m_missingTold = false;
    bool m_hasDraw = false;
    QList<PrizeWon> m_prizes;
    std::vector<bool> m_standing = std::vector<bool>(kStandingKeys, false);
};

} // namespace bolaris
