#include "TestSupport.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using bolaris::test::Run;

namespace {

Run cli(const QStringList &args) { return bolaris::test::runProgram(QStringLiteral(BOLARIS_CLI), args); }

} // namespace

class TestExportCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The checks and messages of "Gera"; nothing is written unless it passes.
    void exportCsv_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("golden") << QStringList{"--series", "a", "--first", "1", "--last", "10", "--per-sheet", "4",
                                               "--fill", "X"}
                                << 0 << "";
        QTest::newRow("bad series") << QStringList{"--series", "M", "--first", "1", "--last", "2"} << 1
                                    << "Número da série a emitir: Série inválida. Corrija.";
        QTest::newRow("first 2001") << QStringList{"--series", "A", "--first", "2001", "--last", "2500"} << 1
                                    << "A numeração das cartelas excede o permitido. Corrija.";
        QTest::newRow("first 0") << QStringList{"--series", "A", "--first", "0", "--last", "2"} << 1
                                 << "nothing exported";
        QTest::newRow("first empty") << QStringList{"--series", "A", "--first", "", "--last", "2"} << 1
                                     << "nothing exported";
        QTest::newRow("not a number") << QStringList{"--series", "A", "--first", "1", "--last", "2x"} << 1
                                      << "'2x' não é um valor inteiro válido. Corrija.";
        QTest::newRow("fill outside the code page") << QStringList{"--series", "A", "--first", "1", "--last", "2",
                                                                   "--fill", "ő"}
                                                    << 1 << "Windows-1252";
        QTest::newRow("series B without its file") << QStringList{"--series", "B", "--first", "1", "--last", "2"} << 1
                                                   << "A cartela B-1 não está disponível";
        QTest::newRow("without last") << QStringList{"--series", "A", "--first", "1"} << 2 << "usage:";
        QTest::newRow("unknown option") << QStringList{"--series", "A", "--first", "1", "--last", "2", "--sheets", "4"}
                                        << 2 << "usage:";
    }
    void exportCsv()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const Run r = cli(QStringList{"export-csv"} + args + QStringList{"--dir", dir.path()});
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QStringList written = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        written.sort();
        if (status != 0) {
            QCOMPARE(written, QStringList());
            return;
        }
        QCOMPARE(written, (QStringList{"CARTGRAF.CSV", "cartgraf.cds"}));
        QCOMPARE(bolaris::test::readBytes(QDir(dir.path()).filePath(QStringLiteral("CARTGRAF.CSV"))),
                 bolaris::test::readBytes(QStringLiteral(EXPORT_GOLDEN)));
    }

    void missingFolder()
    {
        QTemporaryDir dir;
        const Run r = cli({"export-csv", "--series", "A", "--first", "1", "--last", "2", "--dir",
                           QDir(dir.path()).filePath(QStringLiteral("gone"))});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains(QStringLiteral("gone")), qPrintable(r.err));
    }

    // A spreadsheet reader takes the file as it is: Python's csv module with ";"
    // finds 170 fields per card on every line (and the empty one after the last ";").
    void readBySpreadsheetReader_data()
    {
        QTest::addColumn<QString>("perSheet");
        QTest::addColumn<QString>("fill");
        QTest::addColumn<QString>("expected"); // fields per line, header first
        QTest::newRow("4 per sheet, fill X") << "4" << "X" << "681 681 681 341";
        QTest::newRow("9 per sheet, fill é") << "9" << "é" << "1531 1531 171";
        QTest::newRow("1 per sheet, no fill") << "1" << "" << "171 171 171 171 171 171 171 171 171 171 171";
    }
    void readBySpreadsheetReader()
    {
        QFETCH(QString, perSheet);
        QFETCH(QString, fill);
        QFETCH(QString, expected);
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        QVERIFY2(!python.isEmpty(), "python3 is installed by scripts/deps.sh");
        QTemporaryDir dir;
        QCOMPARE(cli({"export-csv", "--series", "A", "--first", "1", "--last", "10", "--per-sheet", perSheet, "--fill",
                      fill, "--dir", dir.path()})
                     .status,
                 0);
        // Per line: the number of fields, and whether every card's first field
        // is its four-digit number and its cells are numbers 1..90 or the fill.
        const char *script = R"(
import csv, sys
fill = sys.argv[2]
with open(sys.argv[1], newline='', encoding='cp1252') as f:
    rows = list(csv.reader(f, delimiter=';'))
print(' '.join(str(len(r)) for r in rows))
for r in rows[1:]:
    for c in range(0, len(r) - 1, 170):
        card = r[c:c + 170]
        assert len(card[0]) == 4 and card[0].isdigit(), card[0]
        numbers = sorted(int(x) for x in card[8:] if x != fill)
        assert numbers == list(range(1, 91)), card[0]
        assert sum(1 for x in card[8:] if x == fill) == 72, card[0]
print('cards ok')
)";
        const Run r = bolaris::test::runProgram(
            python, {"-c", QString::fromUtf8(script), QDir(dir.path()).filePath(QStringLiteral("CARTGRAF.CSV")), fill});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, expected + QStringLiteral("\ncards ok\n"));
    }
};

QTEST_GUILESS_MAIN(TestExportCli)
#include "tst_exportcli.moc"
