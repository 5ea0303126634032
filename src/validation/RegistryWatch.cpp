#include "RegistryWatch.h"

#include "dataset/DatasetError.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>

#include <fcntl.h>
#include <unistd.h>

namespace bolaris {

// Lives in the watch's thread with a connection of its own.
class RegistryWatchWorker : public QObject {
public:
    RegistryWatchWorker(const RegistryLocation &location, int cancel, int heartbeatMs, RegistryWatch *owner)
        : m_server(location), m_owner(owner), m_retry(new QTimer(this)), m_heartbeat(new QTimer(this))
    {
        m_server.setCancel(cancel);
        if (heartbeatMs < 4000)
            m_server.setAnswerWait(heartbeatMs);
        m_retry->setSingleShot(true);
        connect(m_retry, &QTimer::timeout, this, [this] { attempt(); });
        // A server machine that froze, or a link that takes packets and
        // answers nothing, is noticed by its silence.
        m_heartbeat->setInterval(heartbeatMs);
        connect(m_heartbeat, &QTimer::timeout, this, [this] {
            try {
                m_server.ping();
                changed();
            } catch (const DatasetError &e) {
                failed(e);
            }
        });
    }

    void attempt()
    {
        try {
            m_server.connectToServer();
            m_server.listen();
            m_notifier = new QSocketNotifier(qintptr(m_server.socket()), QSocketNotifier::Read, this);
            connect(m_notifier, &QSocketNotifier::activated, this, [this] { changed(); });
            readNow();
            changed(); // what was heard while reading
            m_heartbeat->start();
        } catch (const DatasetError &e) {
            failed(e);
        }
    }

    void refresh()
    {
        if (!m_notifier)
            return;
        try {
            readNow();
        } catch (const DatasetError &e) {
            failed(e);
        }
    }

    void shutdown()
    {
        m_retry->stop();
        m_heartbeat->stop();
        delete m_notifier;
        m_notifier = nullptr;
        m_server.disconnectFromServer();
    }

private:
    void changed()
    {
        try {
            // A notification read along with an answer leaves the socket quiet:
            // ask until none is left, reading once for each batch.
            while (m_notifier && m_server.takeChanges(m_owner->m_ignored))
                readNow();
        } catch (const DatasetError &e) {
            failed(e);
        }
    }

    void readNow()
    {
        const qint64 startedAt = RegistryWatch::clock();
        ServerRegistry::Content content = m_server.read();
        QMetaObject::invokeMethod(
            m_owner, [owner = m_owner, content = std::move(content), startedAt] { owner->deliver(content, startedAt); },
            Qt::QueuedConnection);
    }

    void failed(const DatasetError &e)
    {
        m_heartbeat->stop();
        delete m_notifier;
        m_notifier = nullptr;
        m_server.disconnectFromServer();
        QMetaObject::invokeMethod(m_owner, [owner = m_owner, text = e.forOperator()] { owner->lose(text); },
                                  Qt::QueuedConnection);
        // A server that refused (rights, tables, database) is asked less often
        // than one that is only out of reach.
        m_retry->start(e.kind() == DatasetError::Kind::Unavailable ? 1000 : 5000);
    }

    ServerRegistry m_server;
    RegistryWatch *m_owner;
    QTimer *m_retry;
    QTimer *m_heartbeat;
    QSocketNotifier *m_notifier = nullptr;
};

qint64 RegistryWatch::clock()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

RegistryWatch::RegistryWatch(const RegistryLocation &location, QObject *parent)
    : QObject(parent), m_location(location)
{
    m_thread.setObjectName(QStringLiteral("registry"));
}

void RegistryWatch::deliver(const ServerRegistry::Content &content, qint64 startedAt)
{
    m_connected = true;
    if (std::exchange(m_lostSaid, false))
        Q_EMIT reconnected();
    Q_EMIT read(content, startedAt);
}

void RegistryWatch::lose(const QString &portuguese)
{
    m_connected = false;
    m_lastFailure = portuguese;
    if (!std::exchange(m_lostSaid, true))
        Q_EMIT connectionLost(portuguese);
}

RegistryWatch::~RegistryWatch() { stop(); }

void RegistryWatch::start()
{
    if (m_worker || !m_location.isValid())
        return;
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
    m_worker = new RegistryWatchWorker(m_location, m_wake[0], m_heartbeatMs, this);
    m_worker->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(m_worker, [w = m_worker] { w->attempt(); }, Qt::QueuedConnection);
}

void RegistryWatch::refresh()
{
    if (m_worker)
        QMetaObject::invokeMethod(m_worker, [w = m_worker] { w->refresh(); }, Qt::QueuedConnection);
}

void RegistryWatch::stop()
{
    if (!m_worker)
        return;
    if (m_wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &byte, 1); // every wait on the server ends now
    }
    QMetaObject::invokeMethod(m_worker, [w = m_worker] { w->shutdown(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
    m_worker = nullptr;
    for (int &fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    m_connected = false;
}

} // namespace bolaris
