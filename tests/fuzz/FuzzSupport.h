#pragma once

// Shared by the fuzz targets: a scratch folder of their own, and the check
// that turns a broken promise into a finding.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace bolaris::fuzz {

// A broken promise is a finding: say which and stop, so the fuzzer keeps the input.
#define FUZZ_CHECK(condition, what)                                                                                    \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "FUZZ FINDING: %s (%s:%d)\n", qPrintable(QString(what)), __FILE__, __LINE__);          \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

// An empty folder for this process, in memory where the system has one
// (/dev/shm), so the synced writes of the datasets cost little.
inline QString scratchFolder(const char *target)
{
    const QString base = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm")
                                                                           : QDir::tempPath();
    const QString path =
        QDir(base).filePath(QStringLiteral("bolaris-fuzz-%1-%2").arg(QLatin1String(target)).arg(::getpid()));
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    // Removed when the process ends normally; a crash leaves it for inspection.
    static QStringList made;
    if (made.isEmpty())
        std::atexit([] {
            for (const QString &dir : made)
                QDir(dir).removeRecursively();
        });
    made << path;
    return path;
}

// Removes everything inside dir, hidden files included.
inline void emptyFolder(const QString &dir)
{
    QDir d(dir);
    for (const QFileInfo &info : d.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (info.isDir() && !info.isSymLink())
            QDir(info.filePath()).removeRecursively();
        else
            QFile::remove(info.filePath());
    }
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write " + path);
    FUZZ_CHECK(f.write(bytes) == bytes.size(), "cannot write " + path);
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The program's temporaries ('.NAME.bolaris-XXXXXXXX.tmp') left in dir.
inline QStringList leftoverTemporaries(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral(".*.bolaris-*.tmp")}, QDir::Files | QDir::Hidden);
}

} // namespace bolaris::fuzz
