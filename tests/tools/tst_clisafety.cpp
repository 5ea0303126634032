#include "TestSupport.h"

#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace {

using bolaris::test::Run;

Run cli(const QStringList &args) { return bolaris::test::runProgram(QStringLiteral(BOLARIS_CLI), args); }

QStringList issueArgs(const QString &model, int last, const QString &dir, const QString &out)
{
    return {"issue-pdf", "--model", model, "--series", "A", "--first", "1", "--last", QString::number(last),
            "--dir", dir, "--out", out};
}

// Hidden files of a folder: where temporaries would be left.
QStringList hiddenFiles(const QString &dir)
{
    return QDir(dir).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
}

} // namespace

// The tool run the way a careless user, a failing disk or a killed process would.
class TestCliSafety : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A full disk keeps the PDF that was there, and the tool says why it failed.
    void fullDiskKeepsTheOldPdf()
    {
        bolaris::test::SmallDisk disk(512);
        SKIP_WITHOUT_DISK(disk);
        QTemporaryDir dir;
        const QString out = disk.file(QStringLiteral("o.pdf"));
        QCOMPARE(cli(issueArgs(QStringLiteral("check3"), 3, dir.path(), out)).status, 0);
        const QByteArray good = bolaris::test::readBytes(out);
        disk.fillUp(8 * 1024);
        const Run r = cli(issueArgs(QStringLiteral("check3"), 60, dir.path(), out));
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(out + QStringLiteral(" was not written: No space left on device")), qPrintable(r.err));
        QCOMPARE(bolaris::test::readBytes(out), good);
        QCOMPARE(disk.files(), QStringList{"o.pdf"});
    }

    // A working folder that cannot take the datasets ends the issue with one
    // message and exit 1 before any PDF is written; never an abort.
    void folderThatTakesNoDatasets_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("says");
        for (const char *model : {"checkgg", "check3a4", "check3"}) {
            QTest::addRow("%s, read-only", model) << model << true << "cannot be written: Read-only file system";
            QTest::addRow("%s, full", model) << model << false << "disk is full";
        }
    }
    void folderThatTakesNoDatasets()
    {
        QFETCH(QString, model);
        QFETCH(bool, readOnly);
        QFETCH(QString, says);
        bolaris::test::SmallDisk disk(256);
        SKIP_WITHOUT_DISK(disk);
        QTemporaryDir outDir;
        const QString out = QDir(outDir.path()).filePath(QStringLiteral("o.pdf"));
        if (readOnly)
            QVERIFY(disk.makeReadOnly());
        else
            disk.fillUp(8 * 1024);
        const Run r = cli(issueArgs(model, 60, disk.path(), out));
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(says) && r.err.count(QStringLiteral("bolaris-cli:")) == 1, qPrintable(r.err));
        QVERIFY(!QFile::exists(out));
        QVERIFY(disk.files().isEmpty());
        QVERIFY(hiddenFiles(outDir.path()).isEmpty());
    }

    // No output is written over the program's own data files, whatever the
    // letter case or a link in between; nothing else is changed either.
    void dataFilesAreNoOutput_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("link");
        QTest::newRow("registry") << "Validadas.cds" << false;
        QTest::newRow("returned tickets, other case") << "CARTOES.CDS" << false;
        QTest::newRow("series B to L") << "compl22.cds" << false;
        QTest::newRow("sheet dataset") << "cartelas.cds" << false;
        QTest::newRow("a link to the registry") << "Validadas.cds" << true;
        QTest::newRow("draw log") << "Sorteios.cds" << false;
        QTest::newRow("draw log, other case") << "sorteios.CDS" << false;
        QTest::newRow("a link to the draw log") << "Sorteios.cds" << true;
    }
    void dataFilesAreNoOutput()
    {
        QFETCH(QString, name);
        QFETCH(bool, link);
        QTemporaryDir dir, elsewhere;
        QCOMPARE(cli(issueArgs(QStringLiteral("check3"), 2, dir.path(), QDir(dir.path()).filePath("a.pdf"))).status, 0);
        QCOMPARE(cli({"validate", "--series", "A", "--cards", "1-5", "--dir", dir.path()}).status, 0);
        QCOMPARE(cli({"return-ticket", "--series", "A", "--ticket", "3", "--dir", dir.path()}).status, 0);
        bolaris::test::writeCardFile(dir.path(), {});
        bolaris::test::writeBytes(QDir(dir.path()).filePath(QStringLiteral("Sorteios.cds")), "the draw log");
        QMap<QString, QByteArray> before;
        for (const QString &f : QDir(dir.path()).entryList(QDir::Files))
            before[f] = bolaris::test::readBytes(QDir(dir.path()).filePath(f));
        QString out = QDir(dir.path()).filePath(name);
        if (link) {
            out = QDir(elsewhere.path()).filePath(QStringLiteral("sheets.pdf"));
            QVERIFY(QFile::link(QDir(dir.path()).filePath(name), out));
        }
        const Run r = cli(issueArgs(QStringLiteral("check3"), 4, dir.path(), out));
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("one of the program's data files")), qPrintable(r.err));
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(bolaris::test::readBytes(QDir(dir.path()).filePath(it.key())), it.value());
    }

    // A link (symbolic or hard) where an output goes is replaced by the new
    // file; the file it leads to stays as it was.
    void linksAtOutputsAreReplaced_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("dataFile");
        QTest::addColumn<bool>("hard");
        const QStringList exportCsv{"export-csv", "--series", "A", "--first", "1", "--last", "3"};
        QTest::newRow("export file to registry") << exportCsv << "CARTGRAF.CSV" << "Validadas.cds" << false;
        QTest::newRow("export table to tickets") << exportCsv << "cartgraf.cds" << "Cartoes.cds" << false;
        QTest::newRow("export file, hard link") << exportCsv << "CARTGRAF.CSV" << "Validadas.cds" << true;
        QTest::newRow("picture to registry") << QStringList{"make-media"} << "imbl1.jpg" << "Validadas.cds" << false;
        QTest::newRow("sound to tickets") << QStringList{"make-media"} << "spbl1.wav" << "Cartoes.cds" << false;
    }
    void linksAtOutputsAreReplaced()
    {
        QFETCH(QStringList, command);
        QFETCH(QString, output);
        QFETCH(QString, dataFile);
        QFETCH(bool, hard);
        QTemporaryDir dir;
        QCOMPARE(cli({"validate", "--series", "A", "--cards", "1-5", "--dir", dir.path()}).status, 0);
        QCOMPARE(cli({"return-ticket", "--series", "A", "--ticket", "3", "--dir", dir.path()}).status, 0);
        const QString data = QDir(dir.path()).filePath(dataFile);
        const QString out = QDir(dir.path()).filePath(output);
        const QByteArray before = bolaris::test::readBytes(data);
        QVERIFY(hard ? ::link(QFile::encodeName(data).constData(), QFile::encodeName(out).constData()) == 0
                     : QFile::link(data, out));
        const Run r = cli(command + QStringList{"--dir", dir.path()});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(bolaris::test::readBytes(data), before);
        QVERIFY(!QFileInfo(out).isSymLink());
        QVERIFY(bolaris::test::readBytes(out) != before);
    }

    // The card file of series B to L is no output over another data file of
    // the folder it goes into.
    void seriesFileChecksItsFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("status");
        QTest::newRow("registry") << "Validadas.cds" << 1;
        QTest::newRow("tickets, other case") << "cartoes.CDS" << 1;
        QTest::newRow("draw log") << "Sorteios.cds" << 1;
        QTest::newRow("its own name") << "compl22.cds" << 0;
    }
    void seriesFileChecksItsFolder()
    {
        QFETCH(QString, name);
        QFETCH(int, status);
        QTemporaryDir dir;
        const QString out = QDir(dir.path()).filePath(name);
        bolaris::test::writeBytes(out, "kept");
        const Run r = cli({"generate-series", "--out", out});
        QCOMPARE(r.status, status);
        if (status)
            QCOMPARE(bolaris::test::readBytes(out), QByteArray("kept"));
    }

    // The output place is checked before any work, and the reason is given.
    void badOutputPlace_data()
    {
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing folder") << "/nonexistent/o.pdf"
                                        << "cannot write /nonexistent/o.pdf: the folder /nonexistent does not exist";
        QTest::newRow("a folder") << "." << "it is a folder";
    }
    void badOutputPlace()
    {
        QFETCH(QString, out);
        QFETCH(QString, says);
        QTemporaryDir dir;
        QCOMPARE(cli(issueArgs(QStringLiteral("check3"), 2, dir.path(), QDir(dir.path()).filePath("a.pdf"))).status, 0);
        const QString sheets = QDir(dir.path()).filePath(QStringLiteral("cartelas.cds"));
        const QByteArray before = bolaris::test::readBytes(sheets);
        const Run r = cli(issueArgs(QStringLiteral("check3"), 7, dir.path(), out));
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QCOMPARE(bolaris::test::readBytes(sheets), before);
    }

    // A repeated option is refused, never silently the last one taken.
    void repeatedOptions_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("issue-pdf --series")
            << QStringList{"issue-pdf", "--model", "check3", "--series", "B", "--series", "C", "--first", "1",
                           "--last", "1", "--out", "x.pdf"};
        QTest::newRow("validate --cards") << QStringList{"validate", "--series", "A", "--cards", "1", "--cards", "2"};
        QTest::newRow("validate --yes") << QStringList{"validate", "--series", "A", "--cards", "1", "--yes", "--yes"};
        QTest::newRow("dump-store --dir") << QStringList{"dump-store", "--dir", ".", "--dir", "/"};
    }
    void repeatedOptions()
    {
        QFETCH(QStringList, args);
        QTemporaryDir dir;
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(QStringLiteral(BOLARIS_CLI), args);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 2);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("given more than once")) && err.contains(QStringLiteral("usage:")),
                 qPrintable(err));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    // Writers killed in the middle of writing leave temporaries that the next
    // run of the tool in that folder removes.
    void killedWritersLeaveNothingBehind()
    {
        QTemporaryDir dir;
        const QString out = QDir(dir.path()).filePath(QStringLiteral("o.pdf"));
        for (int run = 0; run < 4; ++run) {
            QProcess p;
            p.start(QStringLiteral(BOLARIS_CLI), issueArgs(QStringLiteral("check3a4"), 400, dir.path(), out));
            QVERIFY(p.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(!hiddenFiles(dir.path()).filter(QStringLiteral(".bolaris-")).isEmpty()
                                         || p.state() != QProcess::Running,
                                     60000);
            QVERIFY(p.state() == QProcess::Running && p.processId() > 0);
            ::kill(pid_t(p.processId()), SIGKILL);
            p.waitForFinished();
        }
        QVERIFY(!hiddenFiles(dir.path()).filter(QStringLiteral(".bolaris-")).isEmpty());
        QCOMPARE(cli({"dump-store", "--dir", dir.path()}).status, 0);
        QCOMPARE(hiddenFiles(dir.path()), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCliSafety)
#include "tst_clisafety.moc"
