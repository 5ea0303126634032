#pragma once

#include "HttpHeadReader.h"
#include "WebLimits.h"
#include "WsFrameReader.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

namespace bolaris {

class WebSite;

// One client's side of the conversation, decided from the bytes it sends and
// nothing else (no socket): request heads answered from the site one at a
// time, a request with a body refused without reading the body, the upgrade
// to the live feed, and then the live client's frames. The connection that
// carries it decides when to read and sends what it is given.
class WebExchange {
public:
    enum class Phase { Requests, Live, Ended };

    // What to send after a receive(), in order.
    struct Reply {
        QByteArrayList chunks;
        bool close = false;    // nothing more is read: the connection ends once these are sent
        bool upgraded = false; // a live client now: send it the draw
    };

    WebExchange(const WebSite &site, const WebLimits &limits)
        : m_site(site), m_head(limits.maxLine, limits.maxHead), m_frames(limits.maxFrame)
    {
    }

    // Takes what the client sent, up to the end of one request, or any
    // number of a live client's frames; returns how many bytes it took.
    // Taking stops after a request has been answered, so that the caller can
    // wait until the client has read the answer before taking the next.
    qsizetype receive(QByteArrayView data, Reply &reply);

    Phase phase() const { return m_phase; }
    // Part of a request head has been taken and the rest has not come yet.
    bool headInProgress() const { return m_phase == Phase::Requests && m_head.started(); }
    // Bytes kept now.
    qsizetype held() const { return m_head.held() + m_frames.held(); }

    // The head of an answer; HEAD gets the same head with no body.
    static QByteArray answerHead(int status, QByteArrayView contentType, qsizetype length, bool close,
                                 bool allowHeader);

private:
    void answer(const HttpHead &head, Reply &reply);
    void refuse(int status, Reply &reply, bool allowHeader = false);

    const WebSite &m_site;
    HttpHeadReader m_head;
    WsFrameReader m_frames;
    Phase m_phase = Phase::Requests;
};

} // namespace bolaris
