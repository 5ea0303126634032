#pragma once

// A relay in front of a PostgreSQL server on this machine for the tests and
// benchmarks of a registry on a server: it can make a link go silent.

#include <QByteArray>
#include <QByteArrayView>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bolaris::test {

// A relay between the desks and the test server that can swallow one
// connection's packets from a given moment on, both ways, leaving both ends
// open: a link lost mid-statement, as a dead Wi-Fi or a cut cable leaves it.
class SwallowingProxy {
public:
    // On port, or a free port when it is 0.
    explicit SwallowingProxy(quint16 serverPort, quint16 port = 0) : m_serverPort(serverPort)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(port);
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof at;
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&at), size);
        ::listen(m_listen, 16);
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&at), &size);
        m_port = ntohs(at.sin_port);
        m_thread = std::thread([this] { relay(); });
    }
    ~SwallowingProxy()
    {
        m_stop = true;
        m_thread.join();
        for (const Link &l : m_links)
            for (int fd : {l.client, l.server})
                if (fd >= 0)
                    ::close(fd);
        ::close(m_listen);
    }
    quint16 port() const { return m_port; }
    // The first connection whose desk sends marker goes silent from that packet on.
    void swallowFrom(const QByteArray &marker)
    {
        const std::lock_guard lock(m_mutex);
        m_marker = marker;
    }
    // Every connection, those to come included, goes silent now.
    void swallowAll() { m_all = true; }
    bool swallowing() const { return m_swallowed; }

private:
    struct Link {
        int client;
        int server;
        bool swallowing = false;
    };

    void relay()
    {
        while (!m_stop) {
            std::vector<pollfd> fds{{m_listen, POLLIN, 0}};
            for (const Link &l : m_links)
                for (int fd : {l.client, l.server})
                    fds.push_back({fd, POLLIN, 0});
            if (::poll(fds.data(), nfds_t(fds.size()), 20) <= 0)
                continue;
            const size_t polled = (fds.size() - 1) / 2; // a link accepted now is polled next time
            if (fds[0].revents)
                accept();
            for (size_t i = 0; i < polled; ++i)
                for (int side = 0; side < 2; ++side)
                    if (fds[1 + 2 * i + size_t(side)].revents)
                        pass(m_links[i], side == 0);
        }
    }
    void accept()
    {
        const int client = ::accept(m_listen, nullptr, nullptr);
        if (client < 0)
            return;
        const int server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_serverPort);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(server, reinterpret_cast<sockaddr *>(&to), sizeof to);
        m_links.push_back({client, server});
    }
    void pass(Link &l, bool fromClient)
    {
        int &from = fromClient ? l.client : l.server;
        const int to = fromClient ? l.server : l.client;
        char buffer[65536];
        const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
        if (n <= 0) {
            // What a cut link delivers of a close: nothing, to either side.
            ::close(from);
            from = -1;
            if (!l.swallowing && to >= 0) {
                ::close(to);
                (fromClient ? l.server : l.client) = -1;
            }
            return;
        }
        if (m_all && !l.swallowing) {
            l.swallowing = true;
            m_swallowed = true;
        }
        if (fromClient && !l.swallowing) {
            const std::lock_guard lock(m_mutex);
            if (!m_marker.isEmpty() && QByteArrayView(buffer, n).contains(m_marker)) {
                l.swallowing = true;
                m_swallowed = true;
                m_marker.clear();
            }
        }
        if (!l.swallowing && to >= 0)
            ::send(to, buffer, size_t(n), MSG_NOSIGNAL);
    }

    quint16 m_serverPort;
    quint16 m_port = 0;
    int m_listen = -1;
    std::vector<Link> m_links; // the relay thread's
    std::mutex m_mutex;
    QByteArray m_marker;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_swallowed{false};
    std::atomic<bool> m_all{false};
    std::thread m_thread;
};

} // namespace bolaris::test
