#include "WorkDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace bolaris {

namespace {
QString findMatch(const QString &dir, const QString &fileName)
{
    const QString exact = QDir(dir).filePath(fileName);
    if (QFileInfo(exact).isFile())
        return exact;
    const QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (name.compare(fileName, Qt::CaseInsensitive) == 0)
            return QDir(dir).filePath(name);
    }
    return {};
}
} // namespace

QString WorkDir::resolve(const QString &dir, const QString &fileName)
{
    const QString found = findMatch(dir, fileName);
    return found.isEmpty() ? QDir(dir).filePath(fileName) : found;
}

bool WorkDir::exists(const QString &dir, const QString &fileName)
{
    return !findMatch(dir, fileName).isEmpty();
}

bool WorkDir::remove(const QString &dir, const QString &fileName)
{
    const QString found = findMatch(dir, fileName);
    return !found.isEmpty() && QFile::remove(found);
}

} // namespace bolaris
