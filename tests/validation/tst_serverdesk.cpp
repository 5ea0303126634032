#include "TestSupport.h"
#include "app/UnitMenu.h"
#include "report/Fonts.h"
#include "validation/ServerRegistry.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <libpq-fe.h>

using namespace bolaris;

namespace {

QString serverBase()
{
    QFile file(QStringLiteral(PG_STATE "/url"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

bool adminExec(const char *sql)
{
    PGconn *conn = PQconnectdb(RegistryLocation::parse(serverBase() + "postgres").conninfo().toUtf8().constData());
    PGresult *res = PQexec(conn, sql);
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
    PQclear(res);
    PQfinish(conn);
    return ok;
}

void serverControl(const char *what)
{
    QProcess p;
    p.start(QStringLiteral("sh"), {QStringLiteral(PG_SCRIPT), QLatin1String(what), QStringLiteral(PG_STATE)});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 0);
}

} // namespace

// The draw computer's window on a registry that desks share through a server.
class TestServerDesk : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (serverBase().isEmpty())
            QSKIP("no PostgreSQL test server: its binaries are not installed in /usr/lib/postgresql/15/bin");
        installFontSubstitutes();
        QVERIFY(adminExec("DROP DATABASE IF EXISTS bolaris_desk WITH (FORCE)"));
        QVERIFY(adminExec("CREATE DATABASE bolaris_desk"));
    }

    void drawFollowsTheDesks()
    {
        QTemporaryDir dir;
        const QString url = serverBase() + "bolaris_desk";
        QFile conf(dir.filePath("bolaris.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("# sala principal\nregistro=" + url.toUtf8() + "\n");
        conf.close();
        qunsetenv(RegistryLocation::kEnvironment);

        test::ScriptedPrompter prompter;
        TFormMenu w(dir.path(), prompter);
        QVERIFY(w.windowTitle().endsWith(QStringLiteral("Registro: servidor 127.0.0.1")));
        QVERIFY(prompter.shown.isEmpty());
        w.show();
        w.MenuSorteioClick();
        auto *count = w.findChild<QLabel *>(QStringLiteral("LabelConcor"));
        QCOMPARE(count->text(), QStringLiteral("0"));
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("ButtonManual")), Qt::LeftButton);

        ServerRegistry desk(RegistryLocation::parse(url));
        QVERIFY(desk.addCard("A", 1));
        QVERIFY(desk.addCard("A", 2));
        QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("2"), 1000);
        QVERIFY(!QFile::exists(dir.filePath("Validadas.cds")));

        // A lost server is told on the panel, not in a box that would take the
        // ball clicks; the count stays as last read and every ball is drawn.
        auto *notice = w.findChild<QLabel *>(QStringLiteral("LabelServidor"));
        QVERIFY(notice->isHidden());
        serverControl("pause");
        QTRY_VERIFY_WITH_TIMEOUT(notice->isVisible(), 5000);
        QVERIFY(notice->toolTip().contains(QStringLiteral("pode ser alcançado")));
        QVERIFY(!notice->toolTip().contains(QStringLiteral("Nada foi registrado")));
        for (int ball : {5, 17, 44})
            QTest::mouseClick(w.findChild<QLabel *>(QStringLiteral("P%1").arg(ball)), Qt::LeftButton);
        QTRY_COMPARE(w.findChild<QLabel *>(QStringLiteral("LabelSorteadas"))->text(), QStringLiteral("3"));
        QCOMPARE(count->text(), QStringLiteral("2"));
        serverControl("resume");
        QTRY_VERIFY_WITH_TIMEOUT(notice->isHidden(), 10000);
        QVERIFY(desk.addCard("A", 3));
        QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("3"), 10000);
        QVERIFY(prompter.shown.isEmpty());
    }

    // A desk's count of validated cards follows the other desks' sales, as its grid does.
    void deskCountFollowsTheOtherDesks()
    {
        QTemporaryDir dir;
        const QString url = serverBase() + "bolaris_desk";
        qputenv(RegistryLocation::kEnvironment, url.toUtf8());
        test::ScriptedPrompter prompter;
        TFormMenu w(dir.path(), prompter);
        qunsetenv(RegistryLocation::kEnvironment);
        w.show();
        w.MenuValidacaoClick();
        auto *count = w.findChild<QLabel *>(QStringLiteral("LabelValidadas"));
        const int before = count->text().toInt();

        ServerRegistry desk(RegistryLocation::parse(url));
        QVERIFY(desk.addCard("B", 1));
        QVERIFY(desk.addCard("B", 2));
        QTRY_COMPARE_WITH_TIMEOUT(count->text(), QString::number(before + 2), 1000);
        QVERIFY(desk.removeCard("B", 1));
        QTRY_COMPARE_WITH_TIMEOUT(count->text(), QString::number(before + 1), 1000);
    }
};

QTEST_MAIN(TestServerDesk)
#include "tst_serverdesk.moc"
