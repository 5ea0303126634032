#include "WebWorker.h"

#include "WebConnection.h"

#include <algorithm>
#include <cerrno>
#include <future>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bolaris {

namespace {

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
    const int on = 1, idle = 60, interval = 10, count = 3;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

// Connections accepted in one wake at most, so that a flood of them does not
// hold up the clients already served.
constexpr int kAcceptsPerWake = 256;

} // namespace

WebWorker::WebWorker(int listener, const WebLimits &limits, std::shared_ptr<const std::vector<std::string>> cards,
                     const QByteArray &state)
    : m_limits(limits), m_site(std::move(cards)), m_listener(listener)
{
    setState(state);
    if (m_loop.valid() && !m_loop.add(m_listener, this, true, false)) {
        ::close(m_listener);
        m_listener = -1;
    }
}

WebWorker::~WebWorker() { close(); }

void WebWorker::run()
{
    pthread_setname_np(pthread_self(), "web");
    const int shortest = std::min({m_limits.headTimeoutMs, m_limits.idleTimeoutMs, m_limits.lingerMs});
    m_loop.run(std::clamp(shortest / 4, 25, 1000), [this] { sweep(); });
}

void WebWorker::call(const std::function<void()> &task)
{
    std::promise<void> done;
    m_loop.post([&] {
        task();
        done.set_value();
    });
    done.get_future().wait();
}

void WebWorker::publish(const QByteArray &state)
{
    m_loop.post([this, state] {
        setState(state);
        // One frame for every phone, written to each in turn: each queue
        // that cannot take it at once holds the same bytes.
        m_publishing = true;
        for (WebConnection *c : m_live)
            c->sendLive(m_frame);
        m_publishing = false;
        std::erase_if(m_live, [](const WebConnection *c) { return c->hasEnded(); });
    });
}

void WebWorker::stop()
{
    m_loop.post([this] {
        close();
        m_loop.quit();
    });
}

int WebWorker::connectionCount()
{
    int n = 0;
    call([&] { n = int(m_connections.size()); });
    return n;
}

int WebWorker::liveClientCount()
{
    int n = 0;
    call([&] { n = int(m_live.size()); });
    return n;
}

WebWorker::Held WebWorker::held()
{
    Held h;
    call([&] {
        for (const WebConnection *c : m_connections) {
            h.largest = std::max(h.largest, c->held());
            h.total += c->held();
        }
    });
    return h;
}

void WebWorker::setState(const QByteArray &state)
{
    m_site.setState(state);
    m_frame = WsFrameReader::frame(WsFrameReader::Text, state);
}

void WebWorker::ready(std::uint32_t)
{
    for (int i = 0; i < kAcceptsPerWake; ++i) {
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            accept(fd);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // The waiting client stays in the system's queue: try again at the next tick.
            m_accepting = false;
            m_loop.change(m_listener, this, false, false);
        }
        return;
    }
}

void WebWorker::accept(int fd)
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
    auto *c = new WebConnection(fd, address, m_site, m_limits, m_loop);
    c->onEnded = [this](WebConnection *ended) { forget(ended); };
    c->onUpgraded = [this](WebConnection *live) {
        m_live.push_back(live);
        live->sendLive(m_frame); // the draw as it is now, at once
    };
    m_connections.insert(c);
    c->start(WebLoop::clock());
}

void WebWorker::forget(WebConnection *c)
{
    m_connections.erase(c);
    if (!m_publishing)
        std::erase(m_live, c);
    auto it = m_perAddress.find(c->address());
    if (it != m_perAddress.end() && --*it <= 0)
        m_perAddress.erase(it);
    m_loop.post([c] { delete c; }); // events of this wake may still name it
}

void WebWorker::sweep()
{
    if (!m_accepting && m_listener >= 0) {
        m_accepting = true;
        m_loop.change(m_listener, this, true, false);
    }
    const qint64 now = WebLoop::clock();
    const std::vector<WebConnection *> all(m_connections.begin(), m_connections.end());
    for (WebConnection *c : all)
        c->checkTime(now);
}

void WebWorker::close()
{
    if (m_listener >= 0) {
        m_loop.forget(m_listener);
        ::close(m_listener);
        m_listener = -1;
    }
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

} // namespace bolaris
