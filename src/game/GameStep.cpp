#include "GameStep.h"

namespace bolaris {

GameStep::GameStep(const CartelaTable &cards, const Dataset &vali, const Dataset &valiC)
    : m_scan(std::make_unique<WinnerScan>(cards, vali, valiC))
{
}

GameStep::~GameStep() = default;

GameStep::Result GameStep::step(DrawState &draw)
{
    Result result;
    result.report = m_scan->CheckWinners(draw, m_switches);
    const PrizeSwitches &won = result.report.won;
    result.switchedOff = {m_switches.cantos && won.cantos, m_switches.linha && won.linha,
                          m_switches.twoRows && won.twoRows};
    m_switches = m_switches.without(won);
    if (!result.report.missingCards.isEmpty() && !m_missingTold) {
        m_missingTold = true;
        result.missingToTell = result.report.missingCards;
    }
    return result;
}

} // namespace bolaris
