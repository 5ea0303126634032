#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <functional>

class QPainter;

namespace bolaris {

// Makes the ball media set in a folder: the voice of every ball (spoken by
// espeak-ng in Brazilian Portuguese), the fallback chime, the win sound and a
// picture of every ball. Each file is written whole or not at all, and
// carries the program's mark (MediaMark). A file of the set already in the
// folder is made again only when the program made it another way before
// (marked with another making, or, from before files were marked, the very
// bytes the program made then); one made this way already is left, and a
// file the organiser put there (a recorded voice) is never replaced.
class MediaMaker {
public:
    enum Part { Sounds = 1, Pictures = 2, All = Sounds | Pictures };

    struct Result {
        enum Status { Done, Cancelled, NoSpeech, SpeechFailed, WriteFailed };
        Status status = Done;
        QString file;   // the file that failed, when one did
        QString reason; // what went wrong, in the system's words
        int code = 0;   // the system's error number of a failed write, when there is one
        int written = 0;
        int upToDate = 0;  // made this way already, left as they are
        QStringList kept;  // the organiser's own files, never replaced
    };

    // Called after each file with the count done and the total; returning
    // false stops the work before the next file.
    using Progress = std::function<bool(int done, int total)>;

    static int fileCount(int parts);
    static Result make(const QString &dir, int parts, const Progress &progress = {});

    // The pieces, for tests and for looking at them.
    static QString voiceText(int ball);
    static QImage ballPicture(int ball);
    // A ball of this colour with number on its white face (none when empty),
    // lit from the upper left; the program's icon is drawn with it too.
    static void paintBall(QPainter &p, QPointF centre, double radius, const QColor &colour,
                          const QString &number);
    static QByteArray chimeWav();
    static QByteArray winWav();
    // The speech program, or empty when it is not installed.
    static QString speechProgram();
    // How the voices, the chime, the win sound and the pictures are made
    // now: the making their mark names.
    static QString voiceMaking();
    static QString chimeMaking();
    static QString winMaking();
    static QString pictureMaking();
};

} // namespace bolaris
