#pragma once

#include <QtGlobal>

namespace bolaris {

// A millisecond tick count that wraps around at 2^32, like a system uptime counter.
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual quint32 ticks() = 0;
};

// The monotonic clock, cut to 32 bits.
class MonotonicTicks : public TickClock {
public:
    quint32 ticks() override;
};

// Waits the given milliseconds while the window keeps handling its events
// (input, painting, timers). The elapsed time is taken modulo 2^32, so the
// wait is right also when the tick count wraps around during it.
void Delay(int milliseconds, TickClock &clock);
void Delay(int milliseconds);

} // namespace bolaris
