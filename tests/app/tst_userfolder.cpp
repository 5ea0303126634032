#include "TestSupport.h"
#include "app/UserFolder.h"

#include <QTest>

using bolaris::UserFolder;
using bolaris::test::readBytes;
using bolaris::test::writeBytes;

namespace {

using Files = QMap<QString, QByteArray>;

// Stands for the installed data folder.
const Files kInstalled = {{"compl22.cds", "installed cards"},
                          {"bateu.wav", "installed win"},
                          {"spbl1.wav", "installed one"},
                          {"imbl1.jpg", "installed picture"}};

void writeFiles(const QString &dir, const Files &files)
{
    QDir().mkpath(dir);
    for (auto it = files.begin(); it != files.end(); ++it)
        writeBytes(QDir(dir).filePath(it.key()), it.value());
}

Files readFiles(const QString &dir)
{
    Files files;
    for (const QString &name : QDir(dir).entryList(QDir::Files | QDir::Hidden))
        files.insert(name, readBytes(QDir(dir).filePath(name)));
    return files;
}

} // namespace

class TestUserFolder : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Missing files are copied; whatever the user has stays as it is.
    void copiesOnlyWhatIsMissing_data()
    {
        QTest::addColumn<QString>("subfolder");
        QTest::addColumn<Files>("before");
        QTest::addColumn<Files>("after");
        QTest::addColumn<QStringList>("copied");
        QTest::newRow("first start, folders missing")
            << "share/bolaris" << Files{} << kInstalled
            << QStringList{"bateu.wav", "compl22.cds", "imbl1.jpg", "spbl1.wav"};
        Files mine = kInstalled;
        mine["compl22.cds"] = "my cards";
        mine["bateu.wav"] = "my win";
        mine["Validadas.cds"] = "my registry";
        QTest::newRow("user's files kept")
            << ""
            << Files{{"compl22.cds", "my cards"}, {"bateu.wav", "my win"}, {"Validadas.cds", "my registry"}}
            << mine << QStringList{"imbl1.jpg", "spbl1.wav"};
        Files renamed = kInstalled;
        renamed.remove("compl22.cds");
        renamed["COMPL22.CDS"] = "my cards";
        QTest::newRow("name in other letter case") << "" << Files{{"COMPL22.CDS", "my cards"}} << renamed
                                                   << QStringList{"bateu.wav", "imbl1.jpg", "spbl1.wav"};
        QTest::newRow("nothing missing") << "" << kInstalled << kInstalled << QStringList{};
    }
    void copiesOnlyWhatIsMissing()
    {
        QFETCH(QString, subfolder);
        QFETCH(Files, before);
        QFETCH(Files, after);
        QFETCH(QStringList, copied);
        QTemporaryDir installed, home;
        writeFiles(installed.path(), kInstalled);
        const QString folder = QDir(home.path()).filePath(subfolder);
        if (!before.isEmpty())
            writeFiles(folder, before);

        const UserFolder::Result result = UserFolder::prepare(folder, installed.path());
        QCOMPARE(result.folderError, 0);
        QVERIFY(!result.failure.failed());
        QCOMPARE(result.copied, copied);
        QCOMPARE(result.message(folder), QString());
        QCOMPARE(readFiles(folder), after);
        // Folders made for the user's data are the user's alone.
        if (before.isEmpty()) {
            for (const QString &made : {folder, QFileInfo(folder).absolutePath()})
                QCOMPARE(QFileInfo(made).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                         QFile::Permissions());
        }
    }

    // A relative XDG_DATA_HOME is ignored: the folder is the same from any
    // current folder.
    void relativeDataHomeIsIgnored_data()
    {
        QTest::addColumn<QByteArray>("dataHome");
        QTest::addColumn<QString>("expected");
        QTest::newRow("relative") << QByteArray("rel/data") << QDir::homePath() + "/.local/share/bolaris";
        QTest::newRow("absolute") << QByteArray("/srv/data") << QStringLiteral("/srv/data/bolaris");
    }
    void relativeDataHomeIsIgnored()
    {
        QFETCH(QByteArray, dataHome);
        QFETCH(QString, expected);
        const QByteArray before = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", dataHome);
        const QString path = UserFolder::defaultPath();
        if (before.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", before);
        QCOMPARE(path, expected);
    }

    // The save dialogs of a start in the user folder, a hidden folder,
    // propose the user's documents folder; any other working folder is
    // proposed as it is.
    void saveFolder_data()
    {
        QTest::addColumn<QString>("workDir"); // under the scratch home
        QTest::addColumn<bool>("documentsExist");
        QTest::addColumn<QString>("expected");
        QTest::newRow("user folder") << ".local/share/bolaris" << true << "Documentos";
        QTest::newRow("user folder, no documents folder") << ".local/share/bolaris" << false << "";
        QTest::newRow("another folder") << "bingo" << true << "bingo";
    }
    void saveFolder()
    {
        QFETCH(QString, workDir);
        QFETCH(bool, documentsExist);
        QFETCH(QString, expected);
        QTemporaryDir home;
        const QDir h(home.path());
        QVERIFY(h.mkpath(".config"));
        writeBytes(h.filePath(".config/user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"$HOME/Documentos\"\n");
        if (documentsExist)
            QVERIFY(h.mkpath("Documentos"));
        QVERIFY(h.mkpath(workDir));
        const QMap<QByteArray, QByteArray> env = {{"HOME", home.path().toLocal8Bit()},
                                                  {"XDG_CONFIG_HOME", h.filePath(".config").toLocal8Bit()},
                                                  {"XDG_DATA_HOME", QByteArray()}};
        QMap<QByteArray, QByteArray> before;
        for (auto it = env.begin(); it != env.end(); ++it) {
            before[it.key()] = qgetenv(it.key());
            qputenv(it.key(), it.value());
        }
        const QString folder = UserFolder::saveFolder(h.filePath(workDir));
        for (auto it = before.begin(); it != before.end(); ++it)
            qputenv(it.key(), it.value());
        QCOMPARE(folder, QDir::cleanPath(h.filePath(expected)));
    }

    void folderThatCannotBeMade()
    {
        QTemporaryDir home;
        writeBytes(QDir(home.path()).filePath("share"), "a file where a folder should be");
        const QString folder = QDir(home.path()).filePath("share/bolaris");
        const UserFolder::Result result = UserFolder::prepare(folder, home.path());
        QCOMPARE(result.folderError, ENOTDIR);
        QCOMPARE(result.message(folder),
                 QStringLiteral("A pasta de trabalho %1 não pôde ser criada: o caminho não é uma pasta.")
                     .arg(folder));
    }

    // A copy is whole or absent, and the operator is told which file and why.
    void diskThatTakesNoMore_data()
    {
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full") << false << "o disco está cheio";
        QTest::newRow("read-only") << true << "o disco só permite leitura";
    }
    void diskThatTakesNoMore()
    {
        QFETCH(bool, readOnly);
        QFETCH(QString, reason);
        bolaris::test::SmallDisk disk(256);
        SKIP_WITHOUT_DISK(disk);
        QTemporaryDir installed;
        Files big = kInstalled;
        big["compl22.cds"] = QByteArray(600 * 1024, 'c');
        writeFiles(installed.path(), big);
        writeBytes(disk.file("bateu.wav"), "my win");
        if (readOnly)
            QVERIFY(disk.makeReadOnly());

        const UserFolder::Result result = UserFolder::prepare(disk.path(), installed.path());
        QVERIFY(result.failure.failed());
        QCOMPARE(QFileInfo(result.failure.file).fileName(), QStringLiteral("compl22.cds"));
        QCOMPARE(result.copied, QStringList{});
        QCOMPARE(disk.files(), QStringList{"bateu.wav"});
        QCOMPARE(readBytes(disk.file("bateu.wav")), QByteArray("my win"));
        const QString message = result.message(disk.path());
        const QString expected = QStringLiteral("O arquivo compl22.cds não foi gravado: %1.").arg(reason);
        QVERIFY2(message.startsWith(expected), qPrintable(message));
        QVERIFY2(message.contains(disk.path()), qPrintable(message));
    }
};

QTEST_GUILESS_MAIN(TestUserFolder)
#include "tst_userfolder.moc"
