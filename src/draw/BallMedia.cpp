#include "BallMedia.h"

#include "dataset/WorkDir.h"

#include <QFile>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bolaris::BallMedia {

QString soundName(int ball) { return QStringLiteral("spbl%1.wav").arg(ball); }
QString pictureName(int ball) { return QStringLiteral("imbl%1.jpg").arg(ball); }

QString soundFor(const QString &dir, int ball)
{
    const QString own = soundName(ball);
    return WorkDir::resolve(dir, WorkDir::exists(dir, own) ? own : fallbackSoundName());
}

QString pictureFor(const QString &dir, int ball)
{
    const QString own = pictureName(ball);
    return WorkDir::exists(dir, own) ? WorkDir::resolve(dir, own) : QString();
}

QByteArray regularFileBytes(const QString &path, qint64 maxBytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray bytes;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxBytes) {
        bytes.resize(qsizetype(st.st_size));
        qint64 got = 0;
        while (got < st.st_size) {
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(st.st_size - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        bytes.resize(qsizetype(got));
        if (bytes.isNull())
            bytes = QByteArray("", 0);
    }
    ::close(fd);
    return bytes;
}

namespace {

quint32 le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

} // namespace

bool isSoundFile(const QString &path) { return isSound(regularFileBytes(path, qint64(64) << 20)); }

bool isSound(const QByteArray &wav)
{
    if (wav.size() < 12 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE")
        return false;
    const qint64 riffEnd = qint64(le32(wav.constData() + 4)) + 8;
    if (riffEnd != wav.size() && riffEnd + 1 != wav.size()) // a pad byte may follow
        return false;
    bool format = false, data = false;
    for (qint64 at = 12; at + 8 <= riffEnd;) {
        const QByteArray id = wav.mid(at, 4);
        const qint64 size = le32(wav.constData() + at + 4);
        if (at + 8 + size > riffEnd)
            return false;
        format = format || (id == "fmt " && size >= 16);
        data = data || (id == "data" && size > 0);
        at += 8 + size + (size & 1);
    }
    return format && data;
}

QImage readPicture(const QString &path)
{
    QImage image;
    const QByteArray bytes = regularFileBytes(path, qint64(256) << 20);
    if (!bytes.isEmpty())
        image.loadFromData(bytes);
    return image;
}

std::array<QRect, 10> zoomSteps(int left0, int top0)
{
    // Rounded to the nearest integer, halves to even.
    const auto rnd = [](double x) { return int(std::nearbyint(x)); };
    const double dTop = (0 - top0) / 10.0;
    const double dLeft = (34 - left0) / 10.0;
    std::array<QRect, 10> steps;
    for (int i = 1; i <= 10; ++i)
        steps[size_t(i - 1)] = QRect(left0 + rnd(i * dLeft), top0 + rnd(i * dTop), rnd(i * 67.3) + 48,
                                     rnd(i * 47.4) + 48);
    return steps;
}

} // namespace bolaris::BallMedia
