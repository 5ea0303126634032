#pragma once

#include <QImage>
#include <QRect>
#include <QString>

#include <array>

namespace bolaris {

// The ball media files in the working folder: a voice and a picture per ball,
// the fallback sound and the win sound. Names match without regard to case.
namespace BallMedia {

QString soundName(int ball);   // "spbl" + n + ".wav"
QString pictureName(int ball); // "imbl" + n + ".jpg"
inline QString fallbackSoundName() { return QStringLiteral("sompedra.wav"); }
inline QString winSoundName() { return QStringLiteral("bateu.wav"); }
// The files whose presence stands for the whole set.
inline QString soundProbeName() { return soundName(10); }
inline QString pictureProbeName() { return pictureName(10); }

// The file to play for a ball: its own voice when present, else the fallback
// sound (whether or not that exists).
QString soundFor(const QString &dir, int ball);
// The ball's picture, or empty when it has none.
QString pictureFor(const QString &dir, int ball);

// The content of path when it is a regular file of at most maxBytes (null
// otherwise); a FIFO or a device is never waited for.
QByteArray regularFileBytes(const QString &path, qint64 maxBytes);
// True for the bytes of a RIFF/WAVE sound whose lengths agree with them: a
// format chunk and a non-empty data chunk inside it.
bool isSound(const QByteArray &wav);
// True for a regular file holding a RIFF/WAVE sound whose lengths agree
// with the file: a format chunk and a non-empty data chunk inside it. Never
// blocks (a FIFO or a device is refused without being read).
bool isSoundFile(const QString &path);
// The picture in a regular file; a null image for anything else (a FIFO, a
// device, a folder, a broken file), without blocking.
QImage readPicture(const QString &path);

// The places of a picture zooming from where it was put on the board to the
// left top of the Draw panel: ten steps, each wait of the zoom after one.
std::array<QRect, 10> zoomSteps(int left0, int top0);

} // namespace BallMedia

} // namespace bolaris
