#include "TestSupport.h"
#include "cards/SeriesA.h"
#include "dataset/Dataset.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

using bolaris::test::Run;

Run cli(const QStringList &args) { return bolaris::test::runProgram(QStringLiteral(BOLARIS_CLI), args); }

} // namespace

class TestCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void badArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("none") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"frobnicate"};
        QTest::newRow("unknown option") << QStringList{"dump-store", "--folder", "x"};
        QTest::newRow("missing value") << QStringList{"dump-store", "--dir"};
        QTest::newRow("generate without out") << QStringList{"generate-series"};
        QTest::newRow("dump-dataset without file") << QStringList{"dump-dataset"};
        QTest::newRow("issue-pdf unknown model")
            << QStringList{"issue-pdf", "--model", "check5", "--series", "A", "--first", "1", "--last", "1", "--out", "x.pdf"};
        QTest::newRow("issue-pdf without out")
            << QStringList{"issue-pdf", "--model", "check3", "--series", "A", "--first", "1", "--last", "1"};
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        const Run r = cli(args);
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.contains(QStringLiteral("usage:")));
    }

    // The run folder as the README's run command prepares it.
    void generatedFolder()
    {
        QTemporaryDir dir;
        const QString file = QDir(dir.path()).filePath(QStringLiteral("compl22.cds"));
        QCOMPARE(cli({"generate-series", "--out", file}).status, 0);

        const Run verify = cli({"verify-store", "--dir", dir.path()});
        QCOMPARE(verify.status, 0);
        QCOMPARE(verify.out, QString());

        const Run dump = cli({"dump-store", "--dir", dir.path()});
        QCOMPARE(dump.status, 0);
        const QStringList lines = dump.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 24000);
        for (int card : {1, 2, 2000}) {
            const std::string_view text = bolaris::SeriesACard(card);
            QCOMPARE(lines[card - 1], QString::number(card) + QLatin1Char(';') +
                                          QString::fromLatin1(text.data(), qsizetype(text.size())));
        }
        QVERIFY(lines[2000].startsWith(QStringLiteral("2001;")));
        QVERIFY(lines[23999].startsWith(QStringLiteral("24000;")));

        const Run table = cli({"dump-dataset", file});
        QCOMPARE(table.status, 0);
        QVERIFY(table.out.startsWith(QStringLiteral("Cartela;Todas\n2001;")));
        QCOMPARE(table.out.count(QLatin1Char('\n')), 22001);
    }

    // A broken card is reported by series and number; a damaged file by name.
    void verifyReportsViolations()
    {
        QTemporaryDir dir;
        const std::string_view good = bolaris::SeriesACard(9);
        QString bad = QString::fromLatin1(good.data(), qsizetype(good.size()));
        bad.replace(0, 4, bad.mid(2, 2) + bad.mid(0, 2)); // first row no longer ascends
        bolaris::test::writeCardFile(dir.path(), {{2005, bad}});
        const Run r = cli({"verify-store", "--dir", dir.path()});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.startsWith(QStringLiteral("card B-5: card row 1")), qPrintable(r.out));

        const QString file = QDir(dir.path()).filePath(QStringLiteral("compl22.cds"));
        bolaris::test::writeBytes(file, "garbage");
        const Run damaged = cli({"verify-store", "--dir", dir.path()});
        QCOMPARE(damaged.status, 1);
        QVERIFY(damaged.err.contains(QStringLiteral("compl22.cds")));
        const Run d = cli({"dump-dataset", file});
        QCOMPARE(d.status, 1);
        QVERIFY(d.err.contains(QStringLiteral("compl22.cds")));
    }

    // Sheets without a window: the same checks and messages as "Emite".
    void issuePdf_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("pages");
        QTest::newRow("third per sheet") << QStringList{"--model", "check3a4", "--series", "a", "--first", "1", "--last", "2"}
                                         << 0 << "" << 6;
        QTest::newRow("three per sheet") << QStringList{"--model", "Check3", "--series", "A", "--first", "1", "--last", "7", "--fill", "**"}
                                         << 0 << "" << 3;
        QTest::newRow("bad series") << QStringList{"--model", "check3", "--series", "M", "--first", "1", "--last", "2"}
                                    << 1 << "Série inválida. Corrija." << -1;
        QTest::newRow("bad range") << QStringList{"--model", "check3", "--series", "A", "--first", "9", "--last", "2"}
                                   << 1 << "A numeração das cartelas excede o permitido. Corrija." << -1;
        QTest::newRow("no series B file") << QStringList{"--model", "check3", "--series", "B", "--first", "1", "--last", "2"}
                                          << 1 << "B-1" << -1;
    }
    void issuePdf()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(int, pages);
        QTemporaryDir dir;
        const QString out = QDir(dir.path()).filePath(QStringLiteral("sheets.pdf"));
        const Run r = cli(QStringList{"issue-pdf"} + args + QStringList{"--dir", dir.path(), "--out", out});
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QCOMPARE(QFile::exists(out), pages > 0);
        if (pages > 0) {
            QCOMPARE(QString::fromLatin1(bolaris::test::readBytes(out)).count(QRegularExpression(QStringLiteral("/Type\\s*/Page[^s]"))),
                     pages);
            QVERIFY(QFile::exists(QDir(dir.path()).filePath(QStringLiteral("cartelas.cds"))));
        }
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
