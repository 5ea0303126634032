#include "AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bolaris {

namespace {

constexpr qsizetype kBufferSize = 64 * 1024;

QByteArray encoded(const QString &path) { return QFile::encodeName(path); }

// ".NAME.bolaris-XXXXXXXX.tmp"; and the names older builds used for PDF and
// dataset temporaries (".NAME.XXXXXXXX.part", ".NAME.XXXXXXXX.tmp", with the
// journal SQLite kept beside the latter).
const QRegularExpression &temporaryPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\.(.+)\\.bolaris-[0-9a-f]{8}\\.tmp$"
                       "|^\\.(.+\\.(?:[pP][dD][fF]|[cC][dD][sS]))\\.[0-9a-f]{8}\\.(?:part|tmp(?:-journal)?)$"));
    return pattern;
}

bool writeAll(int fd, const char *data, qint64 length, int *error)
{
    while (length > 0) {
        const ssize_t n = ::write(fd, data, size_t(length));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = errno;
            return false;
        }
        data += n;
        length -= n;
    }
    return true;
}

void syncDirectory(const QString &dir)
{
    const int fd = ::open(encoded(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

QString reasonEnglish(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

QString reasonPortuguese(int code)
{
    switch (code) {
    case ENOSPC:
        return QStringLiteral("o disco está cheio");
    case EDQUOT:
        return QStringLiteral("a cota de disco acabou");
    case EROFS:
        return QStringLiteral("o disco só permite leitura");
    case EACCES:
    case EPERM:
        return QStringLiteral("não há permissão para gravar");
    case ENOENT:
        return QStringLiteral("a pasta não existe");
    case ENOTDIR:
        return QStringLiteral("o caminho não é uma pasta");
    case EISDIR:
        return QStringLiteral("o nome é de uma pasta");
    case EIO:
        return QStringLiteral("erro de leitura ou gravação no disco");
    case EFBIG:
        return QStringLiteral("o arquivo ficou grande demais");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("o arquivo está em uso");
    default:
        return reasonEnglish(code);
    }
}

QString WriteFailure::english() const
{
    return QStringLiteral("%1 was not written: %2").arg(file, code ? reasonEnglish(code) : detail);
}

QString WriteFailure::portuguese() const
{
    const QString name = QFileInfo(file).fileName();
    // The detail is English, for the tool; the operator gets the plain fact.
    if (!code)
        return QStringLiteral("O arquivo %1 não foi gravado.").arg(name);
    return QStringLiteral("O arquivo %1 não foi gravado: %2.").arg(name, reasonPortuguese(code));
}

AtomicFile::AtomicFile(const QString &target, QObject *parent) : QIODevice(parent)
{
    // The rename replaces whatever entry has the name, a link included: a
    // write never lands in the file a link (or a hard link) leads to.
    m_target = QFileInfo(target).absoluteFilePath();
    m_failure.file = target;
}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::fail(int code, const QString &detail)
{
    if (!m_failure.failed()) {
        m_failure.code = code;
        m_failure.detail = detail;
        setErrorString(m_failure.english());
    }
    return false;
}

bool AtomicFile::open(OpenMode mode)
{
    if (m_fd >= 0 || (mode & ReadOnly))
        return fail(0, QStringLiteral("the file cannot be opened that way"));
    const QFileInfo target(m_target);
    if (target.isDir())
        return fail(EISDIR);
    const QString dir = target.absolutePath();
    removeStale(dir, target.fileName());
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        const QString temp = QDir(dir).filePath(QStringLiteral(".%1.bolaris-%2.tmp")
                                                     .arg(target.fileName())
                                                     .arg(QRandomGenerator::global()->generate(), 8, 16,
                                                          QLatin1Char('0')));
        const int fd = ::open(encoded(temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return fail(errno);
        }
        // Locked from now until committed or discarded. A cleaner that took
        // the name between our create and our lock has unlinked it: try again.
        struct stat mine, named;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &mine) != 0
            || ::stat(encoded(temp).constData(), &named) != 0 || mine.st_ino != named.st_ino) {
            ::close(fd);
            continue;
        }
        m_fd = fd;
        m_temp = temp;
    }
    if (m_fd < 0)
        return fail(0, QStringLiteral("no temporary file could be created beside it"));
    m_buffer.reserve(kBufferSize);
    return QIODevice::open(mode | Unbuffered);
}

qint64 AtomicFile::writeData(const char *data, qint64 length)
{
    if (m_failure.failed() || m_fd < 0)
        return -1;
    if (m_buffer.size() + length > kBufferSize && !flushBuffer())
        return -1;
    if (length >= kBufferSize) {
        int error = 0;
        if (!writeAll(m_fd, data, length, &error)) {
            fail(error);
            return -1;
        }
    } else {
        m_buffer.append(data, length);
    }
    return length;
}

bool AtomicFile::flushBuffer()
{
    int error = 0;
    if (!m_buffer.isEmpty() && !writeAll(m_fd, m_buffer.constData(), m_buffer.size(), &error))
        return fail(error);
    m_buffer.clear();
    return true;
}

void AtomicFile::close()
{
    if (m_fd >= 0 && !m_failure.failed())
        flushBuffer();
    QIODevice::close();
}

bool AtomicFile::commit()
{
    if (m_fd < 0) {
        fail(0, QStringLiteral("nothing was written"));
        return false;
    }
    bool ok = !m_failure.failed() && flushBuffer();
    if (ok && ::fsync(m_fd) != 0)
        ok = fail(errno);
    // The lock is held until the rename, so no cleaner takes the temporary.
    if (ok && ::rename(encoded(m_temp).constData(), encoded(m_target).constData()) != 0)
        ok = fail(errno);
    if (!ok) {
        discard();
        return false;
    }
    ::close(m_fd);
    m_fd = -1;
    m_temp.clear();
    QIODevice::close();
    syncDirectory(QFileInfo(m_target).absolutePath());
    return true;
}

void AtomicFile::discard()
{
    if (m_fd >= 0) {
        ::unlink(encoded(m_temp).constData());
        ::close(m_fd);
        m_fd = -1;
        m_temp.clear();
    }
    m_buffer.clear();
    if (isOpen())
        QIODevice::close();
}

int AtomicFile::removeStale(const QString &dir, const QString &fileName)
{
    int removed = 0;
    const QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = temporaryPattern().match(name);
        if (!match.hasMatch())
            continue;
        const QString of = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
        if (!fileName.isEmpty() && of != fileName)
            continue;
        const QByteArray path = encoded(QDir(dir).filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st;
        // A writer holds its lock until it commits or gives up.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

} // namespace bolaris
