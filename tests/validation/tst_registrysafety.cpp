#include "TestSupport.h"
#include "dataset/DatasetFile.h"
#include "validation/ValidationRegistry.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

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

Run cli(const QStringList &args) { return test::runProgram(QStringLiteral(BOLARIS_CLI), args); }

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
        const QStringList base = {"A,1", "A,2"};
        QTest::newRow("range toggles") << QStringList{"validate", "--series", "a", "--cards", "2-3"} << 0 << ""
                                       << QStringList{"A,1", "A,3"} << QStringList{};
        QTest::newRow("single asks, No") << QStringList{"validate", "--series", "A", "--cards", "2"} << 0
                                         << "Cartela já validada. Exclui da validação? Não" << base
                                         << QStringList{"A,9,2"};
        QTest::newRow("single asks, Yes")
            << QStringList{"validate", "--series", "A", "--cards", "2", "--yes"} << 0 << "Exclui da validação? Sim"
            << QStringList{"A,1"} << QStringList{};
        QTest::newRow("bad series") << QStringList{"validate", "--series", "Z", "--cards", "5"} << 1
                                    << "Série inválida. Corrija." << base << QStringList{"A,9,2"};
        QTest::newRow("past 2000") << QStringList{"validate", "--series", "A", "--cards", "1999-2003"} << 1
                                   << "above 2000" << QStringList{"A,1", "A,2", "A,1999", "A,2000"}
                                   << QStringList{"A,9,2"};
        QTest::newRow("no number") << QStringList{"validate", "--series", "A", "--cards", "abc"} << 1
                                   << "nothing entered" << base << QStringList{"A,9,2"};
        QTest::newRow("ticket of unsold card") << QStringList{"return-ticket", "--series", "A", "--ticket", "13"} << 1
                                               << "Cartela 3 não validada." << base << QStringList{"A,9,2"};
        QTest::newRow("ticket added") << QStringList{"return-ticket", "--series", "A", "--ticket", "1"} << 0 << ""
                                      << base << QStringList{"A,9,2", "A,1,1"}; // file order
        QTest::newRow("ticket removed") << QStringList{"return-ticket", "--series", "A", "--ticket", "9", "--yes"}
                                        << 0 << "Cartão já validado." << base << QStringList{};
        QTest::newRow("ticket out of range") << QStringList{"return-ticket", "--series", "A", "--ticket", "12001"}
                                             << 1 << "not entered" << base << QStringList{"A,9,2"};
    }
    void toolEntries()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, stderrHas);
        QFETCH(QStringList, cards);
        QFETCH(QStringList, tickets);
        QTemporaryDir dir;
        QCOMPARE(cli({"validate", "--series", "A", "--cards", "1-2", "--dir", dir.path()}).status, 0);
        QCOMPARE(cli({"return-ticket", "--series", "A", "--ticket", "9", "--dir", dir.path()}).status, 0);
        const Run r = cli(args + QStringList{"--dir", dir.path()});
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(stderrHas), qPrintable(r.err));
        QCOMPARE(rows(QDir(dir.path()).filePath(QStringLiteral("Validadas.cds"))), cards);
        QCOMPARE(rows(QDir(dir.path()).filePath(QStringLiteral("Cartoes.cds"))), tickets);
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
