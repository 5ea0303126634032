#include "WebServer.h"

#include "WebConnection.h"
#include "cards/CardStore.h"

#include <QHash>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTimer>

#include <algorithm>
#include <unordered_set>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bolaris {

namespace {

// Hands every accepted socket to the worker instead of making a QTcpSocket of it.
class Listener : public QTcpServer {
public:
    std::function<void(qintptr)> accepted;

protected:
    void incomingConnection(qintptr fd) override { accepted(fd); }
};

// The client's address as bytes, an IPv4 address in IPv6 form taken as IPv4,
// so that one phone counts once however it reached the port.
QByteArray peerAddress(int fd)
{
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &size) != 0)
        return {};
    if (peer.ss_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(&peer);
        return QByteArray(reinterpret_cast<const char *>(&v4->sin_addr), 4);
    }
    if (peer.ss_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&peer);
        const char *bytes = reinterpret_cast<const char *>(&v6->sin6_addr);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr))
            return QByteArray(bytes + 12, 4);
        return QByteArray(bytes, 16);
    }
    return {};
}

// A phone that left the hall without closing is noticed by the system
// within minutes, and a small answer or frame goes out at once.
void tuneSocket(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    const int on = 1, idle = 60, interval = 10, count = 3;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

// Why a port could not be opened, in the operator's words.
QString portFailure(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return QStringLiteral("ela já está sendo usada por outro programa");
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("o sistema não permite que este programa a use; portas abaixo de 1024 são reservadas");
    case QAbstractSocket::SocketResourceError:
        return QStringLiteral("o sistema está sem recursos para abrir mais conexões");
    default:
        return QStringLiteral("o sistema recusou a abertura da porta");
    }
}

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

// Lives in the serving thread: the listening socket and every connection.
class WebWorker : public QObject {
public:
    WebWorker(const WebLimits &limits, std::shared_ptr<const std::vector<std::string>> cards)
        : m_limits(limits), m_site(std::move(cards))
    {
        const int shortest = std::min({limits.headTimeoutMs, limits.idleTimeoutMs, limits.lingerMs});
        m_sweep->setInterval(std::clamp(shortest / 4, 25, 1000));
        QObject::connect(m_sweep, &QTimer::timeout, this, [this] { sweep(); });
    }
    ~WebWorker() override { close(); }

    // An empty text when listening, else why not (Portuguese).
    QString listen(quint16 port, const QByteArray &state)
    {
        setState(state);
        m_listener = new Listener;
        m_listener->setParent(this);
        m_listener->accepted = [this](qintptr fd) { accept(int(fd)); };
        if (!m_listener->listen(QHostAddress::Any, port)) {
            const QString failure = portFailure(m_listener->serverError());
            delete m_listener;
            m_listener = nullptr;
            return failure;
        }
        m_sweep->start();
        return {};
    }

    quint16 port() const { return m_listener ? m_listener->serverPort() : 0; }

    void close()
    {
        m_sweep->stop();
        delete m_listener;
        m_listener = nullptr;
        const std::vector<WebConnection *> all(m_connections.begin(), m_connections.end());
        for (WebConnection *c : all) {
            c->onEnded = nullptr;
            c->end(true);
            delete c;
        }
        m_connections.clear();
        m_live.clear();
        m_perAddress.clear();
    }

    void publish(const QByteArray &state)
    {
        setState(state);
        // One frame for every phone: each queue holds the same bytes.
        m_publishing = true;
        for (WebConnection *c : m_live)
            if (!c->hasEnded())
                c->sendLive(m_frame);
        m_publishing = false;
        std::erase_if(m_live, [](const WebConnection *c) { return c->hasEnded(); });
    }

    int open() const { return int(m_connections.size()); }
    int live() const { return int(m_live.size()); }
    WebServer::Held held() const
    {
        WebServer::Held h;
        for (const WebConnection *c : m_connections) {
            h.largest = std::max(h.largest, c->held());
            h.total += c->held();
        }
        return h;
    }

private:
    void setState(const QByteArray &state)
    {
        m_site.setState(state);
        m_frame = WsFrameReader::frame(WsFrameReader::Text, state);
    }

    void accept(int fd)
    {
        const QByteArray address = peerAddress(fd);
        int &fromAddress = m_perAddress[address];
        if (int(m_connections.size()) >= m_limits.maxConnections || fromAddress >= m_limits.maxPerAddress) {
            if (fromAddress == 0)
                m_perAddress.remove(address);
            ::close(fd);
            return;
        }
        ++fromAddress;
        tuneSocket(fd);
        auto *c = new WebConnection(fd, address, m_site, m_limits, this);
        c->onEnded = [this](WebConnection *ended) { forget(ended); };
        c->onUpgraded = [this](WebConnection *live) {
            m_live.push_back(live);
            live->sendLive(m_frame); // the draw as it is now, at once
        };
        m_connections.insert(c);
        c->start(WebConnection::clock());
    }

    void forget(WebConnection *c)
    {
        m_connections.erase(c);
        if (!m_publishing)
            std::erase(m_live, c);
        auto it = m_perAddress.find(c->address());
        if (it != m_perAddress.end() && --*it <= 0)
            m_perAddress.erase(it);
        c->deleteLater();
    }

    void sweep()
    {
        const qint64 now = WebConnection::clock();
        const std::vector<WebConnection *> all(m_connections.begin(), m_connections.end());
        for (WebConnection *c : all)
            c->checkTime(now);
    }

    const WebLimits &m_limits;
    WebSite m_site;
    QByteArray m_frame; // the state as a live frame
    Listener *m_listener = nullptr;
    std::unordered_set<WebConnection *> m_connections;
    std::vector<WebConnection *> m_live;
    bool m_publishing = false;
    QHash<QByteArray, int> m_perAddress;
    QTimer *m_sweep = new QTimer(this); // moves to the serving thread with its parent
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
        return QStringLiteral("Não foi possível abrir a porta %1 para os celulares e TVs: %2. Feche o programa que "
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

WebServer::Held WebServer::held() const
{
    Held h;
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, [&] { h = m_worker->held(); }, Qt::BlockingQueuedConnection);
    return h;
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
