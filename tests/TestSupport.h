#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace bolaris::test {

// A fresh working folder per test; fixtures are copied in, never used in place.
inline QString copyInto(const QTemporaryDir &dir, const QString &source, const QString &name)
{
    const QString target = QDir(dir.path()).filePath(name);
    QFile::remove(target);
    QFile::copy(source, target);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return target;
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
}

inline QByteArray readBytes(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace bolaris::test
