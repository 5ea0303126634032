#include "WorkDir.h"

#include "AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>

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

namespace {

// The path a link chain ends at (the path itself when it is no link).
QString followLinks(QString path)
{
    for (int hops = 0; hops < 40 && QFileInfo(path).isSymLink(); ++hops)
        path = QFileInfo(path).symLinkTarget();
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

bool WorkDir::isDataFile(const QString &dir, const QString &path)
{
    static const QRegularExpression names(
        QStringLiteral("^(compl22\\.cds|cartelas\\.cds|cartelasg\\.cds|cartelas3a4\\.cds|menos\\.cds|cartgraf\\.cds"
                       "|cartgraf\\.csv|(validadas|cartoes|sorteios)\\.cds(-wal|-shm|-journal|\\.danificado-.*)?"
                       "|\\.bolaris-(registry|drawlog)\\.lock"
                       "|spbl\\d+\\.wav|imbl\\d+\\.jpg|sompedra\\.wav|bateu\\.wav)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString home = QFileInfo(dir).canonicalFilePath();
    if (home.isEmpty())
        return false;
    // The name itself, and where its links lead.
    for (const QString &candidate : {QFileInfo(path).absoluteFilePath(), followLinks(path)}) {
        const QFileInfo target(candidate);
        if (QFileInfo(target.absolutePath()).canonicalFilePath() == home && names.match(target.fileName()).hasMatch())
            return true;
    }
    return false;
}

int WorkDir::writableError(const QString &dir)
{
    if (!QFileInfo(dir).isDir())
        return QFileInfo::exists(dir) ? ENOTDIR : ENOENT;
    // A real file with a little in it, so a read-only disk, a missing
    // permission or a full disk all show.
    AtomicFile probe(QDir(dir).filePath(QStringLiteral(".bolaris-probe")));
    if (probe.open() && probe.write(QByteArray(512, '\0')) == 512)
        probe.close(); // writes it out; the temporary goes with probe
    return probe.failure().failed() ? (probe.failure().code ? probe.failure().code : EIO) : 0;
}

} // namespace bolaris
