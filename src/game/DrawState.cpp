#include "DrawState.h"

#include "BallSource.h"

namespace bolaris {

void DrawState::reset()
{
    m_drawn.fill(false);
    m_sequence.clear();
    m_count = 0;
    m_order = heading();
    m_last.clear();
    m_lastBall = 0;
    m_lastDrew = false;
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
    return drawBall(ball);
}

BallEvent DrawState::drawBall(int ball)
{
    m_drawn[size_t(ball)] = true;
    m_sequence.append(ball);
    ++m_count;
    const QString entry = QStringLiteral("%1").arg(ball, 2, 10, QLatin1Char('0'));
    record(entry, entry);
    m_lastBall = ball;
    m_lastDrew = true;
    return BallEvent{ball, true, DrawMode::Electronic, entry};
}

std::optional<BallEvent> DrawState::replay(int ball, bool drawn)
{
    if (ball < 1 || ball > kBalls || this->drawn(ball) == drawn)
        return std::nullopt;
    if (m_mode == DrawMode::Manual)
        return clickManual(ball);
    if (m_mode == DrawMode::Electronic && drawn)
        return drawBall(ball);
    return std::nullopt;
}

std::optional<BallEvent> DrawState::clickManual(int ball)
{
    if (m_mode != DrawMode::Manual || ball < 1 || ball > kBalls)
        return std::nullopt;
    const QString caption = QString::number(ball);
    bool &flag = m_drawn[size_t(ball)];
    flag = !flag;
    m_count += flag ? 1 : -1;
    if (flag)
        m_sequence.append(ball);
    else
        m_sequence.removeOne(ball);
    const QString entry = flag ? caption : QLatin1Char('-') + caption;
    record(entry, caption);
    m_lastBall = ball;
    m_lastDrew = flag;
    return BallEvent{ball, flag, DrawMode::Manual, entry};
}

} // namespace bolaris
