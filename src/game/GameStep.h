#pragma once

#include "WinnerScan.h"

#include <memory>

namespace bolaris {

class CartelaTable;
class Dataset;
class DrawState;

// One step of a draw's game: the scan after a ball event with the prize
// switches in play, and the rules that follow it. Won extra prizes switch
// themselves off; the text box gets the scan's lines, then the fewest-points
// list; validated cards missing from the card store are told once a draw.
// The Draw panel and the tool's replays both play a draw through it.
class GameStep {
public:
    GameStep(const CartelaTable &cards, const Dataset &vali, const Dataset &valiC);
    ~GameStep();

    // A draw starts: its first scan tells the missing cards again.
    void newDraw() { m_missingTold = false; }

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

private:
    std::unique_ptr<WinnerScan> m_scan;
    PrizeSwitches m_switches;
    bool m_missingTold = false;
};

} // namespace bolaris
