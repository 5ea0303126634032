#include "TestSupport.h"
#include "draw/DrawPanel.h"
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

    // What competes is fixed when a draw starts: a card another desk sells
    // during the draw never wins in it, and competes in the next.
    void salesDuringADrawCountFromTheNext()
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
        auto *next = w.findChild<QLabel *>(QStringLiteral("LabelProximo"));
        auto *memo = w.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"));
        QCOMPARE(count->text(), QStringLiteral("0"));
        ServerRegistry desk(RegistryLocation::parse(url));
        QVERIFY(desk.addCard("A", 2));
        QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("1"), 1000); // no draw yet: it follows
        auto *linha = w.findChild<QCheckBox *>(QStringLiteral("CheckLinha"));
        QTest::mouseClick(linha, Qt::LeftButton, {}, QPoint(6, linha->height() / 2)); // on its box
        QVERIFY(linha->isChecked());
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("ButtonManual")), Qt::LeftButton);

        QVERIFY(desk.addCard("A", 1)); // sold during the draw
        QTRY_VERIFY_WITH_TIMEOUT(next->isVisible(), 1000);
        QCOMPARE(next->text(), QStringLiteral("+1 para o próximo"));
        QCOMPARE(count->text(), QStringLiteral("1"));
        const auto clickBalls = [&] {
            for (int ball : {24, 40, 51, 70, 87}) // row 1 of ticket 1 of card A-1
                QTest::mouseClick(w.findChild<QWidget *>(QStringLiteral("P%1").arg(ball)), Qt::LeftButton);
        };
        w.findChild<DrawPanel *>()->setClock([] {
            static qint64 now = 0;
            return now += 10000; // no two clicks make a double click
        });
        clickBalls();
        QVERIFY2(!memo->toPlainText().contains(QStringLiteral("LINHA")), qPrintable(memo->toPlainText()));
        QVERIFY(!QFile::exists(dir.filePath("Validadas.cds")));

        // A lost server is told on the panel, not in a box that would take the
        // ball clicks; the draw goes on with what competes in it.
        auto *notice = w.findChild<QLabel *>(QStringLiteral("LabelServidor"));
        QVERIFY(notice->isHidden());
        serverControl("pause");
        QTRY_VERIFY_WITH_TIMEOUT(notice->isVisible(), 5000);
        QVERIFY(notice->toolTip().contains(QStringLiteral("pode ser alcançado")));
        QVERIFY(!notice->toolTip().contains(QStringLiteral("Nada foi registrado")));
        QVERIFY(!next->isVisible()); // the notice takes its place
        for (int ball : {5, 17, 44})
            QTest::mouseClick(w.findChild<QLabel *>(QStringLiteral("P%1").arg(ball)), Qt::LeftButton);
        QTRY_COMPARE(w.findChild<QLabel *>(QStringLiteral("LabelSorteadas"))->text(), QStringLiteral("8"));
        QCOMPARE(count->text(), QStringLiteral("1"));
        serverControl("resume");
        QTRY_VERIFY_WITH_TIMEOUT(notice->isHidden(), 10000);
        QVERIFY(desk.addCard("A", 3));
        QTRY_COMPARE_WITH_TIMEOUT(next->text(), QStringLiteral("+2 para o próximo"), 10000);
        QVERIFY(next->isVisible());
        QCOMPARE(count->text(), QStringLiteral("1"));
        QVERIFY(prompter.shown.isEmpty());

        // The next draw: the cards sold during the last one compete.
        prompter.answers = {true};
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("ButtonFim")), Qt::LeftButton);
        QCOMPARE(count->text(), QStringLiteral("3"));
        QVERIFY(linha->isChecked()); // not won in the last draw
        QTest::mouseClick(w.findChild<QPushButton *>(QStringLiteral("ButtonManual")), Qt::LeftButton);
        QCOMPARE(count->text(), QStringLiteral("3"));
        QVERIFY(!next->isVisible());
        clickBalls();
        QVERIFY2(memo->toPlainText().startsWith(QStringLiteral("CARTELA 1 SERIE A\nLINHA. Cartão 1")),
                 qPrintable(memo->toPlainText()));
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
