#pragma once

#include "LiveDraw.h"
#include "WebLimits.h"
#include "WebSite.h"
#include "draw/DrawFeed.h"

#include <QObject>

#include <memory>
#include <thread>

namespace bolaris {

class CartelaTable;
class WebWorker;

// Serves the draw to the hall's phones and TVs: the page, its state as JSON
// and a live WebSocket feed, on every interface of the machine. All serving
// runs in a thread of its own, over the program's own reading of HTTP and
// WebSocket (WebExchange), so that what it keeps for each client is bounded
// by WebLimits, on an epoll loop of its own (WebLoop); the user-interface
// thread only turns the draw into JSON and posts it.
class WebServer : public QObject, public DrawFeed {
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 8090;

    explicit WebServer(const CartelaTable &cards, QObject *parent = nullptr);
    ~WebServer() override;

    void setLimits(const WebLimits &limits) { m_limits = limits; }
    // The port to listen on: BOLARIS_WEB_PORT when it holds one, else 8090.
    static quint16 configuredPort();
    // The port actually listened on while running.
    quint16 port() const { return m_port; }
    // How many connections are open now (tests and benchmarks).
    int connectionCount() const;
    int liveClientCount() const;
    // Bytes kept for clients now: the most for one, and all together.
    struct Held {
        qint64 largest = 0;
        qint64 total = 0;
    };
    Held held() const;

    QString start() override;
    void stop() override;
    bool running() const override { return m_port != 0; }
    QString address() const override;
    void publish(const DisplayBoard &board, DrawMode mode, const QList<TicketRef> &winners,
                 const QStringList &prizes) override;

    const LiveDraw &live() const { return m_live; }

    // The machine's address on the local network, or the loopback address when it has none.
    static QString lanAddress();

private:
    const CartelaTable &m_cards;
    WebLimits m_limits;
    LiveDraw m_live;
    std::unique_ptr<WebWorker> m_worker;
    std::thread m_thread;
    quint16 m_port = 0;
};

} // namespace bolaris
