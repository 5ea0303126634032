#include "CliCommands.h"

#include "dataset/AtomicFile.h"
#include "dataset/StrictInt.h"
#include "dataset/WorkDir.h"

#include <QDir>
#include <QFileInfo>

namespace bolaris::cli {

bool Options::parse(const QStringList &args, const QStringList &valued, const QStringList &flags, QTextStream *err)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool isValued = valued.contains(a);
        if (isValued || flags.contains(a)) {
            // A repeated option is a typing slip: which one was meant is unknown.
            if (values.contains(a)) {
                if (err)
                    *err << "bolaris-cli: option " << a << " given more than once" << Qt::endl;
                return false;
            }
            if (isValued && i + 1 >= args.size())
                return false;
            values.insert(a, isValued ? args[++i] : QString());
        } else if (a.startsWith(QLatin1String("--"))) {
            return false;
        } else {
            positional << a;
        }
    }
    return true;
}

std::optional<QString> Options::workingFolder(Streams io) const
{
    const QString dir = value(QStringLiteral("--dir"), QStringLiteral("."));
    if (!QFileInfo(dir).isDir()) {
        io.err << "bolaris-cli: folder not found: " << dir << Qt::endl;
        return std::nullopt;
    }
    AtomicFile::removeStale(dir);
    return dir;
}

std::optional<QString> Options::writableFolder(Streams io) const
{
    const std::optional<QString> dir = workingFolder(io);
    if (!dir)
        return std::nullopt;
    if (const int error = WorkDir::writableError(*dir)) {
        io.err << "bolaris-cli: the folder " << *dir << " cannot be written: " << reasonEnglish(error) << Qt::endl;
        return std::nullopt;
    }
    return dir;
}

std::optional<QString> Options::outputFile(const QString &name, const QString &workDir, Streams io,
                                           const QString &ownFile) const
{
    const QString path = value(name);
    const QFileInfo file(path);
    auto refuse = [&](const QString &why) {
        io.err << "bolaris-cli: cannot write " << path << ": " << why << Qt::endl;
        return std::nullopt;
    };
    if (path.isEmpty())
        return refuse(QStringLiteral("no file name given"));
    if (file.isDir())
        return refuse(QStringLiteral("it is a folder"));
    const QString folder = file.absolutePath();
    // The folder written into may be a working folder too.
    for (const QString &dir : {workDir, folder}) {
        if (dir.isEmpty() || !WorkDir::isDataFile(dir, path))
            continue;
        if (!ownFile.isEmpty() && file.fileName().compare(ownFile, Qt::CaseInsensitive) == 0 && !file.isSymLink())
            continue;
        return refuse(QStringLiteral("it is one of the program's data files in %1").arg(dir));
    }
    if (const int error = WorkDir::writableError(folder))
        return refuse(error == ENOENT
                          ? QStringLiteral("the folder %1 does not exist").arg(folder)
                          : QStringLiteral("the folder %1 cannot be written (%2)").arg(folder, reasonEnglish(error)));
    return path;
}

std::optional<RegistryLocation> Options::registry(const QString &dir, Streams io) const
{
    const RegistryLocation location = RegistryLocation::choose(dir, value(QStringLiteral("--registry")));
    if (!location.isValid()) {
        io.err << "bolaris-cli: " << location.error << Qt::endl;
        return std::nullopt;
    }
    return location;
}

std::optional<int> Options::drawNumber(Streams io) const
{
    const std::optional<int> number = parseStrictInt(value(QStringLiteral("--draw")).trimmed());
    if (!number || *number < 1) {
        io.err << "bolaris-cli: --draw: '" << value(QStringLiteral("--draw")).left(20) << "' is not a draw number"
               << Qt::endl;
        return std::nullopt;
    }
    return number;
}

} // namespace bolaris::cli
