#include "BallSource.h"

namespace bolaris {

int SystemBallSource::value(int range)
{
    return int(QRandomGenerator::system()->bounded(quint32(range)));
}

int SeededBallSource::value(int range) { return int(m_generator.bounded(quint32(range))); }

int ScriptedBallSource::value(int range)
{
    Q_UNUSED(range);
    return m_values.isEmpty() ? 0 : m_values.takeFirst();
}

} // namespace bolaris
