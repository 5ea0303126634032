#include "BallMedia.h"

#include "dataset/WorkDir.h"

#include <cmath>

namespace bolaris::BallMedia {

QString soundName(int ball) { return QStringLiteral("spbl%1.wav").arg(ball); }
QString pictureName(int ball) { return QStringLiteral("imbl%1.jpg").arg(ball); }

QString soundFor(const QString &dir, int ball)
{
    const QString own = soundName(ball);
    return WorkDir::resolve(dir, WorkDir::exists(dir, own) ? own : fallbackSoundName());
}

QString pictureFor(const QString &dir, int ball)
{
    const QString own = pictureName(ball);
    return WorkDir::exists(dir, own) ? WorkDir::resolve(dir, own) : QString();
}

std::array<QRect, 10> zoomSteps(int left0, int top0)
{
    // Rounded to the nearest integer, halves to even.
    const auto rnd = [](double x) { return int(std::nearbyint(x)); };
    const double dTop = (0 - top0) / 10.0;
    const double dLeft = (34 - left0) / 10.0;
    std::array<QRect, 10> steps;
    for (int i = 1; i <= 10; ++i)
        steps[size_t(i - 1)] = QRect(left0 + rnd(i * dLeft), top0 + rnd(i * dTop), rnd(i * 67.3) + 48,
                                     rnd(i * 47.4) + 48);
    return steps;
}

} // namespace bolaris::BallMedia
