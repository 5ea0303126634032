#include "TestSupport.h"
#include "draw/BallMedia.h"
#include "draw/MediaMaker.h"
#include "draw/MediaMark.h"
#include "report/Fonts.h"

#include <QDir>
#include <QImage>
#include <QBuffer>
#include <QTest>
#include <QWaveDecoder>

#include <cmath>
#include <sys/stat.h>

using namespace bolaris;

namespace {

// A mono 16-bit PCM WAV at 22,050 Hz: its length in seconds and its loudest sample.
struct WavInfo {
    bool valid = false;
    double seconds = 0;
    int peak = 0;
};

WavInfo readWav(const QByteArray &bytes)
{
    WavInfo info;
    auto u16 = [&](int at) { return int(quint8(bytes[at])) | int(quint8(bytes[at + 1])) << 8; };
    auto u32 = [&](int at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    if (bytes.size() < 44 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE" || u16(20) != 1 ||
        u16(22) != 1 || u16(34) != 16)
        return info;
    // Find the data chunk (espeak-ng and the program's own writer both put it after "fmt ").
    int at = 12;
    while (at + 8 <= bytes.size() && bytes.mid(at, 4) != "data")
        at += 8 + int(u32(at + 4));
    if (at + 8 > bytes.size())
        return info;
    const int size = std::min(int(u32(at + 4)), int(bytes.size()) - at - 8);
    info.valid = true;
    info.seconds = size / 2.0 / u32(24);
    for (int i = 0; i + 1 < size; i += 2)
        info.peak = std::max(info.peak, std::abs(int(qint16(u16(at + 8 + i)))));
    return info;
}

QStringList files(const QString &dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden); }

// A ball's voice as espeak-ng speaks it in voice, with the program's settings.
QByteArray spoken(const QString &voice, int ball)
{
    QTemporaryDir dir;
    const QString out = QDir(dir.path()).filePath(QStringLiteral("v.wav"));
    QProcess::execute(MediaMaker::speechProgram(), {"-v", voice, "-s", "150", "-a", "180", "-w", out,
                                                   QString::number(ball)});
    return test::readBytes(out);
}

QByteArray jpegOf(const QImage &image, int quality = 92)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", quality);
    return bytes;
}

} // namespace

class TestMediaMaker : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    void sounds_data()
    {
        QTest::addColumn<QByteArray>("wav");
        QTest::addColumn<double>("minSeconds");
        QTest::newRow("chime") << MediaMaker::chimeWav() << 0.4;
        QTest::newRow("win") << MediaMaker::winWav() << 1.2;
    }
    void sounds()
    {
        QFETCH(QByteArray, wav);
        QFETCH(double, minSeconds);
        const WavInfo info = readWav(wav);
        QVERIFY(info.valid);
        QVERIFY(info.seconds >= minSeconds && info.seconds < 4);
        QVERIFY(info.peak > 8000); // clearly audible, never clipped past the format
    }

    // Only a regular file with a whole RIFF/WAVE sound is handed to the player:
    // a broken one could hang it. Nothing here may block.
    void soundFilesAreChecked_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("special");
        QTest::addColumn<bool>("playable");
        const QByteArray chime = MediaMaker::chimeWav();
        QByteArray headerOnly = chime.left(44);
        headerOnly.replace(4, 4, QByteArray::fromHex("24000000"));
        headerOnly.replace(40, 4, QByteArray::fromHex("00000000"));
        QTest::newRow("the program's own") << chime << QString() << true;
        QTest::newRow("empty") << QByteArray() << QString() << false;
        QTest::newRow("header only") << headerOnly << QString() << false;
        QTest::newRow("cut short") << chime.left(chime.size() / 2) << QString() << false;
        QTest::newRow("longer than it says") << chime + QByteArray(100, '\0') << QString() << false;
        QTest::newRow("not a sound") << QByteArray("RIFF\x04\0\0\0AVI ") << QString() << false;
        QTest::newRow("FIFO") << QByteArray() << "fifo" << false;
        QTest::newRow("folder") << QByteArray() << "folder" << false;
        QTest::newRow("link to a device") << QByteArray() << "device" << false;
    }
    void soundFilesAreChecked()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, special);
        QFETCH(bool, playable);
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath("spbl1.wav");
        if (special == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (special == QLatin1String("folder"))
            QVERIFY(QDir(dir.path()).mkdir("spbl1.wav"));
        else if (special == QLatin1String("device"))
            QVERIFY(QFile::link("/dev/zero", path));
        else
            test::writeBytes(path, bytes);
        QCOMPARE(BallMedia::isSoundFile(path), playable);
    }

    // A picture is read from a regular file only; a FIFO gives no picture at once.
    void picturesFromRegularFilesOnly()
    {
        QTemporaryDir dir;
        const QString fifo = QDir(dir.path()).filePath("imbl1.jpg");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(BallMedia::readPicture(fifo).isNull());
        QVERIFY(BallMedia::readPicture(QStringLiteral("/dev/zero")).isNull());
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::yellow);
        const QString good = QDir(dir.path()).filePath("imbl2.jpg");
        QVERIFY(image.save(good, "JPG"));
        QCOMPARE(BallMedia::readPicture(good).size(), QSize(40, 30));
    }

    void picturesOfEveryBall()
    {
        QTemporaryDir dir;
        QList<int> progress;
        const auto result = MediaMaker::make(dir.path(), MediaMaker::Pictures, [&](int done, int total) {
            progress << done;
            return total == 90;
        });
        QCOMPARE(result.status, MediaMaker::Result::Done);
        QCOMPARE(result.written, 90);
        QCOMPARE(progress.size(), 90);
        QCOMPARE(files(dir.path()).size(), 90); // nothing else left behind
        for (int ball : {1, 9, 45, 90}) {
            QImage image(QDir(dir.path()).filePath(QStringLiteral("imbl%1.jpg").arg(ball)));
            QCOMPARE(image.size(), QSize(721, 522));
        }
        // The number is drawn dark on the white face in the middle.
        const QImage seven = MediaMaker::ballPicture(7);
        int dark = 0, light = 0;
        for (int y = 180; y < 340; ++y)
            for (int x = 280; x < 440; ++x)
                (qGray(seven.pixel(x, y)) < 80 ? dark : light) += 1;
        QVERIFY(dark > 2000 && light > 2000);
    }

    void voicesOfEveryBall()
    {
        if (MediaMaker::speechProgram().isEmpty())
            QSKIP("espeak-ng is not installed");
        QTemporaryDir dir;
        const auto result = MediaMaker::make(dir.path(), MediaMaker::Sounds);
        QCOMPARE(result.status, MediaMaker::Result::Done);
        QCOMPARE(files(dir.path()).size(), 92);
        for (int ball = 1; ball <= 90; ++ball) {
            const WavInfo info = readWav(test::readBytes(QDir(dir.path()).filePath(QStringLiteral("spbl%1.wav").arg(ball))));
            QVERIFY2(info.valid && info.seconds > 0.3 && info.seconds < 5 && info.peak > 3000,
                     qPrintable(QString::number(ball)));
        }
        QVERIFY(readWav(test::readBytes(QDir(dir.path()).filePath("bateu.wav"))).valid);
        QVERIFY(readWav(test::readBytes(QDir(dir.path()).filePath("sompedra.wav"))).valid);
    }

    // The mark goes into a sound and a picture that stay whole: the player's
    // decoder reads the sound, the picture still loads, and the making is
    // read back; a file without it has none.
    void marks()
    {
        const QByteArray wav = MediaMark::markWav(MediaMaker::chimeWav(), QStringLiteral("sompedra 1"));
        QCOMPARE(MediaMark::makingOf(wav), std::optional<QString>(QStringLiteral("sompedra 1")));
        QCOMPARE(MediaMark::makingOf(MediaMaker::chimeWav()), std::optional<QString>());
        QVERIFY(BallMedia::isSound(wav));
        QCOMPARE(readWav(wav).seconds, readWav(MediaMaker::chimeWav()).seconds);
        QBuffer buffer;
        buffer.setData(wav);
        buffer.open(QIODevice::ReadOnly);
        QWaveDecoder decoder(&buffer);
        QSignalSpy ready(&decoder, &QWaveDecoder::formatKnown);
        QVERIFY(decoder.open(QIODevice::ReadOnly));
        QTRY_VERIFY(ready.count() > 0 || decoder.audioFormat().isValid());
        QCOMPARE(decoder.audioFormat().sampleRate(), 22050);
        QCOMPARE(decoder.size(), qint64(MediaMaker::chimeWav().size() - 44));

        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::yellow);
        const QByteArray jpeg = MediaMark::markJpeg(jpegOf(image), QStringLiteral("imbl 1"));
        QCOMPARE(MediaMark::makingOf(jpeg), std::optional<QString>(QStringLiteral("imbl 1")));
        QCOMPARE(MediaMark::makingOf(jpegOf(image)), std::optional<QString>());
        QCOMPARE(QImage::fromData(jpeg).size(), QSize(40, 30));
    }

    // The voices speak Brazilian Portuguese ("dezesseis", not Portugal's
    // "dezasseis"), marked as the program's.
    void voicesAreBrazilian()
    {
        if (MediaMaker::speechProgram().isEmpty())
            QSKIP("espeak-ng is not installed");
        QTemporaryDir dir;
        QCOMPARE(MediaMaker::make(dir.path(), MediaMaker::Sounds).status, MediaMaker::Result::Done);
        for (int ball : {16, 17, 19}) {
            const QByteArray voice = test::readBytes(QDir(dir.path()).filePath(QStringLiteral("spbl%1.wav").arg(ball)));
            QCOMPARE(voice, MediaMark::markWav(spoken(QStringLiteral("pt-br"), ball), MediaMaker::voiceMaking()));
            QVERIFY(spoken(QStringLiteral("pt-br"), ball) != spoken(QStringLiteral("pt"), ball));
        }
    }

    // Making the media in a folder that has some already: what the program
    // made another way is made again, what it made this way is left, and
    // what the organiser put there is never replaced.
    void existingFiles()
    {
        if (MediaMaker::speechProgram().isEmpty())
            QSKIP("espeak-ng is not installed");
        QTemporaryDir dir, elsewhere;
        const auto path = [&](const QString &name) { return QDir(dir.path()).filePath(name); };
        QImage own(40, 30, QImage::Format_RGB32);
        own.fill(Qt::yellow);
        const QByteArray recorded = MediaMaker::winWav(); // a sound not spoken by espeak-ng
        const QByteArray upToDate = MediaMark::markWav(MediaMaker::chimeWav(), MediaMaker::voiceMaking());
        const QString target = QDir(elsewhere.path()).filePath(QStringLiteral("recording.wav"));
        test::writeBytes(target, recorded);
        struct Case {
            const char *name;
            QByteArray before; // empty: a link to target
            const char *after; // "made", "kept" or "left"
        };
        const QList<Case> cases = {
            {"spbl5.wav", recorded, "kept"},                            // a recorded voice
            {"SPBL6.WAV", recorded, "kept"},                            // in other letter case
            {"spbl16.wav", spoken(QStringLiteral("pt"), 16), "made"},   // the unmarked voice of Portugal
            {"spbl17.wav", MediaMark::markWav(recorded, QStringLiteral("espeak-ng -v pt -s 150 -a 180")), "made"},
            {"spbl19.wav", upToDate, "left"},                           // made this way already
            {"spbl20.wav", upToDate.left(upToDate.size() - 10), "made"}, // marked, but cut short
            {"spbl21.wav", QByteArray(), "made"},                        // a link: replaced, its file kept
            {"sompedra.wav", MediaMaker::chimeWav(), "made"},            // the unmarked chime made before
            {"bateu.wav", recorded + QByteArray(2, '\0'), "kept"},       // not the program's
            {"imbl5.jpg", jpegOf(own), "kept"},
            {"imbl7.jpg", jpegOf(MediaMaker::ballPicture(7)), "made"},   // the unmarked picture made before
        };
        for (const Case &c : cases) {
            if (c.before.isEmpty())
                QVERIFY(QFile::link(target, path(c.name)));
            else
                test::writeBytes(path(c.name), c.before);
        }
        const MediaMaker::Result result = MediaMaker::make(dir.path(), MediaMaker::All);
        QCOMPARE(result.status, MediaMaker::Result::Done);
        for (const Case &c : cases) {
            const QByteArray now = test::readBytes(path(c.name));
            const QString after = QLatin1String(c.after);
            QVERIFY2(after == QLatin1String("made") ? now != c.before && MediaMark::makingOf(now)
                                                    : now == c.before,
                     c.name);
            QVERIFY2(!QFileInfo(path(c.name)).isSymLink(), c.name);
        }
        QCOMPARE(test::readBytes(path("spbl16.wav")),
                 MediaMark::markWav(spoken(QStringLiteral("pt-br"), 16), MediaMaker::voiceMaking()));
        QCOMPARE(test::readBytes(target), recorded);
        QCOMPARE(result.kept, (QStringList{"spbl5.wav", "SPBL6.WAV", "bateu.wav", "imbl5.jpg"}));
        QCOMPARE(result.upToDate, 1);
        QCOMPARE(result.written, 182 - 5);
        QCOMPARE(files(dir.path()).size(), 182);

        // Made again at once: nothing to do.
        const MediaMaker::Result again = MediaMaker::make(dir.path(), MediaMaker::All);
        QCOMPARE(again.written, 0);
        QCOMPARE(again.upToDate, 182 - 4);
        QCOMPARE(again.kept.size(), 4);
    }

    void failures()
    {
        // No speech program: nothing is written.
        QTemporaryDir dir;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", dir.path().toLocal8Bit());
        const auto noSpeech = MediaMaker::make(dir.path(), MediaMaker::All);
        qputenv("PATH", path);
        QCOMPARE(noSpeech.status, MediaMaker::Result::NoSpeech);
        QVERIFY(files(dir.path()).isEmpty());

        // A folder that cannot hold files names the file.
        const auto unwritable = MediaMaker::make(QStringLiteral("/dev/null/media"), MediaMaker::Pictures);
        QCOMPARE(unwritable.status, MediaMaker::Result::WriteFailed);
        QVERIFY(unwritable.file.endsWith(QLatin1String("imbl1.jpg")));
        QVERIFY(!unwritable.reason.isEmpty());

        // Cancelled after three pictures: three whole files.
        const auto cancelled = MediaMaker::make(dir.path(), MediaMaker::Pictures, [](int done, int) { return done < 3; });
        QCOMPARE(cancelled.status, MediaMaker::Result::Cancelled);
        QCOMPARE(files(dir.path()), (QStringList{"imbl1.jpg", "imbl2.jpg", "imbl3.jpg"}));
    }

    void commandLine()
    {
        QTemporaryDir dir;
        const auto run = test::runProgram(QStringLiteral(BOLARIS_CLI), {"make-media", "--dir", dir.path()});
        if (MediaMaker::speechProgram().isEmpty()) {
            QCOMPARE(run.status, 1);
            QVERIFY(run.err.contains("espeak-ng"));
            return;
        }
        QCOMPARE(run.status, 0);
        QCOMPARE(files(dir.path()).size(), 182);
        QCOMPARE(test::runProgram(QStringLiteral(BOLARIS_CLI), {"make-media", "--dir", dir.filePath("none")}).status,
                 2);
        QCOMPARE(test::runProgram(QStringLiteral(BOLARIS_CLI), {"make-media", "extra"}).status, 2);
    }
};

QTEST_MAIN(TestMediaMaker)
#include "tst_mediamaker.moc"
