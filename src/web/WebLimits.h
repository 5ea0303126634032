#pragma once

#include <QtGlobal>

namespace bolaris {

// Limits that keep an open hall network from holding up or exhausting the
// program. Every byte the server keeps for one client is bounded by them:
// its unfinished request head, the answers and pongs it has not read, and the
// live feed it is behind on.
struct WebLimits {
    int maxConnections = 2000;       // more at once are refused
    int maxPerAddress = 16;          // connections from one address at once
    int maxLine = 8 * 1024;          // bytes of one line of a request head
    int maxHead = 32 * 1024;         // bytes of a request head
    int headTimeoutMs = 10'000;      // a request head must be complete this soon after its first byte
    int idleTimeoutMs = 60'000;      // a page connection without a request or a byte taken is closed
    qint64 maxQueuedBytes = 1 << 20; // a live client further behind than this is dropped
    int maxFrame = 1024;             // bytes of a message a phone may send on the live feed
    int lingerMs = 2000;             // a closing connection's unread input is discarded this long
    qint64 maxDiscard = 64 * 1024;   // and up to this many bytes, then it is closed
};

} // namespace bolaris
