#pragma once

#include "ServerRegistry.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>

namespace bolaris {

class RegistryWatchWorker;

// Follows the registry on its server from a thread of its own: connects
// (and again, every second, while the server cannot be reached), reads the
// whole registry, and reads it again whenever a client commits a change,
// handing each reading to the thread that owns the watch. Nothing in that
// thread waits on the network: a ball clicked on the draw computer is
// handled at once whatever the server does.
class RegistryWatch : public QObject {
    Q_OBJECT
public:
    explicit RegistryWatch(const RegistryLocation &location, QObject *parent = nullptr);
    ~RegistryWatch() override;

    void start();
    // How often the server is asked whether it still answers, and how long
    // its answer may take then (5 s; tests shorten it). Before start().
    void setHeartbeat(int ms) { m_heartbeatMs = ms; }
    // Stops at once, whatever the server is doing.
    void stop();
    // Reads the registry again soon (when connected).
    void refresh();
    // Changes made by this server session (the desk's own entries, already
    // in its copy) are not read again.
    void ignoreSession(int backendPid) { m_ignored = backendPid; }
    bool isConnected() const { return m_connected; }
    // The server's loss was told and it has not come back.
    bool isLost() const { return m_lostSaid; }
    // Why the server could not be used the last time it failed (Portuguese).
    const QString &lastFailure() const { return m_lastFailure; }

    // The steady clock the readings are stamped with (milliseconds).
    static qint64 clock();

Q_SIGNALS:
    // The registry as of a moment after startedAt.
    void read(const bolaris::ServerRegistry::Content &content, qint64 startedAt);
    // The server could not be reached or read; said once until it is back.
    void connectionLost(const QString &portuguese);
    // Back after connectionLost; a reading follows.
    void reconnected();

private:
    friend class RegistryWatchWorker;
    // In the owner's thread, from what the worker posts.
    void deliver(const ServerRegistry::Content &content, qint64 startedAt);
    void lose(const QString &portuguese);

    RegistryLocation m_location;
    QThread m_thread;
    RegistryWatchWorker *m_worker = nullptr;
    int m_wake[2] = {-1, -1}; // a pipe whose write end ends every wait of the worker
    std::atomic<int> m_ignored{0}; // read by the worker
    int m_heartbeatMs = 5000;
    bool m_connected = false;
    bool m_lostSaid = false;
    QString m_lastFailure;
};

} // namespace bolaris
