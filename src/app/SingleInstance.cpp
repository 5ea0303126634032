#include "SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace bolaris {

SingleInstance::SingleInstance(const QString &name)
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    m_lock = std::make_unique<QLockFile>(QDir(dir).filePath(name + QStringLiteral(".lock")));
    // A lock whose holder no longer runs is stale at once.
    m_lock->setStaleLockTime(0);
    m_socket = QDir(dir).filePath(name + QStringLiteral(".socket"));
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::tryLock()
{
    if (!m_lock->tryLock(0))
        return false;
    // The lock is ours, so no live instance listens: a socket left by a
    // crashed one is removed (removing a live one's would cut it off).
    QLocalServer::removeServer(m_socket);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server->nextPendingConnection()) {
            peer->disconnectFromServer();
            peer->deleteLater();
            Q_EMIT showRequested();
        }
    });
    m_server->listen(m_socket); // without it a later start only ends silently
    return true;
}

bool SingleInstance::showRunning() const
{
    QLocalSocket socket;
    socket.connectToServer(m_socket);
    if (!socket.waitForConnected(2000))
        return false;
    socket.write("show\n");
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}

} // namespace bolaris
