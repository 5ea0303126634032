#include "DrawState.h"

#include "BallSource.h"

namespace bolaris {

void DrawState::reset()
{
    m_drawn.fill(false);
    m_count = 0;
    m_order = heading();
    m_last.clear();
}

void DrawState::start(DrawMode mode)
{
    m_fewestArmed = false;
    reset();
    m_mode = mode;
}

void DrawState::end()
{
    reset();
    m_mode = DrawMode::Idle;
}

void DrawState::record(const QString &entry, const QString &last)
{
    m_order += entry;
    m_order += QLatin1Char(' ');
    m_last = last;
}

std::optional<BallEvent> DrawState::drawElectronic(BallSource &source)
{
    if (!canDrawElectronic())
        return std::nullopt;
    const int left = remaining();
    int value = source.value(left);
    if (value < 0 || value >= left) // a faulty source never picks a drawn ball
        value = 0;
    int ball = 0;
    for (int n = 1, seen = 0; n <= kBalls; ++n) {
        if (!m_drawn[size_t(n)] && seen++ == value) {
            ball = n;
            break;
        }
    }
    m_drawn[size_t(ball)] = true;
    ++m_count;
    const QString entry = QStringLiteral("%1").arg(ball, 2, 10, QLatin1Char('0'));
    record(entry, entry);
    return BallEvent{ball, true, DrawMode::Electronic, entry};
}

std::optional<BallEvent> DrawState::clickManual(int ball)
{
    if (m_mode != DrawMode::Manual || ball < 1 || ball > kBalls)
        return std::nullopt;
    const QString caption = QString::number(ball);
    bool &flag = m_drawn[size_t(ball)];
    flag = !flag;
    m_count += flag ? 1 : -1;
    const QString entry = flag ? caption : QLatin1Char('-') + caption;
    record(entry, caption);
    return BallEvent{ball, flag, DrawMode::Manual, entry};
}

} // namespace bolaris
