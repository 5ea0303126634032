#include "TestSupport.h"
#include "dataset/DatasetFile.h"
#include "validation/ValidationRegistry.h"

#include <QLockFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sqlite3.h>
#include <unistd.h>

using namespace bolaris;

namespace {

using test::Run;

QProcessEnvironment quietEnvironment(const QString &runtime)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    return env;
}

Run cli(const QStringList &args, const QByteArray &input = {})
{
    return test::runProgram(QStringLiteral(BOLARIS_CLI), args, input);
}

QStringList rows(const QString &path)
{
    QStringList out;
    for (const Row &row : DatasetFile::load(path).rows) {
        QStringList values;
        for (const QVariant &v : row)
            values << v.toString();
        out << values.join(QLatin1Char(','));
    }
    return out;
}

QString file(const QTemporaryDir &dir, const char *name) { return QDir(dir.path()).filePath(QLatin1String(name)); }

void runSql(const QString &path, const QByteArray &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    QCOMPARE(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// A registry with cards A1 to A100 and the returned ticket A9 (card 2).
void fillRegistry(const QString &dir)
{
    ValidationRegistry registry(dir);
    test::ScriptedPrompter prompter;
    registry.open();
    registry.SaiEnter(QStringLiteral("A"), QStringLiteral("1-100"), prompter);
    registry.SaiEnterC(QStringLiteral("A"), QStringLiteral("9"), prompter);
    registry.close();
}

QStringList aside(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList({QStringLiteral("*.danificado-*")}, QDir::Files, QDir::Name);
}

// Something keeps a registry file from being read for a while; undone by the destructor.
struct Obstacle {
    sqlite3 *holder = nullptr;
    QString chmodded;
    bool asNobody = false;
    ~Obstacle() { clear(); }
    void clear()
    {
        if (holder) {
            sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(holder);
            holder = nullptr;
        }
        if (asNobody && ::seteuid(0) == 0)
            asNobody = false;
        if (!chmodded.isEmpty())
            QFile::setPermissions(chmodded, QFile::ReadOwner | QFile::WriteOwner);
        chmodded.clear();
    }
};

} // namespace

class TestRegistrySafety : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Entries made in the panel are on disk although the program never closed.
    void entriesSurviveAKill()
    {
        QTemporaryDir dir, runtime;
        QProcess helper;
        helper.setProcessEnvironment(quietEnvironment(runtime.path()));
        helper.start(QStringLiteral(CRASH_ENTRY), {dir.path()});
        QVERIFY(helper.waitForFinished(60000));
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);

        const QStringList cards = rows(QDir(dir.path()).filePath(QStringLiteral("Validadas.cds")));
        QCOMPARE(cards.size(), 18);
        QCOMPARE(cards.first(), QStringLiteral("B,30"));
        QCOMPARE(rows(QDir(dir.path()).filePath(QStringLiteral("Cartoes.cds"))), QStringList{"B,181,31"});

        // The dead program's registry lock does not block the next user.
        const Run next = cli({"validate", "--series", "B", "--cards", "48", "--dir", dir.path()});
        QCOMPARE(next.status, 0);
        QCOMPARE(next.out, QStringLiteral("Cartelas validadas 19\nÚltima validada 48\n"));
    }

    // While the real program has the folder's registry open, the tool changes nothing.
    void toolRefusesWhileTheProgramRuns()
    {
        QTemporaryDir dir, runtime;
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess program;
        program.setProcessEnvironment(quietEnvironment(runtime.path()));
        program.setWorkingDirectory(dir.path());
        program.start(QStringLiteral(BOLARIS_APP), {});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("Cartoes.cds"))), 10000);

        const Run refused = cli({"validate", "--series", "A", "--cards", "1", "--dir", dir.path()});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains(QStringLiteral("open in Bolaris")), qPrintable(refused.err));
        QVERIFY(rows(QDir(dir.path()).filePath(QStringLiteral("Validadas.cds"))).isEmpty());

        ::kill(pid_t(program.processId()), SIGKILL);
        QVERIFY(program.waitForFinished(5000));
        QCOMPARE(cli({"validate", "--series", "A", "--cards", "1", "--dir", dir.path()}).status, 0);
    }

    // The tool applies an entry exactly as Enter in the panel.
    void toolEntries_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("stderrHas");
        QTest::addColumn<QStringList>("cards");
        QTest::addColumn<QStringList>("tickets");
        QTest::addColumn<QByteArray>("input"); // the answers typed on the terminal
        const QStringList base = {"A,1", "A,2"};
        const QString overlap = QStringLiteral("1 cartelas deste intervalo já estão validadas. Exclui da validação?");
        QTest::newRow("range of validated cards removes them")
            << QStringList{"validate", "--series", "a", "--cards", "1-2"} << 0 << "" << QStringList{}
            << QStringList{} << QByteArray();
        QTest::newRow("overlapping range asks, no answer")
            << QStringList{"validate", "--series", "a", "--cards", "2-3"} << 0 << overlap + " Não"
            << QStringList{"A,1", "A,2", "A,3"} << QStringList{"A,9,2"} << QByteArray();
        QTest::newRow("overlapping range asks, answered n")
            << QStringList{"validate", "--series", "A", "--cards", "2-3"} << 0 << overlap
            << QStringList{"A,1", "A,2", "A,3"} << QStringList{"A,9,2"} << QByteArray("n\n");
        QTest::newRow("overlapping range asks, answered sim")
            << QStringList{"validate", "--series", "A", "--cards", "2-3"} << 0 << overlap
            << QStringList{"A,1", "A,3"} << QStringList{} << QByteArray("sim\n");
        QTest::newRow("overlapping range, --yes toggles")
            << QStringList{"validate", "--series", "A", "--cards", "2-3", "--yes"} << 0 << overlap + " Sim"
            << QStringList{"A,1", "A,3"} << QStringList{} << QByteArray();
        QTest::newRow("single asks, No") << QStringList{"validate", "--series", "A", "--cards", "2"} << 0
                                         << "Cartela já validada. Exclui da validação? Não" << base
                                         << QStringList{"A,9,2"} << QByteArray();
        QTest::newRow("single asks, Yes")
            << QStringList{"validate", "--series", "A", "--cards", "2", "--yes"} << 0 << "Exclui da validação? Sim"
            << QStringList{"A,1"} << QStringList{} << QByteArray();
        QTest::newRow("bad series") << QStringList{"validate", "--series", "Z", "--cards", "5"} << 1
                                    << "Série inválida. Corrija." << base << QStringList{"A,9,2"} << QByteArray();
        QTest::newRow("past 2000") << QStringList{"validate", "--series", "A", "--cards", "1999-2003"} << 1
                                   << "above 2000" << QStringList{"A,1", "A,2", "A,1999", "A,2000"}
                                   << QStringList{"A,9,2"} << QByteArray();
        QTest::newRow("no number") << QStringList{"validate", "--series", "A", "--cards", "abc"} << 1
                                   << "nothing entered" << base << QStringList{"A,9,2"} << QByteArray();
        QTest::newRow("ticket of unsold card") << QStringList{"return-ticket", "--series", "A", "--ticket", "13"} << 1
                                               << "Cartela 3 não validada." << base << QStringList{"A,9,2"} << QByteArray();
        QTest::newRow("ticket added") << QStringList{"return-ticket", "--series", "A", "--ticket", "1"} << 0 << ""
                                      << base << QStringList{"A,9,2", "A,1,1"} << QByteArray(); // file order
        QTest::newRow("ticket removed") << QStringList{"return-ticket", "--series", "A", "--ticket", "9", "--yes"}
                                        << 0 << "Cartão já validado." << base << QStringList{} << QByteArray();
        QTest::newRow("ticket out of range") << QStringList{"return-ticket", "--series", "A", "--ticket", "12001"}
                                             << 1 << "not entered" << base << QStringList{"A,9,2"} << QByteArray();
    }
    void toolEntries()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, stderrHas);
        QFETCH(QStringList, cards);
        QFETCH(QStringList, tickets);
        QFETCH(QByteArray, input);
        QTemporaryDir dir;
        QCOMPARE(cli({"validate", "--series", "A", "--cards", "1-2", "--dir", dir.path()}).status, 0);
        QCOMPARE(cli({"return-ticket", "--series", "A", "--ticket", "9", "--dir", dir.path()}).status, 0);
        const Run r = cli(args + QStringList{"--dir", dir.path()}, input);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(stderrHas), qPrintable(r.err));
        QCOMPARE(rows(QDir(dir.path()).filePath(QStringLiteral("Validadas.cds"))), cards);
        QCOMPARE(rows(QDir(dir.path()).filePath(QStringLiteral("Cartoes.cds"))), tickets);
    }

    // A healthy registry that only cannot be read now (another program holds
    // a lock on it, or it belongs to another user) is never moved aside nor
    // replaced by an empty one: entries are refused saying why, the files
    // stay as they are, and the registry works again once the cause is gone.
    void obstacleIsNotDamage_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("says");
        QTest::newRow("locked by another program") << "lock" << "em uso";
        QTest::newRow("not readable by this user") << "permission" << "permissão";
    }
    void obstacleIsNotDamage()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, says);
        QTemporaryDir dir;
        fillRegistry(dir.path());
        const QString vali = file(dir, "Validadas.cds");
        const QByteArray before = test::readBytes(vali);
        Obstacle block;
        if (obstacle == QLatin1String("lock")) {
            sqlite3_open(QFile::encodeName(vali).constData(), &block.holder);
            QCOMPARE(sqlite3_exec(block.holder, "BEGIN EXCLUSIVE; DELETE FROM records;", nullptr, nullptr, nullptr),
                     SQLITE_OK);
        } else {
            QFile::setPermissions(vali, QFileDevice::Permissions());
            block.chmodded = vali;
            if (::geteuid() == 0) { // root reads anything: be another user meanwhile
                QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
                QVERIFY(::seteuid(65534) == 0);
                block.asNobody = true;
            }
        }
        ValidationRegistry registry(dir.path());
        test::ScriptedPrompter prompter;
        const ValidationRegistry::Opened opened = registry.open();
        QCOMPARE(opened.access, ValidationRegistry::Access::Unavailable);
        QVERIFY(!opened.movedAside);
        QVERIFY2(opened.portuguese.contains(QStringLiteral("Validadas.cds")) && opened.portuguese.contains(says),
                 qPrintable(opened.portuguese));
        QVERIFY2(opened.english.contains(QStringLiteral("Validadas.cds")), qPrintable(opened.english));
        QCOMPARE(registry.SaiEnter(QStringLiteral("B"), QStringLiteral("5"), prompter).outcome,
                 ValidationRegistry::Outcome::Refused);
        QCOMPARE(prompter.lastText(), opened.portuguese);
        QVERIFY(!registry.ButtonInivalClick(prompter));
        QVERIFY(aside(dir).isEmpty());

        block.clear();
        QCOMPARE(test::readBytes(vali), before);
        QCOMPARE(registry.SaiEnter(QStringLiteral("B"), QStringLiteral("5"), prompter).outcome,
                 ValidationRegistry::Outcome::Done);
        QCOMPARE(registry.TableVali().recordCount(), 101);
        QCOMPARE(registry.TableValiC().recordCount(), 1);
        registry.close();
    }

    // The tool does the same from the command line: exit 1, nothing changed.
    void toolStopsOnALockedFile()
    {
        QTemporaryDir dir;
        fillRegistry(dir.path());
        Obstacle block;
        sqlite3_open(QFile::encodeName(file(dir, "Cartoes.cds")).constData(), &block.holder);
        sqlite3_exec(block.holder, "BEGIN EXCLUSIVE; DELETE FROM records;", nullptr, nullptr, nullptr);
        const Run r = cli({"validate", "--series", "B", "--cards", "1", "--dir", dir.path()});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("Cartoes.cds")) && r.err.contains(QStringLiteral("nothing was changed")),
                 qPrintable(r.err));
        block.clear();
        QVERIFY(aside(dir).isEmpty());
        QCOMPARE(rows(file(dir, "Validadas.cds")).size(), 100);
        QCOMPARE(rows(file(dir, "Cartoes.cds")), QStringList{"A,9,2"});
    }

    // A file whose content breaks the registry's rules is damaged. Both files
    // are one registry: they go aside together under one stamp and both start
    // empty, so no returned ticket outlives its card; one message says so.
    void damageMovesBothAside_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("sql");
        QTest::newRow("not a database") << "Validadas.cds" << QByteArray();
        QTest::newRow("series outside A-L") << "Validadas.cds" << QByteArray("INSERT INTO records VALUES('M', 5)");
        QTest::newRow("empty series") << "Validadas.cds" << QByteArray("INSERT INTO records VALUES('', 5)");
        QTest::newRow("null series") << "Validadas.cds" << QByteArray("INSERT INTO records VALUES(NULL, 5)");
        QTest::newRow("lower-case series") << "Validadas.cds" << QByteArray("INSERT INTO records VALUES('b', 5)");
        QTest::newRow("card 0") << "Validadas.cds" << QByteArray("INSERT INTO records VALUES('B', 0)");
        QTest::newRow("card 2001") << "Validadas.cds" << QByteArray("INSERT INTO records VALUES('B', 2001)");
        QTest::newRow("card not a number") << "Validadas.cds" << QByteArray("INSERT INTO records VALUES('B', 'x')");
        QTest::newRow("duplicate card") << "Validadas.cds" << QByteArray("INSERT INTO records VALUES('A', 7)");
        QTest::newRow("extra required field")
            << "Validadas.cds"
            << QByteArray("ALTER TABLE records ADD COLUMN f2; INSERT INTO fields VALUES(2, 'Extra', 'integer', 0, 1)");
        QTest::newRow("ticket 0") << "Cartoes.cds" << QByteArray("INSERT INTO records VALUES('A', 0, 1)");
        QTest::newRow("ticket 12001") << "Cartoes.cds" << QByteArray("INSERT INTO records VALUES('A', 12001, 2001)");
        QTest::newRow("Cartela not a number") << "Cartoes.cds" << QByteArray("UPDATE records SET f2 = 'x'");
        QTest::newRow("Cartela of another card") << "Cartoes.cds" << QByteArray("UPDATE records SET f2 = 3");
        QTest::newRow("null ticket") << "Cartoes.cds" << QByteArray("INSERT INTO records VALUES('A', NULL, 1)");
        QTest::newRow("the tickets' fields") << "Validadas.cds" << QByteArray("copy Cartoes.cds");
        QTest::newRow("the cards' fields") << "Cartoes.cds" << QByteArray("copy Validadas.cds");
    }
    void damageMovesBothAside()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, sql);
        QTemporaryDir dir;
        fillRegistry(dir.path());
        const QString path = QDir(dir.path()).filePath(target);
        if (sql.isEmpty())
            test::writeBytes(path, "not a registry");
        else if (sql.startsWith("copy "))
            test::writeBytes(path, test::readBytes(QDir(dir.path()).filePath(QString::fromLatin1(sql.mid(5)))));
        else
            runSql(path, sql);
        const QByteArray vali = test::readBytes(file(dir, "Validadas.cds"));
        const QByteArray valiC = test::readBytes(file(dir, "Cartoes.cds"));

        ValidationRegistry registry(dir.path());
        const ValidationRegistry::Opened opened = registry.open();
        QCOMPARE(opened.access, ValidationRegistry::Access::Writable);
        QVERIFY(opened.movedAside);
        const QStringList moved = aside(dir);
        QCOMPARE(moved.size(), 2);
        QVERIFY(moved[0].startsWith(QStringLiteral("Cartoes.cds.danificado-")));
        QCOMPARE(moved[0].mid(12), moved[1].mid(14)); // one stamp
        for (const QString &name : moved)
            QVERIFY2(opened.portuguese.contains(name) && opened.english.contains(name), qPrintable(opened.portuguese));
        QVERIFY2(opened.english.contains(target), qPrintable(opened.english));
        QCOMPARE(test::readBytes(QDir(dir.path()).filePath(moved[0])), valiC);
        QCOMPARE(test::readBytes(QDir(dir.path()).filePath(moved[1])), vali);
        QVERIFY(registry.TableVali().isEmpty());
        QVERIFY(registry.TableValiC().isEmpty());

        // A card validated now starts without returned tickets.
        test::ScriptedPrompter prompter;
        QCOMPARE(registry.SaiEnter(QStringLiteral("A"), QStringLiteral("2"), prompter).outcome,
                 ValidationRegistry::Outcome::Done);
        QCOMPARE(registry.SaiEnterC(QStringLiteral("A"), QStringLiteral("9"), prompter),
                 ValidationRegistry::Outcome::Done);
        QVERIFY(prompter.shown.isEmpty());
        registry.close();
        QCOMPARE(rows(file(dir, "Cartoes.cds")), QStringList{"A,9,2"});
    }

    // A returned ticket of a card that is not validated is removed on load,
    // committed and named; the card validated later competes with all six.
    void orphanTicketIsRemovedOnLoad()
    {
        QTemporaryDir dir;
        fillRegistry(dir.path());
        runSql(file(dir, "Cartoes.cds"), "INSERT INTO records VALUES('B', 14, 3)");
        {
            ValidationRegistry registry(dir.path());
            const ValidationRegistry::Opened opened = registry.open();
            QCOMPARE(opened.access, ValidationRegistry::Access::Writable);
            QVERIFY2(opened.portuguese.contains(QStringLiteral("série B cartão 14 (cartela 3)")),
                     qPrintable(opened.portuguese));
            QVERIFY(!opened.movedAside);
        }
        QCOMPARE(rows(file(dir, "Cartoes.cds")), QStringList{"A,9,2"});
        ValidationRegistry again(dir.path());
        QVERIFY(again.open().portuguese.isEmpty());
    }

    // Who keeps the tool from the registry is said, not guessed: the folder
    // cannot be written, another bolaris-cli holds it, or the program does.
    void toolSaysWhoHoldsTheRegistry()
    {
        QTemporaryDir dir, bin;
        // A live process named bolaris-cli holding the folder's lock.
        const QString fake = QDir(bin.path()).filePath(QStringLiteral("bolaris-cli"));
        QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), fake));
        QFile::setPermissions(fake, QFile::ReadOwner | QFile::ExeOwner);
        QProcess holder;
        holder.start(fake, {QStringLiteral("60")});
        QVERIFY(holder.waitForStarted());
        test::writeBytes(QDir(dir.path()).filePath(QStringLiteral(".bolaris-registry.lock")),
                         QByteArray::number(holder.processId()) + "\nbolaris-cli\n"
                             + QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n'
                             + QSysInfo::bootUniqueId() + '\n');
        const Run busy = cli({"validate", "--series", "A", "--cards", "1", "--dir", dir.path()});
        QCOMPARE(busy.status, 1);
        QVERIFY2(busy.err.contains(QStringLiteral("another bolaris-cli (process %1)").arg(holder.processId())),
                 qPrintable(busy.err));
        holder.kill();
        holder.waitForFinished();
        QCOMPARE(cli({"validate", "--series", "A", "--cards", "1", "--dir", dir.path()}).status, 0);

        test::SmallDisk disk;
        SKIP_WITHOUT_DISK(disk);
        QVERIFY(disk.makeReadOnly());
        const Run readOnly = cli({"return-ticket", "--series", "A", "--ticket", "1", "--dir", disk.path()});
        QCOMPARE(readOnly.status, 1);
        QVERIFY2(readOnly.err.contains(QStringLiteral("cannot be written (Read-only file system)")),
                 qPrintable(readOnly.err));
        QVERIFY(!readOnly.err.contains(QStringLiteral("Bolaris")));
    }

    // No registry yet in a full folder: the folder or the file is said not to
    // be written, never the file to be unreadable.
    void fullFolderWithoutRegistry_data()
    {
        QTest::addColumn<int>("room");
        QTest::addColumn<QString>("says");
        QTest::newRow("no room at all") << 0 << "cannot be written (No space left on device)";
        QTest::newRow("room for the lock only")
            << 8192 << "Validadas.cds: cannot be written (database or disk is full)";
    }
    void fullFolderWithoutRegistry()
    {
        QFETCH(int, room);
        QFETCH(QString, says);
        test::SmallDisk disk(64);
        SKIP_WITHOUT_DISK(disk);
        disk.fillUp(room);
        const Run r = cli({"validate", "--series", "A", "--cards", "1", "--dir", disk.path()});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(says) && !r.err.contains(QStringLiteral("moved aside"))
                     && !r.err.contains(QStringLiteral("read")),
                 qPrintable(r.err));
        QVERIFY(!disk.files().contains(QStringLiteral("Validadas.cds")));
        QVERIFY(disk.files().filter(QStringLiteral("danificado")).isEmpty());
    }

    // A disk that fills up while the registry is open: the entry fails with
    // the reason, and what the registry shows is what its files hold.
    void diskFillsUpDuringAnEntry()
    {
        test::SmallDisk disk(256);
        SKIP_WITHOUT_DISK(disk);
        ValidationRegistry registry(disk.path());
        test::ScriptedPrompter prompter;
        QCOMPARE(registry.open().access, ValidationRegistry::Access::Writable);
        registry.SaiEnter(QStringLiteral("A"), QStringLiteral("1-5"), prompter);
        registry.SaiEnterC(QStringLiteral("A"), QStringLiteral("7"), prompter);
        disk.fillUp();
        try {
            registry.SaiEnter(QStringLiteral("B"), QStringLiteral("1-2000"), prompter);
            QFAIL("an entry succeeded on a full disk");
        } catch (const DatasetError &e) {
            QCOMPARE(e.kind(), DatasetError::Kind::NotWritten);
            QVERIFY2(e.forOperator().contains(QStringLiteral("Validadas.cds")), qPrintable(e.forOperator()));
        }
        auto shown = [&] {
            QStringList out;
            for (int i = 0; i < registry.TableVali().recordCount(); ++i)
                out << registry.TableVali().rowAt(i)[0].toString() + QLatin1Char(',')
                           + registry.TableVali().rowAt(i)[1].toString();
            return out;
        };
        QStringList onDisk = rows(disk.file(QStringLiteral("Validadas.cds")));
        onDisk.sort();
        QStringList inMemory = shown();
        inMemory.sort();
        QCOMPARE(inMemory, onDisk);
        QVERIFY(QFile::remove(disk.file(QStringLiteral("filler"))));
        QCOMPARE(registry.SaiEnter(QStringLiteral("C"), QStringLiteral("9"), prompter).outcome,
                 ValidationRegistry::Outcome::Done);
        registry.close();
        QCOMPARE(rows(disk.file(QStringLiteral("Validadas.cds"))).size(), inMemory.size() + 1);
        QCOMPARE(rows(disk.file(QStringLiteral("Cartoes.cds"))), QStringList{"A,7,2"});
    }

    void toolBadArguments()
    {
        QCOMPARE(cli({"validate", "--series", "A"}).status, 2);
        QCOMPARE(cli({"return-ticket", "--ticket", "4"}).status, 2);
        QCOMPARE(cli({"validate", "--series", "A", "--cards", "1", "--force"}).status, 2);
    }
};

QTEST_GUILESS_MAIN(TestRegistrySafety)
#include "tst_registrysafety.moc"
