#pragma once

#include "WebLimits.h"
#include "WebLoop.h"
#include "WebSite.h"

#include <QByteArray>
#include <QHash>

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace bolaris {

class WebConnection;

// The serving thread: the listening socket and every connection, on a loop
// of its own. Other threads only post to it (publish, stop) or ask it and
// wait (the counts).
class WebWorker final : public WebLoop::Watcher {
public:
    // listener: a listening socket, owned from now on.
    WebWorker(int listener, const WebLimits &limits, std::shared_ptr<const std::vector<std::string>> cards,
              const QByteArray &state);
    ~WebWorker();

    bool valid() const { return m_loop.valid(); }
    // The serving thread's body: returns once stop() was posted and done.
    void run();

    // From any thread.
    void publish(const QByteArray &state);
    // Ends every connection and the loop, which then returns from run().
    void stop();
    int connectionCount();
    int liveClientCount();
    struct Held {
        qint64 largest = 0;
        qint64 total = 0;
    };
    Held held();

private:
    // Runs task in the serving thread and waits for it.
    void call(const std::function<void()> &task);
    void ready(std::uint32_t events) override; // the listening socket
    void accept(int fd);
    void forget(WebConnection *c);
    void sweep();
    void close();
    void setState(const QByteArray &state);

    const WebLimits m_limits;
    WebLoop m_loop;
    WebSite m_site;
    QByteArray m_frame; // the state as a live frame
    int m_listener;
    bool m_accepting = true; // false for a tick when the system had no descriptor for a client
    std::unordered_set<WebConnection *> m_connections;
    std::vector<WebConnection *> m_live;
    bool m_publishing = false;
    QHash<QByteArray, int> m_perAddress;
};

} // namespace bolaris
