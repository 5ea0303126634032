#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

namespace bolaris {

// One running program per user: a lock file in the user's runtime folder. A
// lock left by a crashed instance is taken over at once. The instance that
// holds the lock listens on a local socket beside it, so that a later start
// can ask it to show its window before ending.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString &name = QStringLiteral("bolaris"));
    ~SingleInstance() override;
    // True when this is the only instance: it holds the lock and listens.
    bool tryLock();
    // From a start that found another instance: asks it to show its window.
    // False when it could not be reached (it may still be starting).
    bool showRunning() const;

Q_SIGNALS:
    // A later start asked this instance to show its window.
    void showRequested();

private:
    std::unique_ptr<QLockFile> m_lock;
    QString m_socket;
    QLocalServer *m_server = nullptr;
};

} // namespace bolaris
