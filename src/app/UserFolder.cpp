#include "UserFolder.h"

#include "dataset/WorkDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>

namespace bolaris {

namespace {

// mkdir -p that keeps the reason: QDir::mkpath says only that it failed.
int makeFolder(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return 0;
    if (info.exists() || info.isSymLink())
        return ENOTDIR;
    const QString parent = info.absolutePath();
    if (parent != info.absoluteFilePath()) {
        if (const int error = makeFolder(parent))
            return error;
    }
    if (::mkdir(QFile::encodeName(path).constData(), 0700) == 0)
        return 0;
    return errno == EEXIST && QFileInfo(path).isDir() ? 0 : errno;
}

WriteFailure copyWhole(const QString &source, const QString &target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return {target, 0, QStringLiteral("%1 could not be read: %2").arg(source, in.errorString())};
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return {target, 0, QStringLiteral("%1 could not be read: %2").arg(source, in.errorString())};
    AtomicFile out(target);
    if (out.open() && out.write(bytes) == bytes.size())
        out.commit();
    return out.failure();
}

} // namespace

QString UserFolder::defaultPath()
{
    // A relative XDG_DATA_HOME is invalid and to be ignored; taken as it is,
    // it would name another folder whenever the current one changes.
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    const QString data = !xdg.isEmpty() && QDir::isRelativePath(xdg)
                             ? QDir(QDir::homePath()).filePath(QStringLiteral(".local/share"))
                             : QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(data).filePath(QStringLiteral("bolaris"));
}

QString UserFolder::saveFolder(const QString &dir)
{
    const QString user = QFileInfo(defaultPath()).canonicalFilePath();
    if (user.isEmpty() || QFileInfo(dir).canonicalFilePath() != user)
        return dir;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

UserFolder::Result UserFolder::prepare(const QString &folder, const QString &installedData)
{
    Result result;
    result.folderError = makeFolder(folder);
    if (result.folderError)
        return result;
    const QStringList names = QDir(installedData).entryList(QDir::Files, QDir::Name);
    for (const QString &name : names) {
        if (WorkDir::exists(folder, name))
            continue;
        result.failure = copyWhole(QDir(installedData).filePath(name), QDir(folder).filePath(name));
        if (result.failure.failed())
            break; // a full or read-only disk fails every later file the same way
        result.copied << name;
    }
    return result;
}

QString UserFolder::Result::message(const QString &folder) const
{
    const QString shown = QDir::toNativeSeparators(folder);
    if (folderError)
        return QStringLiteral("A pasta de trabalho %1 não pôde ser criada: %2.")
            .arg(shown, reasonPortuguese(folderError));
    if (failure.failed())
        return QStringLiteral("%1 Os arquivos que faltam na pasta de trabalho %2 serão copiados quando o "
                              "programa for aberto outra vez.")
            .arg(failure.portuguese(), shown);
    return {};
}

} // namespace bolaris
