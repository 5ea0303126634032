#include "TestSupport.h"
#include "draw/BallMedia.h"
#include "draw/MediaMaker.h"
#include "report/Fonts.h"

#include <QDir>
#include <QImage>
#include <QTest>

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
