#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace bolaris {

// One running program per user: a lock file in the user's runtime folder. A
// lock left by a crashed instance is taken over at once.
class SingleInstance {
public:
    explicit SingleInstance(const QString &name = QStringLiteral("bolaris"));
    ~SingleInstance();
    bool tryLock();

private:
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace bolaris
