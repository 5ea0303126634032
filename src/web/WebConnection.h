#pragma once

#include "WebExchange.h"
#include "WebLimits.h"
#include "WebLoop.h"

#include <QByteArray>

#include <deque>
#include <functional>

namespace bolaris {

class WebSite;

// One client's socket in the serving thread. It reads from the client only
// while every answer to what the client sent before has left the program,
// so a client that sends requests (or pings) without reading the answers
// soon finds its own sending held up by the system, and the program never
// keeps more for it than one answer. What it sends is queued as shared byte
// arrays: the page's files and a live frame sent to every phone are held
// once, however many clients have them waiting. Its socket is watched for
// writing only while the system refuses bytes.
class WebConnection final : public WebLoop::Watcher {
public:
    WebConnection(int fd, QByteArray address, const WebSite &site, const WebLimits &limits, WebLoop &loop);
    ~WebConnection();
    WebConnection(const WebConnection &) = delete;
    WebConnection &operator=(const WebConnection &) = delete;

    // Called once the connection has ended (the socket is closed); it may
    // then be deleted once the loop's events at hand are handled, not before.
    std::function<void(WebConnection *)> onEnded;
    // Called when the client became a live client.
    std::function<void(WebConnection *)> onUpgraded;

    // False when the socket cannot be watched (the connection has then ended).
    bool start(qint64 now);
    // A live frame, sent at once as far as the system takes it: false, with
    // the connection ended, when the client is already further behind than
    // the limit allows or its socket failed.
    bool sendLive(const QByteArray &frame);
    // Ends a connection whose time limit has passed.
    void checkTime(qint64 now);
    // Ends it at once; a live client is told that the server is going away.
    void end(bool goingAway = false);

    const QByteArray &address() const { return m_address; }
    bool isLive() const { return m_exchange.phase() == WebExchange::Phase::Live && !m_ended; }
    bool hasEnded() const { return m_ended; }
    // Bytes the program keeps for this client: what waits to be sent, what
    // was received and not yet taken, and the exchange's own.
    qint64 held() const;

private:
    struct Chunk {
        QByteArray bytes;
        bool answer; // caused by the client's own sending (an answer, a pong), not a live frame
    };

    void ready(std::uint32_t events) override;
    void readable();
    void writable();
    // Reads and answers as far as the limits let it now.
    void pump();
    void take(QByteArrayView data);
    void queue(const QByteArray &bytes, bool answer);
    // Sends what the system takes now; false when the socket has failed.
    bool flush();
    void setReading(bool on) { watch(on, m_writing); }
    void setWriting(bool on) { watch(m_reading, on); }
    void watch(bool read, bool write);
    // Every answer is sent: stop sending, then read and drop what the client
    // still sends for a short while, so that the close does not discard the
    // answer on the client's side.
    void linger();

    int m_fd;
    QByteArray m_address;
    const WebLimits &m_limits;
    WebLoop &m_loop;
    WebExchange m_exchange;
    bool m_reading = false;
    bool m_writing = false;
    std::deque<Chunk> m_queue;
    qsizetype m_sentOfFirst = 0;
    qint64 m_queued = 0;        // bytes waiting to be sent
    qint64 m_answersQueued = 0; // of them, answers to the client's own sending
    QByteArray m_unread;        // received but not yet taken (the next pipelined request)
    qint64 m_headSince = -1;    // when the head in progress began
    qint64 m_lastActivity = 0;  // the last answer made or byte sent
    qint64 m_lingerSince = -1;
    qint64 m_discarded = 0;
    bool m_closing = false;    // nothing more is taken; the connection ends once its queue is sent
    bool m_peerClosed = false; // the client has closed its side
    bool m_ended = false;
    bool m_inPump = false;
};

} // namespace bolaris
