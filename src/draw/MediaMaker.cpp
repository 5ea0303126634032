#include "MediaMaker.h"

#include "BallMedia.h"
#include "MediaMark.h"
#include "dataset/AtomicFile.h"
#include "dataset/WorkDir.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QRadialGradient>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>
#include <numbers>
#include <optional>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace bolaris {

namespace {

constexpr int kRate = 22050;

// A mono 16-bit PCM WAV of the samples (-1 .. 1).
QByteArray wav(const std::vector<double> &samples)
{
    QByteArray data;
    data.reserve(qsizetype(samples.size() * 2));
    for (double s : samples) {
        const auto v = qint16(std::lround(std::clamp(s, -1.0, 1.0) * 32000));
        data.append(char(v & 0xFF));
        data.append(char((v >> 8) & 0xFF));
    }
    QByteArray out;
    auto u32 = [&out](quint32 v) {
        for (int i = 0; i < 4; ++i)
            out.append(char((v >> (8 * i)) & 0xFF));
    };
    auto u16 = [&out](quint16 v) {
        out.append(char(v & 0xFF));
        out.append(char(v >> 8));
    };
    out.append("RIFF");
    u32(quint32(36 + data.size()));
    out.append("WAVEfmt ");
    u32(16);
    u16(1); // PCM
    u16(1); // mono
    u32(kRate);
    u32(kRate * 2);
    u16(2);
    u16(16);
    out.append("data");
    u32(quint32(data.size()));
    out.append(data);
    return out;
}

// A bell-like note: a few harmonics fading out, added into samples at start.
void addNote(std::vector<double> &samples, double start, double frequency, double length, double level)
{
    const auto first = size_t(start * kRate);
    const auto count = size_t(length * kRate);
    if (samples.size() < first + count)
        samples.resize(first + count, 0.0);
    for (size_t i = 0; i < count; ++i) {
        const double t = double(i) / kRate;
        const double attack = std::min(1.0, t / 0.005);
        const double decay = std::exp(-4.0 * t / length);
        const double w = 2 * std::numbers::pi * frequency * t;
        samples[first + i] +=
            level * attack * decay * (std::sin(w) + 0.35 * std::sin(2 * w) + 0.15 * std::sin(3 * w)) / 1.5;
    }
}

// The colour of a ball by its tens, as on the board of a hall.
QColor ballColour(int ball)
{
    static const QColor colours[] = {QColor(0xD3, 0x2F, 0x2F), QColor(0xF5, 0x7C, 0x00), QColor(0xF9, 0xA8, 0x25),
                                     QColor(0x38, 0x8E, 0x3C), QColor(0x00, 0x83, 0x8F), QColor(0x19, 0x76, 0xD2),
                                     QColor(0x51, 0x2D, 0xA8), QColor(0xC2, 0x18, 0x5B), QColor(0x5D, 0x40, 0x37)};
    return colours[std::min(ball / 10, 8)];
}

bool save(const QString &path, const QByteArray &bytes, QString &reason, int &code)
{
    AtomicFile file(path);
    if (!file.open() || file.write(bytes) != bytes.size() || !file.commit()) {
        code = file.failure().code;
        reason = code ? reasonEnglish(code) : file.failure().detail;
        return false;
    }
    return true;
}

} // namespace

QString MediaMaker::speechProgram() { return QStandardPaths::findExecutable(QStringLiteral("espeak-ng")); }

int MediaMaker::fileCount(int parts) { return (parts & Sounds ? 92 : 0) + (parts & Pictures ? 90 : 0); }

QString MediaMaker::voiceText(int ball) { return QString::number(ball); }

QByteArray MediaMaker::chimeWav()
{
    std::vector<double> s;
    addNote(s, 0.0, 1318.5, 0.45, 0.6); // E6
    addNote(s, 0.12, 987.8, 0.6, 0.6);  // B5
    return wav(s);
}

QByteArray MediaMaker::winWav()
{
    std::vector<double> s;
    const double notes[] = {523.3, 659.3, 784.0, 1046.5}; // C5 E5 G5 C6
    for (int i = 0; i < 4; ++i)
        addNote(s, 0.13 * i, notes[i], 0.35, 0.45);
    for (double f : notes)
        addNote(s, 0.55, f, 1.2, 0.3);
    return wav(s);
}

void MediaMaker::paintBall(QPainter &p, QPointF centre, double radius, const QColor &colour,
                           const QString &number)
{
    // Ball with a light from the upper left, white face with the number.
    QRadialGradient body(centre - QPointF(radius * 0.35, radius * 0.4), radius * 1.5);
    body.setColorAt(0, colour.lighter(170));
    body.setColorAt(0.45, colour);
    body.setColorAt(1, colour.darker(260));
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawEllipse(centre, radius, radius);

    const double face = radius * 0.62;
    QRadialGradient white(centre - QPointF(face * 0.3, face * 0.3), face * 1.4);
    white.setColorAt(0, Qt::white);
    white.setColorAt(1, QColor(0xDD, 0xDD, 0xDD));
    p.setBrush(white);
    p.setPen(QPen(colour.darker(150), radius * 6 / 245));
    p.drawEllipse(centre, face, face);

    if (!number.isEmpty()) {
        QFont font(QStringLiteral("Liberation Sans"));
        font.setBold(true);
        font.setPixelSize(qRound(radius * (number.size() == 1 ? 250 : 205) / 245));
        p.setFont(font);
        p.setPen(QColor(0x11, 0x11, 0x11));
        const QRectF faceBox(centre.x() - face, centre.y() - face, 2 * face, 2 * face);
        p.drawText(faceBox, Qt::AlignCenter, number);
        if (number == QLatin1String("6") || number == QLatin1String("9")) {
            // A ball turned over must not read as the other one.
            const QFontMetricsF metrics(font);
            const double width = metrics.horizontalAdvance(number);
            p.fillRect(QRectF(centre.x() - width / 2, centre.y() + metrics.ascent() * 0.45, width,
                              radius * 10 / 245),
                       QColor(0x11, 0x11, 0x11));
        }
    }

    // Highlight.
    QRadialGradient shine(centre - QPointF(radius * 0.45, radius * 0.55), radius * 0.35);
    shine.setColorAt(0, QColor(255, 255, 255, 170));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawEllipse(centre - QPointF(radius * 0.45, radius * 0.55), radius * 0.35, radius * 0.25);
}

QImage MediaMaker::ballPicture(int ball)
{
    // The size the picture is shown at once zoomed, so it is never scaled up.
    QImage image(721, 522, QImage::Format_RGB32);
    image.fill(QColor(0x10, 0x10, 0x18));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QPointF centre(360.5, 261);
    const double radius = 245;
    QRadialGradient shadow(centre + QPointF(0, radius * 0.98), radius * 0.9);
    shadow.setColorAt(0, QColor(0, 0, 0, 150));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(centre + QPointF(0, radius * 0.9), radius * 0.9, radius * 0.12);
    paintBall(p, centre, radius, ballColour(ball), QString::number(ball));
    p.end();
    return image;
}

namespace {

// What to do with a file of the set found in the folder.
enum class Found { Missing, UpToDate, Outdated, Organisers };

// making: how the file is made now; whole: the content is usable; before:
// the bytes the program made for it before it marked its files (empty when
// there is no way to tell).
Found examine(const QString &path, const QString &making, const std::function<bool(const QByteArray &)> &whole,
              const std::function<QByteArray(const QByteArray &)> &before)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return Found::Missing;
    // A link or anything but a plain file where the file goes is replaced,
    // as every output of the program replaces one; what it leads to stays.
    if (!S_ISREG(st.st_mode) || st.st_nlink > 1)
        return Found::Outdated;
    const QByteArray bytes = BallMedia::regularFileBytes(path, qint64(64) << 20);
    if (const std::optional<QString> mark = MediaMark::makingOf(bytes))
        return *mark == making && whole(bytes) ? Found::UpToDate : Found::Outdated;
    const QByteArray old = before(bytes);
    return !old.isEmpty() && old == bytes ? Found::Outdated : Found::Organisers;
}

// espeak-ng's own WAV: the header it writes, 44 bytes, mono 16-bit at 22,050 Hz.
bool looksSpoken(const QByteArray &b)
{
    const auto u16 = [&](int at) { return int(quint8(b[at])) | int(quint8(b[at + 1])) << 8; };
    return b.size() > 44 && b.startsWith("RIFF") && b.mid(8, 8) == "WAVEfmt " && u16(16) == 16 && u16(20) == 1 &&
           u16(22) == 1 && u16(24) == kRate && b.mid(36, 4) == "data";
}

bool isJpeg(const QByteArray &b) { return b.startsWith("\xFF\xD8") && b.endsWith("\xFF\xD9"); }

QByteArray jpeg(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", 92))
        return {};
    return bytes;
}

// The voice of a ball as espeak-ng speaks it in voice; empty, with reason
// set, when it could not.
QByteArray speak(const QString &speech, const QString &voice, int ball, const QString &scratch, QString &reason)
{
    const QString spoken = QDir(scratch).filePath(QStringLiteral("voice.wav"));
    QFile::remove(spoken);
    QProcess process;
    process.start(speech, {QStringLiteral("-v"), voice, QStringLiteral("-s"), QStringLiteral("150"),
                           QStringLiteral("-a"), QStringLiteral("180"), QStringLiteral("-w"), spoken,
                           MediaMaker::voiceText(ball)});
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        process.kill();
        reason = process.errorString();
        return {};
    }
    QFile voiceFile(spoken);
    if (!voiceFile.open(QIODevice::ReadOnly) || voiceFile.size() < 44) {
        reason = voiceFile.errorString();
        return {};
    }
    return voiceFile.readAll();
}

} // namespace

QString MediaMaker::voiceMaking() { return QStringLiteral("espeak-ng -v pt-br -s 150 -a 180"); }
QString MediaMaker::chimeMaking() { return QStringLiteral("sompedra 1"); }
QString MediaMaker::winMaking() { return QStringLiteral("bateu 1"); }
QString MediaMaker::pictureMaking() { return QStringLiteral("imbl 721x522 1"); }

MediaMaker::Result MediaMaker::make(const QString &dir, int parts, const Progress &progress)
{
    Result result;
    const int total = fileCount(parts);
    int handled = 0;
    const auto step = [&] {
        ++handled;
        return !progress || progress(handled, total);
    };
    int code = 0;
    const auto failWrite = [&](const QString &path, const QString &reason) {
        result.status = Result::WriteFailed;
        result.file = path;
        result.reason = reason;
        result.code = code;
        return result;
    };
    const auto cancelled = [&] {
        result.status = Result::Cancelled;
        return result;
    };
    // Writes bytes (made by make when the file is to be made) unless the
    // file is there already; false after a failure, set in result.
    const auto place = [&](const QString &name, const QString &making,
                           const std::function<bool(const QByteArray &)> &whole,
                           const std::function<QByteArray(const QByteArray &)> &before,
                           const std::function<std::optional<QByteArray>()> &make) {
        const QString path = WorkDir::resolve(dir, name);
        switch (examine(path, making, whole, before)) {
        case Found::UpToDate:
            ++result.upToDate;
            return true;
        case Found::Organisers:
            result.kept << QFileInfo(path).fileName();
            return true;
        case Found::Missing:
        case Found::Outdated:
            break;
        }
        const std::optional<QByteArray> bytes = make();
        if (!bytes)
            return false;
        QString reason;
        if (!save(path, *bytes, reason, code)) {
            failWrite(path, reason);
            return false;
        }
        ++result.written;
        return true;
    };
    if (parts & Sounds) {
        const QString speech = speechProgram();
        QTemporaryDir scratch;
        if (!scratch.isValid())
            return failWrite(QDir::tempPath(), scratch.errorString());
        for (int ball = 1; ball <= 90; ++ball) {
            // A voice made before voices were marked was spoken in European Portuguese.
            const auto before = [&](const QByteArray &bytes) {
                QString ignored;
                return looksSpoken(bytes) && !speech.isEmpty()
                           ? speak(speech, QStringLiteral("pt"), ball, scratch.path(), ignored)
                           : QByteArray();
            };
            const bool done = place(BallMedia::soundName(ball), voiceMaking(), BallMedia::isSound, before,
                                    [&]() -> std::optional<QByteArray> {
                                        if (speech.isEmpty()) {
                                            result.status = Result::NoSpeech;
                                            return std::nullopt;
                                        }
                                        QString reason;
                                        const QByteArray voice =
                                            speak(speech, QStringLiteral("pt-br"), ball, scratch.path(), reason);
                                        if (voice.isEmpty()) {
                                            result.status = Result::SpeechFailed;
                                            result.reason = reason;
                                            return std::nullopt;
                                        }
                                        return MediaMark::markWav(voice, voiceMaking());
                                    });
            if (!done)
                return result;
            if (!step())
                return cancelled();
        }
        for (const auto &[name, making, bytes] :
             {std::tuple{BallMedia::fallbackSoundName(), chimeMaking(), chimeWav()},
              std::tuple{BallMedia::winSoundName(), winMaking(), winWav()}}) {
            const auto before = [bytes = bytes](const QByteArray &) { return bytes; };
            if (!place(name, making, BallMedia::isSound, before,
                       [&, bytes = bytes, making = making] { return MediaMark::markWav(bytes, making); }))
                return result;
            if (!step())
                return cancelled();
        }
    }
    if (parts & Pictures) {
        for (int ball = 1; ball <= 90; ++ball) {
            const auto before = [ball](const QByteArray &bytes) {
                return isJpeg(bytes) ? jpeg(ballPicture(ball)) : QByteArray();
            };
            const bool done = place(BallMedia::pictureName(ball), pictureMaking(), isJpeg, before,
                                    [&]() -> std::optional<QByteArray> {
                                        const QByteArray bytes = jpeg(ballPicture(ball));
                                        if (bytes.isEmpty()) {
                                            failWrite(WorkDir::resolve(dir, BallMedia::pictureName(ball)),
                                                      QStringLiteral("JPEG"));
                                            return std::nullopt;
                                        }
                                        return MediaMark::markJpeg(bytes, pictureMaking());
                                    });
            if (!done)
                return result;
            if (!step())
                return cancelled();
        }
    }
    return result;
}

} // namespace bolaris
