#include "WebServer.h"

#include "cards/CardStore.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QNetworkInterface>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <sys/resource.h>


namespace bolaris {

namespace {

QByteArrayView methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get: return "GET";
    case QHttpServerRequest::Method::Head: return "HEAD";
    case QHttpServerRequest::Method::Post: return "POST";
    case QHttpServerRequest::Method::Put: return "PUT";
    case QHttpServerRequest::Method::Delete: return "DELETE";
    case QHttpServerRequest::Method::Options: return "OPTIONS";
    case QHttpServerRequest::Method::Patch: return "PATCH";
    case QHttpServerRequest::Method::Trace: return "TRACE";
    case QHttpServerRequest::Method::Connect: return "CONNECT";
    default: return "OTHER";
    }
}

// Watches one connection for the limits of a request head and for clients
// that send too slowly or not at all. It is a child of the socket, so it
// lives exactly as long as the connection and counts it meanwhile.
class ConnectionGuard;
using Guards = QSet<ConnectionGuard *>;

class ConnectionGuard : public QObject {
public:
    ConnectionGuard(QTcpSocket *socket, const WebLimits &limits, Guards &open)
        : QObject(socket), m_socket(socket), m_limits(limits), m_open(open)
    {
        m_open.insert(this);
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, socket, &QTcpSocket::abort);
        connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::scan);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        m_timer.start(m_limits.headTimeoutMs); // a client that connects and says nothing
    }
    ~ConnectionGuard() override { m_open.remove(this); }

    QTcpSocket *socket() const { return m_socket; }

    // The connection became a live feed: no request heads any more, and idle is normal.
    void upgraded()
    {
        m_upgraded = true;
        m_timer.stop();
        disconnect(m_socket, &QTcpSocket::readyRead, this, &ConnectionGuard::scan);
        // The WebSocket owns the connection now and ends it itself.
        disconnect(m_socket, &QTcpSocket::disconnected, m_socket, &QObject::deleteLater);
    }

private:
    // Runs before the HTTP server reads the new bytes: it measures them without interpreting them.
    void scan()
    {
        if (m_upgraded || !m_socket->isReadable())
            return;
        const QByteArray bytes = m_socket->peek(m_socket->bytesAvailable());
        for (char c : bytes) {
            if (c == '\n') {
                if (m_line == 0) { // a blank line ends the head
                    m_inHead = false;
                    m_head = 0;
                    m_timer.start(m_limits.idleTimeoutMs);
                }
                m_line = 0;
                continue;
            }
            if (c == '\r')
                continue;
            if (!m_inHead) {
                m_inHead = true;
                m_timer.start(m_limits.headTimeoutMs);
            }
            if (++m_line > m_limits.maxLine || ++m_head > m_limits.maxHead) {
                m_socket->abort();
                return;
            }
        }
    }

    QTcpSocket *m_socket;
    const WebLimits &m_limits;
    Guards &m_open;
    QTimer m_timer;
    int m_line = 0;
    int m_head = 0;
    bool m_inHead = false;
    bool m_upgraded = false;
};

// Takes connections up to the limit and puts a guard on each; the rest are closed at once.
class GuardedTcpServer : public QTcpServer {
public:
    GuardedTcpServer(const WebLimits &limits, Guards &open) : m_limits(limits), m_open(open) {}

protected:
    void incomingConnection(qintptr handle) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(handle) || m_open.size() >= m_limits.maxConnections) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        new ConnectionGuard(socket, m_limits, m_open);
        addPendingConnection(socket);
    }

private:
    const WebLimits &m_limits;
    Guards &m_open;
};

// Qt's HTTP server with the site's answers; only GET and HEAD get anything.
class SiteHttpServer : public QAbstractHttpServer {
public:
    explicit SiteHttpServer(const WebSite &site) : m_site(site) {}

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        // Taken but left unanswered, an upgrade goes on to Qt's WebSocket handshake.
        if (request.value("Upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
            return true;
        const bool head = request.method() == QHttpServerRequest::Method::Head;
        const WebReply reply = m_site.reply(methodName(request.method()), request.url());
        QHttpServerResponder responder = makeResponder(request, socket);
        responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
        responder.writeHeader("Content-Type", reply.contentType);
        responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
        responder.writeHeader("Cache-Control", "no-store");
        responder.writeHeader("X-Content-Type-Options", "nosniff");
        if (reply.status == 405)
            responder.writeHeader("Allow", "GET, HEAD");
        responder.writeBody(head ? QByteArray() : reply.body);
        return true;
    }
    void missingHandler(const QHttpServerRequest &, QTcpSocket *) override {}

private:
    const WebSite &m_site;
};

// A desktop session often allows a process 1,024 open files: raise that
// towards the system's ceiling so that the connection limit is ours to keep.
void allowOpenFiles(rlim_t wanted)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= wanted)
        return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
}

} // namespace

// Lives in the serving thread: the listening socket, the HTTP server, the live clients.
class WebWorker : public QObject {
public:
    WebWorker(const WebLimits &limits, std::shared_ptr<const std::vector<std::string>> cards)
        : m_limits(limits), m_site(std::move(cards))
    {
    }
    ~WebWorker() override { close(); }

    QString listen(quint16 port, const QByteArray &state)
    {
        m_site.setState(state);
        m_tcp = new GuardedTcpServer(m_limits, m_open);
        m_tcp->setParent(this);
        m_tcp->setMaxPendingConnections(256);
        if (!m_tcp->listen(QHostAddress::Any, port)) {
            const QString error = m_tcp->errorString();
            delete m_tcp;
            m_tcp = nullptr;
            return error.isEmpty() ? QStringLiteral("erro desconhecido") : error;
        }
        m_http = new SiteHttpServer(m_site);
        m_http->setParent(this);
        m_http->bind(m_tcp); // which takes it as a child
        QObject::connect(m_http, &QAbstractHttpServer::newWebSocketConnection, this, [this] { acceptLive(); });
        return {};
    }

    quint16 port() const { return m_tcp ? m_tcp->serverPort() : 0; }

    void close()
    {
        const QSet<QWebSocket *> live = std::exchange(m_live, {});
        for (QWebSocket *ws : live) {
            ws->disconnect(this);
            delete ws;
        }
        if (m_tcp)
            m_tcp->close();
        const Guards open = m_open;
        for (ConnectionGuard *g : open)
            delete g->socket(); // closes it; its guard goes with it
        delete m_http; // the listening socket with it
        m_http = nullptr;
        m_tcp = nullptr;
    }

    void publish(const QByteArray &state)
    {
        m_site.setState(state);
        const QString message = QString::fromUtf8(state);
        for (QWebSocket *ws : std::as_const(m_live))
            send(ws, message);
    }

    int open() const { return int(m_open.size()); }
    int live() const { return int(m_live.size()); }

private:
    void acceptLive()
    {
        while (m_http && m_http->hasPendingWebSocketConnections()) {
            QWebSocket *ws = m_http->nextPendingWebSocketConnection().release();
            ws->setParent(this);
            markUpgraded(ws);
            if (ws->requestUrl().path() != QLatin1String(WebSite::kLivePath)) {
                ws->abort();
                ws->deleteLater();
                continue;
            }
            ws->setMaxAllowedIncomingFrameSize(1024);
            ws->setMaxAllowedIncomingMessageSize(1024);
            m_live.insert(ws);
            QObject::connect(ws, &QWebSocket::disconnected, this, [this, ws] {
                m_live.remove(ws);
                ws->deleteLater();
            });
            send(ws, QString::fromUtf8(m_site.state()));
        }
    }

    // The TCP connection under a new live client no longer follows the rules of request heads.
    void markUpgraded(QWebSocket *ws)
    {
        if (!m_tcp)
            return;
        for (ConnectionGuard *g : std::as_const(m_open)) {
            const QTcpSocket *socket = g->socket();
            if (socket->peerPort() == ws->peerPort() && socket->peerAddress() == ws->peerAddress())
                g->upgraded();
        }
    }

    // A client that has not taken what it was sent is dropped instead of queued for.
    void send(QWebSocket *ws, const QString &message)
    {
        if (ws->bytesToWrite() > m_limits.maxQueuedBytes) {
            ws->abort();
            return;
        }
        ws->sendTextMessage(message);
    }

    const WebLimits &m_limits;
    WebSite m_site;
    Guards m_open;
    GuardedTcpServer *m_tcp = nullptr;
    SiteHttpServer *m_http = nullptr;
    QSet<QWebSocket *> m_live;
};

WebServer::WebServer(const CartelaTable &cards, QObject *parent) : QObject(parent), m_cards(cards)
{
    m_thread.setObjectName(QStringLiteral("web"));
}

WebServer::~WebServer() { stop(); }

quint16 WebServer::configuredPort()
{
    bool ok = false;
    const uint port = qEnvironmentVariable("BOLARIS_WEB_PORT").trimmed().toUInt(&ok);
    return ok && port <= 65535 ? quint16(port) : kDefaultPort;
}

QString WebServer::start()
{
    if (running())
        return {};
    const quint16 wanted = configuredPort();
    allowOpenFiles(rlim_t(m_limits.maxConnections) + 512);
    m_worker = new WebWorker(m_limits, WebSite::snapshot(m_cards));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    QString error;
    const QByteArray state = m_live.json();
    QMetaObject::invokeMethod(
        m_worker, [&] { error = m_worker->listen(wanted, state); }, Qt::BlockingQueuedConnection);
    if (!error.isEmpty()) {
        stop();
        return QStringLiteral("Não foi possível abrir a porta %1 para os celulares e TVs (%2). Feche o programa que "
                              "usa essa porta ou escolha outra na variável BOLARIS_WEB_PORT.")
            .arg(wanted)
            .arg(error);
    }
    QMetaObject::invokeMethod(m_worker, [&] { m_port = m_worker->port(); }, Qt::BlockingQueuedConnection);
    return {};
}

void WebServer::stop()
{
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, [w = m_worker] { w->close(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_worker; // its thread has ended
    m_worker = nullptr;
    m_port = 0;
}

int WebServer::connectionCount() const
{
    int n = 0;
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, [&] { n = m_worker->open(); }, Qt::BlockingQueuedConnection);
    return n;
}

int WebServer::liveClientCount() const
{
    int n = 0;
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, [&] { n = m_worker->live(); }, Qt::BlockingQueuedConnection);
    return n;
}

QString WebServer::lanAddress()
{
    for (const QNetworkInterface &nic : QNetworkInterface::allInterfaces()) {
        const auto flags = nic.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) ||
            (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : nic.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback() && !ip.isLinkLocal())
                return ip.toString();
        }
    }
    return QStringLiteral("127.0.0.1");
}

QString WebServer::address() const
{
    if (!running())
        return {};
    return QStringLiteral("http://%1:%2/").arg(lanAddress()).arg(m_port);
}

void WebServer::publish(const DisplayBoard &board, DrawMode mode, const QList<TicketRef> &winners,
                        const QStringList &prizes)
{
    m_live.update(board, mode, winners, prizes);
    if (!m_worker)
        return;
    QMetaObject::invokeMethod(m_worker, [w = m_worker, state = m_live.json()] { w->publish(state); },
                              Qt::QueuedConnection);
}

} // namespace bolaris
