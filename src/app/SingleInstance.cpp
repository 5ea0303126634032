#include "SingleInstance.h"

#include <QDir>
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
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::tryLock() { return m_lock->tryLock(0); }

} // namespace bolaris
