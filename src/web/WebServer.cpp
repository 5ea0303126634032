#include "WebServer.h"

#include "WebWorker.h"

#include <QNetworkInterface>

#include <algorithm>
#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bolaris {

namespace {

// Why a port could not be opened, in the operator's words.
QString portFailure(int error)
{
    switch (error) {
    case EADDRINUSE:
        return QStringLiteral("ela já está sendo usada por outro programa");
    case EACCES:
    case EPERM:
        return QStringLiteral("o sistema não permite que este programa a use; portas abaixo de 1024 são reservadas");
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        return QStringLiteral("o sistema está sem recursos para abrir mais conexões");
    default:
        return QStringLiteral("o sistema recusou a abertura da porta");
    }
}

// A socket listening on port of every interface, IPv6 and IPv4 alike (IPv4
// alone where the machine has no IPv6), or -1 with errno set.
int openListener(quint16 port)
{
    for (const int family : {AF_INET6, AF_INET}) {
        const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            if (errno == EAFNOSUPPORT)
                continue;
            return -1;
        }
        const int on = 1, off = 0;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on); // a restart finds its port free
        sockaddr_storage address{};
        socklen_t size;
        if (family == AF_INET6) {
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
            auto *v6 = reinterpret_cast<sockaddr_in6 *>(&address);
            v6->sin6_family = AF_INET6;
            v6->sin6_addr = in6addr_any;
            v6->sin6_port = htons(port);
            size = sizeof *v6;
        } else {
            auto *v4 = reinterpret_cast<sockaddr_in *>(&address);
            v4->sin_family = AF_INET;
            v4->sin_addr.s_addr = htonl(INADDR_ANY);
            v4->sin_port = htons(port);
            size = sizeof *v4;
        }
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), size) == 0 && ::listen(fd, SOMAXCONN) == 0)
            return fd;
        const int error = errno;
        ::close(fd);
        errno = error;
        if (family == AF_INET6 && error == EADDRNOTAVAIL)
            continue;
        return -1;
    }
    return -1;
}

quint16 listeningPort(int fd)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in *>(&address)->sin_port);
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

WebServer::WebServer(const CartelaTable &cards, QObject *parent) : QObject(parent), m_cards(cards) {}

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
    const int listener = openListener(wanted);
    const int error = errno;
    if (listener >= 0) {
        m_worker = std::make_unique<WebWorker>(listener, m_limits, WebSite::snapshot(m_cards), m_live.json());
        m_port = listeningPort(listener);
    }
    if (listener < 0 || !m_worker->valid() || m_port == 0) {
        m_worker.reset();
        m_port = 0;
        return QStringLiteral("Não foi possível abrir a porta %1 para os celulares e TVs: %2. Feche o programa que "
                              "usa essa porta ou escolha outra na variável BOLARIS_WEB_PORT.")
            .arg(wanted)
            .arg(portFailure(listener < 0 ? error : EMFILE));
    }
    m_thread = std::thread([worker = m_worker.get()] { worker->run(); });
    return {};
}

void WebServer::stop()
{
    if (m_worker) {
        m_worker->stop();
        m_thread.join();
        m_worker.reset(); // its thread has ended
    }
    m_port = 0;
}

int WebServer::connectionCount() const { return m_worker ? m_worker->connectionCount() : 0; }

int WebServer::liveClientCount() const { return m_worker ? m_worker->liveClientCount() : 0; }

WebServer::Held WebServer::held() const
{
    if (!m_worker)
        return {};
    const WebWorker::Held h = m_worker->held();
    return {h.largest, h.total};
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
    if (m_worker)
        m_worker->publish(m_live.json());
}

} // namespace bolaris
