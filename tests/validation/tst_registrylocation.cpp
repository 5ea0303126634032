#include "validation/RegistryLocation.h"
#include "validation/ValidationRegistry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace bolaris;

// Which registry a desk uses, and what a registry URL may say.
class TestRegistryLocation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("database");
        QTest::newRow("full") << "postgresql://caixa@salao.local:5433/bingo" << true << "salao.local" << 5433
                              << "caixa" << "bingo";
        QTest::newRow("default port") << "postgres://caixa@10.0.0.5/bingo" << true << "10.0.0.5" << 5432 << "caixa"
                                      << "bingo";
        QTest::newRow("no user") << "postgresql://servidor/bingo" << true << "servidor" << 5432 << "" << "bingo";
        QTest::newRow("sslmode") << "postgresql://u@h/bingo?sslmode=require" << true << "h" << 5432 << "u" << "bingo";
        QTest::newRow("blanks around") << "  postgresql://u@h/bingo \t" << true << "h" << 5432 << "u" << "bingo";
        QTest::newRow("password") << "postgresql://u:segredo@h/bingo" << false << "" << 0 << "" << "";
        QTest::newRow("no database") << "postgresql://u@h:5432/" << false << "" << 0 << "" << "";
        QTest::newRow("no host") << "postgresql:///bingo" << false << "" << 0 << "" << "";
        QTest::newRow("other scheme") << "mysql://u@h/bingo" << false << "" << 0 << "" << "";
        QTest::newRow("bad port") << "postgresql://u@h:porta/bingo" << false << "" << 0 << "" << "";
        QTest::newRow("unknown option") << "postgresql://u@h/bingo?password=x" << false << "" << 0 << "" << "";
        QTest::newRow("plain path") << "/srv/registro" << false << "" << 0 << "" << "";
        QTest::newRow("NUL in the database") << "postgresql://u@h/reg%00x" << false << "" << 0 << "" << "";
        QTest::newRow("control in the user") << "postgresql://u%0A@h/bingo" << false << "" << 0 << "" << "";
        QTest::newRow("10 kB database") << "postgresql://u@h/" + QString(10'000, 'b') << false << "" << 0 << "" << "";
        QTest::newRow("64-byte database") << "postgresql://u@h/" + QString(64, 'b') << false << "" << 0 << "" << "";
        QTest::newRow("63-byte database") << "postgresql://u@h/" + QString(63, 'b') << true << "h" << 5432 << "u"
                                          << QString(63, 'b');
        QTest::newRow("bad connect_timeout") << "postgresql://u@h/bingo?connect_timeout=x" << false << "" << 0 << ""
                                             << "";
    }
    void parse()
    {
        QFETCH(QString, url);
        QFETCH(bool, valid);
        const RegistryLocation loc = RegistryLocation::parse(url);
        QVERIFY(loc.isServer());
        QCOMPARE(loc.isValid(), valid);
        if (!valid) {
            QVERIFY(!loc.error.isEmpty());
            QVERIFY(!loc.errorPortuguese.isEmpty() && loc.errorPortuguese.size() < 200);
            QCOMPARE(loc.caption(), QStringLiteral("Registro: endereço inválido"));
            // Told in the operator's words, and never tried on a server.
            QTemporaryDir dir;
            ValidationRegistry registry(dir.path(), loc);
            const ValidationRegistry::Opened opened = registry.open();
            QCOMPARE(opened.access, ValidationRegistry::Access::Unavailable);
            QVERIFY2(opened.portuguese.startsWith(QStringLiteral("O endereço do registro não é válido: ") +
                                                  loc.errorPortuguese),
                     qPrintable(opened.portuguese));
            return;
        }
        QTEST(loc.host, "host");
        QTEST(loc.port, "port");
        QTEST(loc.user, "user");
        QTEST(loc.database, "database");
        QCOMPARE(loc.caption(), QStringLiteral("Registro: servidor ") + loc.host);
        QVERIFY(loc.conninfo().contains(QStringLiteral("connect_timeout=")));
    }

    // The command line wins over the environment, which wins over bolaris.conf;
    // with none of them the registry is the folder's files.
    void choose_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("environment");
        QTest::addColumn<QString>("conf");
        QTest::addColumn<QString>("host"); // empty: local files
        QTest::newRow("nothing") << "" << "" << "" << "";
        QTest::newRow("conf") << "" << "" << "# salão\nregistro=postgresql://u@conf/bingo\n" << "conf";
        QTest::newRow("conf empty line") << "" << "" << "registro=\n" << "";
        QTest::newRow("conf other keys") << "" << "" << "outra=1\n" << "";
        QTest::newRow("environment over conf")
            << "" << "postgresql://u@env/bingo" << "registro=postgresql://u@conf/bingo\n" << "env";
        QTest::newRow("option over all") << "postgresql://u@opt/bingo" << "postgresql://u@env/bingo"
                                         << "registro = postgresql://u@conf/bingo\n" << "opt";
    }
    void choose()
    {
        QFETCH(QString, option);
        QFETCH(QString, environment);
        QFETCH(QString, conf);
        QTemporaryDir dir;
        if (!conf.isEmpty()) {
            QFile file(dir.filePath(QStringLiteral("bolaris.conf")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(conf.toUtf8());
        }
        if (environment.isEmpty())
            qunsetenv(RegistryLocation::kEnvironment);
        else
            qputenv(RegistryLocation::kEnvironment, environment.toUtf8());
        const RegistryLocation loc = RegistryLocation::choose(dir.path(), option);
        QVERIFY(loc.isValid());
        QTEST(loc.host, "host");
        if (loc.host.isEmpty())
            QCOMPARE(loc.caption(), QStringLiteral("Registro: arquivos locais"));
    }
};

QTEST_GUILESS_MAIN(TestRegistryLocation)
#include "tst_registrylocation.moc"
