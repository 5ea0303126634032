#include "SwallowingProxy.h"
#include "TestSupport.h"
#include "validation/RegistryWatch.h"
#include "validation/ServerRegistry.h"
#include "validation/ValidationRegistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <set>

#include <signal.h>

using namespace bolaris;
using bolaris::test::ScriptedPrompter;
using bolaris::test::SwallowingProxy;

namespace {

const char *const kDatabase = "bolaris_test";

// The base URL of the test server, "postgresql://USER@127.0.0.1:PORT/".
QString serverBase()
{
    QFile file(QStringLiteral(PG_STATE "/url"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

RegistryLocation location() { return RegistryLocation::parse(serverBase() + QLatin1String(kDatabase)); }

// The first value a query of the test's administrator returns, as a number.
int adminNumber(const QString &database, const char *sql)
{
    PGconn *conn = PQconnectdb(RegistryLocation::parse(serverBase() + database).conninfo().toUtf8().constData());
    PGresult *res = PQexec(conn, sql);
    const int n = PQntuples(res) > 0 ? atoi(PQgetvalue(res, 0, 0)) : -1;
    PQclear(res);
    PQfinish(conn);
    return n;
}

// Runs a statement as the test's administrator; the SQLSTATE, empty when it worked.
QByteArray admin(const QString &database, const char *sql)
{
    const QString conninfo = RegistryLocation::parse(serverBase() + database).conninfo();
    PGconn *conn = PQconnectdb(conninfo.toUtf8().constData());
    PGresult *res = PQexec(conn, sql);
    const ExecStatusType status = PQresultStatus(res);
    QByteArray state = (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
                           ? QByteArray()
                           : QByteArray(PQresultErrorField(res, PG_DIAG_SQLSTATE));
    if (status == PGRES_FATAL_ERROR && state.isEmpty())
        state = PQerrorMessage(conn);
    PQclear(res);
    PQfinish(conn);
    return state;
}

// The server processes of the connections to the test database.
QList<int> testDatabaseBackends()
{
    const QString conninfo = RegistryLocation::parse(serverBase() + QStringLiteral("postgres")).conninfo();
    PGconn *conn = PQconnectdb(conninfo.toUtf8().constData());
    PGresult *res = PQexec(conn, "SELECT pid FROM pg_stat_activity WHERE datname = 'bolaris_test'");
    QList<int> pids;
    for (int i = 0; i < PQntuples(res); ++i)
        pids << atoi(PQgetvalue(res, i, 0));
    PQclear(res);
    PQfinish(conn);
    return pids;
}

void serverControl(const char *what)
{
    QProcess p;
    p.start(QStringLiteral("sh"), {QStringLiteral(PG_SCRIPT), QLatin1String(what), QStringLiteral(PG_STATE)});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
}

// Runs bolaris-cli; its exit status, with what it printed in out.
int cli(const QStringList &args, QString *out = nullptr)
{
    QProcess p;
    p.start(QStringLiteral(BOLARIS_CLI), args);
    p.waitForFinished(60000);
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

std::set<std::pair<QString, int>> cardsOn(ServerRegistry &server)
{
    std::set<std::pair<QString, int>> cards;
    for (const auto &c : server.read().cards)
        cards.insert(c);
    return cards;
}

quint16 serverPort() { return quint16(QUrl(serverBase()).port()); }

// The test database's URL through another port.
RegistryLocation locationThrough(quint16 port)
{
    QUrl url(serverBase() + QLatin1String(kDatabase));
    url.setPort(port);
    return RegistryLocation::parse(url.toString());
}

// The text the operator was shown for a failed operation, empty when it worked.
template <typename Operation>
QString toldFor(Operation operation)
{
    try {
        operation();
    } catch (const DatasetError &e) {
        return e.forOperator();
    }
    return {};
}

} // namespace

// The registry's rules, its keys and its faults against a real PostgreSQL
// server started for the tests.
class TestServerRegistry : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        if (serverBase().isEmpty())
            QSKIP("no PostgreSQL test server: its binaries are not installed in /usr/lib/postgresql/15/bin");
        QCOMPARE(admin(QStringLiteral("postgres"), "DROP DATABASE IF EXISTS bolaris_test WITH (FORCE)"), QByteArray());
        QCOMPARE(admin(QStringLiteral("postgres"), "CREATE DATABASE bolaris_test"), QByteArray());
    }

    void entriesKeepTheRules()
    {
        QTemporaryDir dir;
        ValidationRegistry desk(dir.path(), location());
        QCOMPARE(desk.open().access, ValidationRegistry::Access::Writable);
        ScriptedPrompter prompter;
        ServerRegistry check(location());

        ValidationRegistry::CardEntry entry = desk.SaiEnter("b", "30-47", prompter);
        QCOMPARE(entry.outcome, ValidationRegistry::Outcome::SeriesInvalid);
        entry = desk.SaiEnter("B", "30-47", prompter);
        QCOMPARE(entry.outcome, ValidationRegistry::Outcome::Done);
        QCOMPARE(entry.lastAdded, 47);
        QCOMPARE(desk.TableVali().recordCount(), 18);
        QCOMPARE(check.read().cards.size(), size_t(18));

        QCOMPARE(desk.SaiEnterC("B", "180", prompter), ValidationRegistry::Outcome::Done); // card 30
        QCOMPARE(desk.SaiEnterC("B", "181", prompter), ValidationRegistry::Outcome::Done); // card 31
        prompter.shown.clear();
        QCOMPARE(desk.SaiEnterC("B", "13", prompter), ValidationRegistry::Outcome::Refused);
        QCOMPARE(prompter.shown.last().text, QStringLiteral("Cartela 3 não validada. Não há cartão a devolver."));
        prompter.answers = {true};
        QCOMPARE(desk.SaiEnterC("B", "180", prompter), ValidationRegistry::Outcome::Done);
        QCOMPARE(prompter.shown.last().text, QStringLiteral("Cartão já validado. Exclui da validação?"));
        QCOMPARE(check.read().tickets.size(), size_t(1));
        QCOMPARE(check.read().tickets.front().cartela, 31);
        QCOMPARE(desk.TableValiC().recordCount(), 1);

        // The same range again removes the cards, and their tickets with them.
        entry = desk.SaiEnter("B", "30-47", prompter);
        QCOMPARE(entry.lastAdded, 0);
        QVERIFY(check.isEmpty());
        QCOMPARE(desk.TableVali().recordCount(), 0);
        QCOMPARE(desk.TableValiC().recordCount(), 0);

        entry = desk.SaiEnter("B", "1995-2005", prompter);
        QCOMPARE(entry.outcome, ValidationRegistry::Outcome::Stopped);
        QCOMPARE(check.read().cards.size(), size_t(6));
        prompter.answers = {false};
        QCOMPARE(desk.SaiEnter("B", "1995", prompter).lastAdded, 0);
        QCOMPARE(check.read().cards.size(), size_t(6));
        prompter.answers = {true};
        desk.SaiEnter("B", "1995", prompter);
        QCOMPARE(check.read().cards.size(), size_t(5));
        QCOMPARE(desk.SaiEnter("B", "2001", prompter).outcome, ValidationRegistry::Outcome::Stopped);

        // What is on the server is what the next desk to start finds.
        ValidationRegistry later(dir.path(), location());
        QCOMPARE(later.open().access, ValidationRegistry::Access::Writable);
        QCOMPARE(later.TableVali().recordCount(), 5);

        // A range over sold cards in part asks first: No enters only the
        // others, Yes toggles; a single card's question keeps the sale by default.
        prompter.shown.clear();
        prompter.answers = {false};
        entry = desk.SaiEnter("B", "1990-1996", prompter);
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown[0].text,
                 QStringLiteral("1 cartelas deste intervalo já estão validadas. Exclui da validação?"));
        QVERIFY(!prompter.shown[0].defaultYes);
        QCOMPARE(entry.lastAdded, 1995);
        QCOMPARE(check.read().cards.size(), size_t(11));
        prompter.answers = {true};
        QCOMPARE(desk.SaiEnter("B", "1989-1990", prompter).lastAdded, 1989);
        QCOMPARE(check.read().cards.front(), ServerRegistry::Card("B", 1989));
        QCOMPARE(check.read().cards[1], ServerRegistry::Card("B", 1991));
        prompter.shown.clear();
        desk.SaiEnter("B", "1996", prompter);
        QVERIFY(!prompter.shown.at(0).defaultYes);
        QCOMPARE(check.read().cards.size(), size_t(11));

        prompter.answers = {true};
        QVERIFY(desk.ButtonInivalClick(prompter));
        QVERIFY(check.isEmpty());
        QCOMPARE(desk.TableVali().recordCount(), 0);
        QVERIFY(!QFile::exists(dir.filePath("Validadas.cds")));
    }

    // The server itself refuses what would break the registry, whoever writes.
    void constraints_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::newRow("card twice") << QByteArray("INSERT INTO validadas VALUES ('A', 1)");
        QTest::newRow("series M") << QByteArray("INSERT INTO validadas VALUES ('M', 2)");
        QTest::newRow("card 2001") << QByteArray("INSERT INTO validadas VALUES ('A', 2001)");
        QTest::newRow("ticket of no card") << QByteArray("INSERT INTO cartoes VALUES ('A', 13, 3)");
        QTest::newRow("ticket of other card") << QByteArray("INSERT INTO cartoes VALUES ('A', 7, 1)");
        QTest::newRow("ticket 12001") << QByteArray("INSERT INTO cartoes VALUES ('A', 12001, 2001)");
    }
    void constraints()
    {
        QFETCH(QByteArray, sql);
        ServerRegistry server(location());
        QVERIFY(server.addCard("A", 1));
        QCOMPARE(admin(kDatabase, sql.constData()).left(2), QByteArray("23"));
        QCOMPARE(admin(kDatabase, "DELETE FROM validadas WHERE numero = 1"), QByteArray());
        QVERIFY(server.isEmpty());
    }

    void removingACardRemovesOnlyItsTickets()
    {
        ServerRegistry server(location());
        QVERIFY(server.addCard("A", 2));
        QVERIFY(server.addCard("B", 2));
        for (int t : {7, 12})
            QCOMPARE(server.addTicket("A", t), ServerRegistry::TicketResult::Added);
        QCOMPARE(server.addTicket("B", 8), ServerRegistry::TicketResult::Added);
        QCOMPARE(server.addTicket("A", 7), ServerRegistry::TicketResult::AlreadyThere);
        QVERIFY(server.removeCard("A", 2));
        const ServerRegistry::Content content = server.read();
        QCOMPARE(content.cards.size(), size_t(1));
        QCOMPARE(content.tickets.size(), size_t(1));
        QCOMPARE(content.tickets.front().serie, QStringLiteral("B"));
    }

    void twoDesksRaceForTheSameCards()
    {
        std::atomic<int> entered{0};
        auto desk = [&] {
            ServerRegistry server(location());
            for (int n = 1; n <= 200; ++n)
                entered += server.addCard("C", n) ? 1 : 0;
        };
        std::unique_ptr<QThread> a(QThread::create(desk)), b(QThread::create(desk));
        a->start();
        b->start();
        a->wait();
        b->wait();
        QCOMPARE(entered.load(), 200);
        ServerRegistry check(location());
        QCOMPARE(check.read().cards.size(), size_t(200));

        // A desk that has not yet seen the other's sale answers as for a card already there.
        QTemporaryDir dir;
        ValidationRegistry late(dir.path(), location());
        late.open();
        QVERIFY(check.addCard("D", 5));
        ScriptedPrompter prompter;
        const ValidationRegistry::CardEntry entry = late.SaiEnter("D", "5", prompter);
        QCOMPARE(entry.outcome, ValidationRegistry::Outcome::Done);
        QCOMPARE(entry.lastAdded, 0);
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown.first().text, QStringLiteral("Cartela já validada. Exclui da validação?"));
        QCOMPARE(check.read().cards.size(), size_t(201));
    }

    void fourDesksEnterAtOnce()
    {
        QTemporaryDir dir;
        std::atomic<int> done{0};
        auto desk = [&](char series) {
            ValidationRegistry registry(dir.path(), location());
            if (registry.open().access != ValidationRegistry::Access::Writable)
                return;
            ScriptedPrompter prompter;
            for (int n = 1; n <= 500; ++n)
                if (registry.SaiEnter(QString(QLatin1Char(series)), QString::number(n), prompter).outcome ==
                    ValidationRegistry::Outcome::Done)
                    ++done;
        };
        std::vector<std::unique_ptr<QThread>> desks;
        for (char series : {'A', 'B', 'C', 'D'})
            desks.emplace_back(QThread::create(desk, series));
        for (auto &t : desks)
            t->start();
        for (auto &t : desks)
            t->wait();
        QCOMPARE(done.load(), 2000);
        ServerRegistry check(location());
        const std::set<std::pair<QString, int>> cards = cardsOn(check);
        QCOMPARE(cards.size(), size_t(2000));
        QCOMPARE(check.read().cards.size(), size_t(2000));
    }

    void serverStoppedMidEvening()
    {
        QTemporaryDir dir;
        ValidationRegistry desk(dir.path(), location());
        QCOMPARE(desk.open().access, ValidationRegistry::Access::Writable);
        ScriptedPrompter prompter;
        QCOMPARE(desk.SaiEnter("E", "1", prompter).outcome, ValidationRegistry::Outcome::Done);

        serverControl("pause");
        QCOMPARE(desk.SaiEnter("E", "2-40", prompter).outcome, ValidationRegistry::Outcome::Refused);
        QVERIFY(prompter.shown.last().text.contains(QStringLiteral("não pode ser alcançado")));
        QCOMPARE(desk.SaiEnterC("E", "1", prompter), ValidationRegistry::Outcome::Refused);
        QCOMPARE(desk.TableVali().recordCount(), 1);
        QCOMPARE(desk.TableValiC().recordCount(), 0);
        serverControl("resume");

        // The next entry finds the server again by itself.
        QCOMPARE(desk.SaiEnter("E", "3", prompter).outcome, ValidationRegistry::Outcome::Done);
        ServerRegistry check(location());
        QCOMPARE(check.read().cards.size(), size_t(2));
        QCOMPARE(desk.TableVali().recordCount(), 2);
    }

    // A server that takes a statement and never answers (a frozen machine)
    // holds no desk: the entry is refused, nothing of it stays on the server
    // when the server runs again, and the next entry connects anew.
    void serverFrozenMidEntry()
    {
        QTemporaryDir dir;
        ValidationRegistry desk(dir.path(), location());
        QCOMPARE(desk.open().access, ValidationRegistry::Access::Writable);
        desk.server()->setAnswerWait(1000);
        ScriptedPrompter prompter;
        QCOMPARE(desk.SaiEnter("F", "1", prompter).outcome, ValidationRegistry::Outcome::Done);
        const int frozen = desk.server()->backendPid();
        QVERIFY(testDatabaseBackends().contains(frozen));

        // Without a bound on the wait the entry would end only when this wakes the server.
        QProcess thaw;
        thaw.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("sleep 15; kill -CONT %1").arg(frozen)});
        QCOMPARE(::kill(frozen, SIGSTOP), 0);
        const ValidationRegistry::Outcome outcome = desk.SaiEnter("F", "2", prompter).outcome;
        ::kill(frozen, SIGCONT);
        thaw.kill();
        thaw.waitForFinished();
        QCOMPARE(outcome, ValidationRegistry::Outcome::Refused);
        QVERIFY(prompter.shown.last().text.contains(QStringLiteral("não pode ser alcançado")));
        QCOMPARE(desk.TableVali().recordCount(), 1);

        // Awake, the server runs what it was sent, then finds the connection gone.
        QTRY_VERIFY_WITH_TIMEOUT(!testDatabaseBackends().contains(frozen), 10000);
        ServerRegistry check(location());
        QCOMPARE(cardsOn(check), (std::set<std::pair<QString, int>>{{"F", 1}}));
        QCOMPARE(desk.SaiEnter("F", "3", prompter).outcome, ValidationRegistry::Outcome::Done);
        QCOMPARE(cardsOn(check).size(), size_t(2));
    }

    // A link lost while a desk commits a range (its packets swallowed, both
    // ends left open): the desk is told the range may or may not be
    // registered; meanwhile other computers connect and read at once, an
    // entry that meets the lost session's lock is refused saying why, and
    // within seconds the server has dropped that session and the hall enters
    // again.
    void lostLinkAtCommitHoldsTheHallSeconds()
    {
        QTemporaryDir dir, drawDir;
        SwallowingProxy proxy(serverPort());
        ServerRegistry other(location());
        QVERIFY(other.addCard("K", 1));
        ValidationRegistry desk(dir.path(), locationThrough(proxy.port()));
        QCOMPARE(desk.open().access, ValidationRegistry::Access::Writable);
        desk.server()->setAnswerWait(500); // the server keeps the lost session 5 s: room for what follows
        ScriptedPrompter prompter;
        proxy.swallowFrom(QByteArray("commit", 7)); // the commit's name, with its terminating NUL
        QCOMPARE(desk.SaiEnter("A", "1-50", prompter).outcome, ValidationRegistry::Outcome::Refused);
        QVERIFY(proxy.swallowing());
        QVERIFY2(prompter.lastText().contains(QStringLiteral("pode ter sido registrada ou não")),
                 qPrintable(prompter.lastText()));

        // Connecting takes no lock the lost session holds, nor does reading.
        ServerRegistry fresh(location());
        fresh.connectToServer();
        QCOMPARE(cardsOn(fresh), (std::set<std::pair<QString, int>>{{"K", 1}}));
        ValidationRegistry draw(drawDir.path(), location());
        QCOMPARE(draw.open().access, ValidationRegistry::Access::Writable);
        QCOMPARE(draw.TableVali().recordCount(), 1);
        // The lock was still held meanwhile: an entry meets it.
        const QString told = toldFor([&] { other.addCard("A", 60); });
        QVERIFY2(told.contains(QStringLiteral("ocupado por outra mesa")) &&
                     told.contains(QStringLiteral("Nada foi registrado")),
                 qPrintable(told));
        QTRY_VERIFY_WITH_TIMEOUT(toldFor([&] { other.addCard("A", 61); }).isEmpty(), 10000);
        QCOMPARE(cardsOn(other), (std::set<std::pair<QString, int>>{{"A", 61}, {"K", 1}}));
    }

    // A link that takes packets and answers nothing (a frozen server
    // machine) is noticed by the draw computer from the server's silence,
    // and the registry is read again once it answers.
    void silentServerIsNoticed()
    {
        QTemporaryDir dir;
        auto proxy = std::make_unique<SwallowingProxy>(serverPort());
        ServerRegistry desk(location());
        QVERIFY(desk.addCard("H", 1));
        ValidationRegistry draw(dir.path(), locationThrough(proxy->port()));
        draw.watch()->setHeartbeat(1000);
        QCOMPARE(draw.open().access, ValidationRegistry::Access::Writable);
        QSignalSpy lost(draw.watch(), &RegistryWatch::connectionLost);
        QSignalSpy back(draw.watch(), &RegistryWatch::reconnected);
        proxy->swallowAll();
        QTRY_VERIFY_WITH_TIMEOUT(!lost.isEmpty(), 8000);
        QVERIFY(lost.last().first().toString().contains(QStringLiteral("não pode ser alcançado")));
        QVERIFY(desk.addCard("H", 2));
        const quint16 port = proxy->port();
        proxy.reset(); // the link is back: a relay that passes everything, on the same port
        SwallowingProxy again(serverPort(), port);
        QTRY_VERIFY_WITH_TIMEOUT(!back.isEmpty(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(draw.TableVali().recordCount(), 2, 5000);
    }

    // A server that takes no writes still lets every computer connect and
    // read the registry; entries are refused saying why.
    void readingWritesNothing()
    {
        ServerRegistry desk(location());
        QVERIFY(desk.addCard("C", 3));
        QCOMPARE(admin(QStringLiteral("postgres"), "ALTER DATABASE bolaris_test SET default_transaction_read_only = on"),
                 QByteArray());
        QTemporaryDir dir;
        ValidationRegistry draw(dir.path(), location());
        QCOMPARE(draw.open().access, ValidationRegistry::Access::Writable);
        QCOMPARE(draw.TableVali().recordCount(), 1);
        ServerRegistry late(location());
        const QString told = toldFor([&] { late.addCard("C", 4); });
        QVERIFY2(told.contains(QStringLiteral("só aceita leituras")), qPrintable(told));
    }

    // With the disk of the registry's tables full, an entry is refused naming
    // the cause, and a computer that starts then still reads the registry.
    void fullServerDisk()
    {
        QTemporaryDir dir;
        {
            test::SmallDisk disk(1024);
            if (!disk.mounted())
                QSKIP("needs a tmpfs mount (root)");
            QFile::setPermissions(disk.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                   QFile::ReadOther | QFile::ExeOther);
            QVERIFY(QDir().mkpath(disk.file("ts")));
            QCOMPARE(QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres"), disk.file("ts")}), 0);
            admin(QStringLiteral("postgres"), "DROP TABLESPACE IF EXISTS bolaris_small");
            QCOMPARE(admin(QStringLiteral("postgres"),
                           ("CREATE TABLESPACE bolaris_small LOCATION '" + disk.file("ts") + "'").toUtf8().constData()),
                     QByteArray());
            ServerRegistry desk(location());
            QVERIFY(desk.addCard("A", 1));
            QCOMPARE(admin(kDatabase, "ALTER TABLE cartoes SET TABLESPACE bolaris_small;"
                                      "ALTER TABLE validadas SET TABLESPACE bolaris_small;"
                                      "ALTER INDEX validadas_pkey SET TABLESPACE bolaris_small;"
                                      "ALTER INDEX cartoes_pkey SET TABLESPACE bolaris_small"),
                     QByteArray());
            disk.fillUp();
            const QString told = toldFor([&] { desk.toggleCards(QStringLiteral("B"), 1, 2000); });
            QVERIFY2(told.contains(QStringLiteral("o disco do servidor está cheio")) &&
                         told.contains(QStringLiteral("Nada foi registrado")),
                     qPrintable(told));
            ValidationRegistry draw(dir.path(), location());
            QCOMPARE(draw.open().access, ValidationRegistry::Access::Writable);
            QCOMPARE(draw.TableVali().recordCount(), 1);
            draw.close();
            desk.disconnectFromServer();
            QCOMPARE(admin(QStringLiteral("postgres"), "DROP DATABASE bolaris_test WITH (FORCE)"), QByteArray());
            QCOMPARE(admin(QStringLiteral("postgres"), "DROP TABLESPACE bolaris_small"), QByteArray());
        }
    }

    // Tables that lack the registry's keys and rules are never used: the
    // desk is told what is missing and enters nothing.
    void foreignTablesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("schema");
        QTest::addColumn<QString>("told");
        const QByteArray cards = "CREATE TABLE validadas (serie char(1) NOT NULL CHECK (serie BETWEEN 'A' AND 'L'),"
                                 " numero integer NOT NULL CHECK (numero BETWEEN 1 AND 2000), PRIMARY KEY (serie, numero));";
        const QByteArray ticketsWithout = "CREATE TABLE cartoes (serie char(1) NOT NULL CHECK (serie BETWEEN 'A' AND 'L'),"
                                          " cartao integer NOT NULL CHECK (cartao BETWEEN 1 AND 12000),"
                                          " cartela integer NOT NULL CHECK (cartela = (cartao + 5) / 6),"
                                          " PRIMARY KEY (serie, cartao)";
        QTest::newRow("no keys") << QByteArray("CREATE TABLE validadas (serie char(1), numero integer);"
                                               "CREATE TABLE cartoes (serie char(1), cartao integer, cartela integer)")
                                 << QStringLiteral("falta a chave de validadas");
        QTest::newRow("no cascade") << cards + ticketsWithout + ", FOREIGN KEY (serie, cartela) REFERENCES validadas)"
                                    << QStringLiteral("falta a ligação de cartoes com validadas");
        QTest::newRow("no link") << cards + ticketsWithout + ")" << QStringLiteral("falta a ligação de cartoes");
        QTest::newRow("a rule more") << cards + "ALTER TABLE validadas ADD CHECK (numero < 100);"
                                     << QStringLiteral("validadas tem regras que o programa não conhece");
        QTest::newRow("a view") << QByteArray("CREATE VIEW validadas AS SELECT 'A'::char(1) AS serie, 1 AS numero")
                                << QStringLiteral("validadas não é uma tabela");
        QTest::newRow("other columns")
            << QByteArray("CREATE TABLE validadas (serie text, numero bigint, PRIMARY KEY (serie, numero))")
            << QStringLiteral("as colunas de validadas não são as do programa");
    }
    void foreignTablesAreRefused()
    {
        QFETCH(QByteArray, schema);
        QFETCH(QString, told);
        QCOMPARE(admin(kDatabase, schema.constData()), QByteArray());
        QTemporaryDir dir;
        ValidationRegistry desk(dir.path(), location());
        const ValidationRegistry::Opened opened = desk.open();
        QCOMPARE(opened.access, ValidationRegistry::Access::Unavailable);
        QVERIFY2(opened.portuguese.contains(QStringLiteral("não foram feitas por este programa")) &&
                     opened.portuguese.contains(told),
                 qPrintable(opened.portuguese));
        ScriptedPrompter prompter;
        for (int i = 0; i < 2; ++i)
            QCOMPARE(desk.SaiEnter("A", "1", prompter).outcome, ValidationRegistry::Outcome::Refused);
        QVERIFY(prompter.lastText().contains(told));
        if (!schema.contains("VIEW"))
            QCOMPARE(adminNumber(QLatin1String(kDatabase), "SELECT count(*) FROM validadas"), 0);
    }

    // Every failure is told with its cause, in Portuguese.
    void causesAreTold_data()
    {
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("told");
        QTest::newRow("statement timeout") << 0 << QStringLiteral("não terminou a operação a tempo");
        QTest::newRow("no rights on the schema") << 1 << QStringLiteral("não deixa o usuário bolaris_sem criar as tabelas");
        QTest::newRow("no rights on the tables") << 2 << QStringLiteral("não deixa o usuário bolaris_sem ler o registro");
        QTest::newRow("no such database") << 3 << QStringLiteral("não tem o banco bolaris_nenhum");
    }
    void causesAreTold()
    {
        QFETCH(int, failure);
        QFETCH(QString, told);
        admin(QStringLiteral("postgres"), "CREATE ROLE bolaris_sem LOGIN");
        QString url = serverBase();
        const QString stranger = url.replace(QRegularExpression(QStringLiteral("//[^@]*@")), QStringLiteral("//bolaris_sem@"));
        QString said;
        switch (failure) {
        case 0: {
            ServerRegistry desk(location());
            desk.connectToServer();
            QCOMPARE(admin(kDatabase, "CREATE FUNCTION slow() RETURNS trigger LANGUAGE plpgsql AS"
                                      " $$ BEGIN PERFORM pg_sleep(4); RETURN NEW; END $$;"
                                      "CREATE TRIGGER slow BEFORE INSERT ON validadas FOR EACH ROW EXECUTE FUNCTION slow()"),
                     QByteArray());
            said = toldFor([&] { desk.addCard("A", 5); });
            QVERIFY(said.contains(QStringLiteral("Nada foi registrado")));
            break;
        }
        case 1:
            said = toldFor([&] { ServerRegistry(RegistryLocation::parse(stranger + kDatabase)).connectToServer(); });
            break;
        case 2:
            ServerRegistry(location()).connectToServer();
            said = toldFor([&] { ServerRegistry(RegistryLocation::parse(stranger + kDatabase)).read(); });
            break;
        case 3:
            said = toldFor([&] { ServerRegistry(RegistryLocation::parse(serverBase() + "bolaris_nenhum")).read(); });
            break;
        }
        QVERIFY2(said.contains(told), qPrintable(said));
        QVERIFY(!said.contains(QStringLiteral("ERROR")) && !said.contains(QStringLiteral("permission denied")));
    }

    // A pull into a folder where a registry file's name is taken, even by a
    // link to nothing, writes nothing at all.
    void pullLeavesNothingHalfDone()
    {
        ServerRegistry desk(location());
        QVERIFY(desk.addCard("G", 1));
        QTemporaryDir back;
        QVERIFY(QFile::link(back.filePath("longe/Validadas.cds"), back.filePath("Validadas.cds")));
        QString said;
        QCOMPARE(cli({"registry-pull", "--registry", location().url, "--dir", back.path()}, &said), 1);
        QVERIFY2(said.contains("Validadas.cds"), qPrintable(said));
        QCOMPARE(QDir(back.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
                 QStringList{"Validadas.cds"});
        QVERIFY(QFileInfo(back.filePath("Validadas.cds")).isSymLink());
    }

    // A desk whose password is missing or wrong is told so, not that the
    // server cannot be reached; with the right one it connects.
    void passwords_data()
    {
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QString>("told");
        QTest::newRow("none") << QByteArray() << QStringLiteral("pede a senha do usuário bolaris_senha");
        QTest::newRow("wrong") << QByteArray("errada") << QStringLiteral("recusou a senha do usuário bolaris_senha");
        QTest::newRow("right") << QByteArray("certa") << QString();
    }
    void passwords()
    {
        QFETCH(QByteArray, password);
        QFETCH(QString, told);
        // The test server trusts every connection but this user's.
        QFile data(QStringLiteral(PG_STATE "/data"));
        QVERIFY(data.open(QIODevice::ReadOnly));
        QFile hba(QString::fromUtf8(data.readAll()).trimmed() + QStringLiteral("/db/pg_hba.conf"));
        QVERIFY(hba.open(QIODevice::ReadWrite));
        const QByteArray rule = "host bolaris_test bolaris_senha 127.0.0.1/32 scram-sha-256\n";
        const QByteArray rules = hba.readAll();
        if (!rules.startsWith(rule)) {
            hba.resize(0);
            hba.write(rule + rules);
        }
        hba.close();
        admin(QStringLiteral("postgres"), "CREATE ROLE bolaris_senha LOGIN PASSWORD 'certa'");
        QCOMPARE(admin(QStringLiteral("postgres"), "ALTER DATABASE bolaris_test OWNER TO bolaris_senha"), QByteArray());
        QCOMPARE(admin(QStringLiteral("postgres"), "SELECT pg_reload_conf()"), QByteArray());

        qputenv("PGPASSFILE", "/nonexistent/pgpass");
        if (password.isEmpty())
            qunsetenv("PGPASSWORD");
        else
            qputenv("PGPASSWORD", password);
        QString url = serverBase();
        url.replace(QRegularExpression(QStringLiteral("//[^@]*@")), QStringLiteral("//bolaris_senha@"));
        ServerRegistry desk(RegistryLocation::parse(url + QLatin1String(kDatabase)));
        QString said;
        try {
            desk.connectToServer();
        } catch (const DatasetError &e) {
            said = e.forOperator();
        }
        qunsetenv("PGPASSWORD");
        qunsetenv("PGPASSFILE");
        if (told.isEmpty()) {
            QCOMPARE(said, QString());
            QVERIFY(desk.addCard("A", 1));
        } else {
            QVERIFY2(said.contains(told), qPrintable(said));
        }
    }

    void serverAbsentAtStart()
    {
        ServerRegistry desk(location());
        QVERIFY(desk.addCard("K", 7));
        serverControl("pause");
        QTemporaryDir dir;
        ValidationRegistry draw(dir.path(), location());
        const ValidationRegistry::Opened opened = draw.open();
        QCOMPARE(opened.access, ValidationRegistry::Access::Unavailable);
        QVERIFY(opened.portuguese.contains(QStringLiteral("não pode ser alcançado")));
        QVERIFY(!opened.portuguese.contains(QStringLiteral("Nada foi registrado"))); // nothing was tried
        serverControl("resume");
        QTRY_COMPARE_WITH_TIMEOUT(draw.access(), ValidationRegistry::Access::Writable, 10000);
        QCOMPARE(draw.TableVali().recordCount(), 1);
    }

    // A folder's registry goes to the server and comes back unchanged.
    void movingARegistry()
    {
        QTemporaryDir from, back;
        const QString url = location().url;
        const QString dir = from.path();
        QCOMPARE(cli({"validate", "--series", "G", "--cards", "1-30", "--dir", dir}), 0);
        QCOMPARE(cli({"return-ticket", "--series", "G", "--ticket", "7", "--dir", dir}), 0);
        QCOMPARE(cli({"registry-push", "--dir", dir, "--registry", url}), 0);
        QString said;
        QCOMPARE(cli({"registry-push", "--dir", dir, "--registry", url}, &said), 1);
        QVERIFY2(said.contains("not empty"), qPrintable(said));

        // Entries with --registry go to the server, not to the folder.
        QCOMPARE(cli({"validate", "--series", "H", "--cards", "5", "--dir", dir, "--registry", url}), 0);
        QCOMPARE(cli({"validate", "--series", "G", "--cards", "1-10", "--dir", dir, "--registry", url}), 0);
        QCOMPARE(cli({"validate", "--series", "H", "--cards", "6", "--registry", "postgresql://x@/y"}, &said), 2);
        QCOMPARE(cli({"replay", "--balls", "1,2,3", "--dir", dir, "--registry", url}), 0);

        QCOMPARE(cli({"registry-pull", "--registry", url, "--dir", back.path()}), 0);
        QCOMPARE(cli({"registry-pull", "--registry", url, "--dir", back.path()}, &said), 1);
        ValidationRegistry pulled(back.path());
        QCOMPARE(pulled.open(true).access, ValidationRegistry::Access::ReadOnly);
        QCOMPARE(pulled.TableVali().recordCount(), 21); // G11..G30 and H5
        QCOMPARE(pulled.TableValiC().recordCount(), 0); // ticket 7 left with card G2
        ValidationRegistry original(dir);
        QCOMPARE(original.open(true).access, ValidationRegistry::Access::ReadOnly);
        QCOMPARE(original.TableVali().recordCount(), 30);
        QCOMPARE(original.TableValiC().recordCount(), 1);
    }

    void drawComputerSeesEverySale()
    {
        QTemporaryDir dir;
        ValidationRegistry draw(dir.path(), location());
        QCOMPARE(draw.open().access, ValidationRegistry::Access::Writable);
        ServerRegistry desk(location());
        QVERIFY(desk.addCard("F", 10));
        QTRY_COMPARE_WITH_TIMEOUT(draw.TableVali().recordCount(), 1, 1000);
        QVERIFY(desk.addCard("F", 11));
        QCOMPARE(desk.addTicket("F", 60), ServerRegistry::TicketResult::Added);
        QTRY_COMPARE_WITH_TIMEOUT(draw.TableValiC().recordCount(), 1, 1000);
        QCOMPARE(draw.TableVali().recordCount(), 2);
        QVERIFY(desk.removeCard("F", 10));
        QTRY_COMPARE_WITH_TIMEOUT(draw.TableValiC().recordCount(), 0, 1000);

        // Lost and back: the draw keeps what it read and catches up afterwards.
        QSignalSpy lost(draw.watch(), &RegistryWatch::connectionLost);
        QSignalSpy back(draw.watch(), &RegistryWatch::reconnected);
        serverControl("pause");
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 5000);
        QCOMPARE(draw.TableVali().recordCount(), 1);
        serverControl("resume");
        QTRY_COMPARE_WITH_TIMEOUT(back.size(), 1, 10000);
        QVERIFY(desk.addCard("F", 12));
        QTRY_COMPARE_WITH_TIMEOUT(draw.TableVali().recordCount(), 2, 1000);
    }
};

QTEST_GUILESS_MAIN(TestServerRegistry)
#include "tst_serverregistry.moc"
