#pragma once

#include "game/DisplayBoard.h"
#include "game/DrawState.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace bolaris {

// Somewhere the draw is told to besides the players' display (the hall's
// phones and TVs). The Draw panel switches it on and off and tells it the
// draw after every change; how it passes the draw on is its own business.
class DrawFeed {
public:
    virtual ~DrawFeed() = default;

    // Starts passing the draw on; an empty text when it did, else the
    // operator's words for why it could not.
    virtual QString start() = 0;
    // Stops, and lets go of everyone it was telling.
    virtual void stop() = 0;
    virtual bool running() const = 0;
    // Where the players find it, e.g. "http://192.168.0.10:8090/"; empty while stopped.
    virtual QString address() const = 0;

    // The draw after a change. winners and prizes are those of the last scan
    // (one prize name per winner), empty when the change was no ball event.
    virtual void publish(const DisplayBoard &board, DrawMode mode, const QList<TicketRef> &winners,
                         const QStringList &prizes) = 0;
};

} // namespace bolaris
