#include "ExportFixture.h"
#include "dataset/DatasetFile.h"

#include <QProcess>
#include <QTest>

#include <numeric>

#include <unistd.h>

using namespace bolaris;
using test::ExportFixture;

namespace {

using Outcome = CardExport::Outcome;

const QString kBadSeries = QStringLiteral("Série inválida. Corrija.");
const QString kNumbering = QStringLiteral("A numeração das cartelas excede o permitido. Corrija.");

// The 170 names of the header block of record position letter.
QList<QByteArray> headerBlock(char letter)
{
    QList<QByteArray> names{QByteArray("CARTELA") + letter, QByteArray("SERIE") + letter};
    for (int t = 1; t <= 6; ++t)
        names << "CARTAO" + QByteArray::number(t) + letter;
    for (int k = 1; k <= 162; ++k)
        names << letter + QByteArray::number(k);
    return names;
}

// The fields of a line that ends with ";" (the empty piece after it dropped).
QList<QByteArray> fields(const QByteArray &line)
{
    QList<QByteArray> f = line.split(';');
    f.removeLast();
    return f;
}

// Cells 19 to 27 of a card record (row 3 of ticket 1) as written.
QByteArray row(const QByteArray &record, int r)
{
    const QList<QByteArray> f = fields(record);
    return f.mid(8 + 9 * (r - 1), 9).join(';') + ';';
}

// A small file system of its own, mounted by root: full or read-only on demand.
class ScratchMount {
public:
    explicit ScratchMount(int kilobytes)
    {
        if (::geteuid() != 0)
            return;
        m_mounted = QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", QStringLiteral("size=%1k").arg(kilobytes),
                                                                 "tmpfs", m_dir.path()}) == 0;
    }
    ~ScratchMount()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_dir.path()});
    }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    bool makeReadOnly()
    {
        return QProcess::execute(QStringLiteral("mount"), {"-o", "remount,ro", m_dir.path()}) == 0;
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace

class TestCardExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fillText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("fill");
        QTest::newRow("X") << "X" << "X";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("cut after trimming") << "  XYZ " << "XY";
        QTest::newRow("A blank B") << "A B" << "A";
        QTest::newRow("blanks only") << "   " << "";
    }
    void fillText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, fill);
        QCOMPARE(CardExport::fillText(typed), fill);
    }

    // Header blocks, sheet lines and line ends for each cards-per-sheet value.
    void fileShape_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("perSheet");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<QList<int>>("cardsPerLine");
        QTest::addColumn<int>("firstCard");
        QTest::newRow("one card") << "1" << "1" << "1" << 1 << QList<int>{1} << 1;
        QTest::newRow("4 per sheet") << "1" << "10" << "4" << 4 << QList<int>{4, 4, 2} << 1;
        QTest::newRow("5 per sheet") << "1" << "10" << "5" << 5 << QList<int>{5, 5} << 1;
        QTest::newRow("9 per sheet") << "1" << "20" << "9" << 9 << QList<int>{9, 9, 2} << 1;
        QTest::newRow("per sheet 0") << "1" << "3" << "0" << 1 << QList<int>{1, 1, 1} << 1;
        QTest::newRow("per sheet 10") << "1" << "3" << "10" << 1 << QList<int>{1, 1, 1} << 1;
        QTest::newRow("per sheet -3") << "1" << "3" << "-3" << 1 << QList<int>{1, 1, 1} << 1;
        QTest::newRow("per sheet abc") << "1" << "3" << "abc" << 1 << QList<int>{1, 1, 1} << 1;
        QTest::newRow("per sheet empty") << "1" << "3" << "" << 1 << QList<int>{1, 1, 1} << 1;
        QTest::newRow("per sheet trailing blank") << "1" << "3" << "3 " << 1 << QList<int>{1, 1, 1} << 1;
        QTest::newRow("per sheet leading blank") << "1" << "3" << " 3" << 3 << QList<int>{3} << 1;
        QTest::newRow("1990 to 2500") << "1990" << "2500" << "" << 1 << QList<int>(11, 1) << 1990;
        QTest::newRow("blanks around numbers") << " 5 " << " 6 " << "2" << 2 << QList<int>{2} << 5;
        QTest::newRow("whole series") << "1" << "2000" << "9" << 9 << QList<int>(222, 9) + QList<int>{2} << 1;
    }
    void fileShape()
    {
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, perSheet);
        QFETCH(int, blocks);
        QFETCH(QList<int>, cardsPerLine);
        QFETCH(int, firstCard);
        ExportFixture f;
        QCOMPARE(f.run(QStringLiteral("A"), first, last, perSheet, QStringLiteral("X")), Outcome::Written);
        QVERIFY(f.prompter.shown.isEmpty());

        const QByteArray bytes = f.csv();
        QVERIFY(bytes.endsWith(";\r\n"));
        QCOMPARE(bytes.count("\r\n"), cardsPerLine.size() + 1);
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));
        QCOMPARE(bytes.count(";\r\n"), bytes.count("\r\n"));
        const QList<QByteArray> lines = f.lines();
        QList<QByteArray> header;
        for (int p = 0; p < blocks; ++p)
            header += headerBlock(char('A' + p));
        QCOMPARE(fields(lines[0]), header);

        int card = firstCard;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> f = fields(lines[i]);
            QCOMPARE(f.size(), 170 * cardsPerLine[i - 1]);
            for (int c = 0; c < cardsPerLine[i - 1]; ++c, ++card) {
                QCOMPARE(f[170 * c], QByteArray::number(card).rightJustified(4, '0'));
                QCOMPARE(f[170 * c + 1], QByteArray("A"));
                QCOMPARE(f[170 * c + 7], QByteArray::number(6 * card).rightJustified(5, '0'));
            }
        }
        QCOMPARE(card - firstCard, std::accumulate(cardsPerLine.begin(), cardsPerLine.end(), 0));
    }

    // Card A-1: row 1 holds 24, 40, 51, 70 and 87; row 3 starts with a one-digit 9.
    void recordOfA1_data()
    {
        QTest::addColumn<QString>("fill");
        QTest::addColumn<QByteArray>("row1");
        QTest::addColumn<QByteArray>("row3");
        QTest::newRow("X") << "X" << QByteArray("X;X;24;X;40;51;X;70;87;") << QByteArray("9;X;X;39;41;X;64;71;X;");
        QTest::newRow("empty") << "" << QByteArray(";;24;;40;51;;70;87;") << QByteArray("9;;;39;41;;64;71;;");
        QTest::newRow("A blank B") << "A B" << QByteArray("A;A;24;A;40;51;A;70;87;")
                                   << QByteArray("9;A;A;39;41;A;64;71;A;");
        QTest::newRow("two characters") << "**" << QByteArray("**;**;24;**;40;51;**;70;87;")
                                        << QByteArray("9;**;**;39;41;**;64;71;**;");
        // The file is Windows-1252: é is E9, the euro sign 80.
        QTest::newRow("e acute") << "é" << QByteArray("\xE9;\xE9;24;\xE9;40;51;\xE9;70;87;")
                                 << QByteArray("9;\xE9;\xE9;39;41;\xE9;64;71;\xE9;");
        QTest::newRow("euro") << "€" << QByteArray("\x80;\x80;24;\x80;40;51;\x80;70;87;")
                              << QByteArray("9;\x80;\x80;39;41;\x80;64;71;\x80;");
    }
    void recordOfA1()
    {
        QFETCH(QString, fill);
        QFETCH(QByteArray, row1);
        QFETCH(QByteArray, row3);
        ExportFixture f;
        QCOMPARE(f.run(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1"), fill),
                 Outcome::Written);
        const QList<QByteArray> lines = f.lines();
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[1].left(43), QByteArray("0001;A;00001;00002;00003;00004;00005;00006;"));
        QVERIFY(lines[1].mid(43).startsWith(row1));
        QCOMPARE(row(lines[1], 1), row1);
        QCOMPARE(row(lines[1], 3), row3);
        QCOMPARE(fields(lines[1]).size(), 170);
    }

    // The whole file, byte for byte, for cards, four per sheet, fill X.
    void goldenFile()
    {
        ExportFixture f;
        QCOMPARE(f.run(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("4"),
                       QStringLiteral("X")),
                 Outcome::Written);
        QCOMPARE(f.csv(), test::readBytes(QStringLiteral(EXPORT_GOLDEN)));
    }

    // Tickets count within the series; the cells come from the series' own card.
    void seriesBCard1()
    {
        ExportFixture f;
        QCOMPARE(f.run(QStringLiteral("B"), QStringLiteral("1"), QStringLiteral("1"), {}, QStringLiteral("*")),
                 Outcome::Written);
        const QByteArray b1 = f.lines()[1];
        QCOMPARE(f.run(QStringLiteral("A"), QStringLiteral("7"), QStringLiteral("7"), {}, QStringLiteral("*")),
                 Outcome::Written);
        const QByteArray a7 = f.lines()[1];
        QCOMPARE(b1.left(43), QByteArray("0001;B;00001;00002;00003;00004;00005;00006;"));
        QCOMPARE(a7.left(43), QByteArray("0007;A;00037;00038;00039;00040;00041;00042;"));
        QCOMPARE(fields(b1).mid(8), fields(a7).mid(8));
    }

    // What is refused, with which message, and that nothing is written then.
    void refusals_data()
    {
        QTest::addColumn<QString>("series");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("fill");
        QTest::addColumn<QString>("caption"); // empty: no message
        QTest::addColumn<QString>("message");
        const QString series = QStringLiteral("Número da série a emitir");
        const QString numbering = QStringLiteral("Número das cartelas a emitir");
        const QString error = QStringLiteral("Bolaris");
        const QString fill = QStringLiteral("Preenchimento das casas vazias");
        QTest::newRow("empty series") << "" << "1" << "1" << "" << series << kBadSeries;
        QTest::newRow("series M") << "M" << "1" << "1" << "" << series << kBadSeries;
        QTest::newRow("series CA") << "CA" << "1" << "1" << "" << series << kBadSeries;
        QTest::newRow("series before numbers") << "M" << "abc" << "1" << "" << series << kBadSeries;
        QTest::newRow("first 2001") << "A" << "2001" << "3000" << "" << numbering << kNumbering;
        QTest::newRow("first 0") << "A" << "0" << "5" << "" << "" << "";
        QTest::newRow("first empty") << "A" << "" << "5" << "" << "" << "";
        QTest::newRow("last empty") << "A" << "1" << "" << "" << "" << "";
        QTest::newRow("last below first") << "A" << "10" << "5" << "" << "" << "";
        QTest::newRow("first -3") << "A" << "-3" << "5" << "" << "" << "";
        QTest::newRow("first abc") << "A" << "abc" << "5" << "" << error
                                   << "'abc' não é um valor inteiro válido. Corrija.";
        QTest::newRow("last 12x") << "A" << "1" << "12x" << "" << error << "'12x' não é um valor inteiro válido. Corrija.";
        QTest::newRow("first beyond int") << "A" << "99999999999" << "5" << "" << error
                                          << "'99999999999' não é um valor inteiro válido. Corrija.";
        const QString separators = QStringLiteral("O preenchimento não pode ter ponto e vírgula, aspas ou caracteres de "
                                                  "controle, que desfariam os campos do arquivo CARTGRAF.CSV. Corrija.");
        QTest::newRow("fill semicolon") << "A" << "1" << "1" << ";" << fill << separators;
        QTest::newRow("fill quote") << "A" << "1" << "1" << "X\"" << fill << separators;
        QTest::newRow("fill tab") << "A" << "1" << "1" << "X\tY" << fill << separators;
        auto codePage = [](const QString &c) {
            return QStringLiteral("O caractere \u201C%1\u201D do preenchimento não pode ser gravado no arquivo "
                                  "CARTGRAF.CSV, que usa a página de código Windows-1252. Corrija.")
                .arg(c);
        };
        QTest::newRow("fill o double acute") << "A" << "1" << "1" << "ő" << fill << codePage("ő");
        QTest::newRow("fill emoji after a letter") << "A" << "1" << "1" << "a😀" << fill << codePage("😀");
        QTest::newRow("fill C1 control") << "A" << "1" << "1" << "\u0081" << fill << codePage("\u0081");
        QTest::newRow("B-3 has no text") << "B" << "1" << "3" << "" << numbering
                                         << "A cartela B-3 não está disponível (falta o arquivo compl22.cds ou a "
                                            "cartela nele). Nenhum arquivo foi gerado.";
    }
    void refusals()
    {
        QFETCH(QString, series);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, fill);
        QFETCH(QString, caption);
        QFETCH(QString, message);
        ExportFixture f;
        test::writeBytes(f.file(QStringLiteral("CARTGRAF.CSV")), "old file\r\n");
        test::writeBytes(f.file(QStringLiteral("cartgraf.cds")), "old table");
        const auto before = f.folder();
        const Outcome outcome = f.run(series, first, last, {}, fill);
        QCOMPARE(outcome, caption.isEmpty() ? Outcome::Stopped : Outcome::Refused);
        QCOMPARE(f.prompter.shown.size(), caption.isEmpty() ? 0 : 1);
        if (!caption.isEmpty()) {
            QCOMPARE(f.prompter.shown[0].caption, caption);
            QCOMPARE(f.prompter.shown[0].text, message);
        }
        QCOMPARE(f.folder(), before);
        QVERIFY(!f.exporter.TableGraf().isOpen());
    }

    // A pasted page of text is named by its start only.
    void longTextInMessage()
    {
        ExportFixture f;
        QCOMPARE(f.run(QStringLiteral("A"), QString(10000, QLatin1Char('7')) + QLatin1Char('x'), QStringLiteral("1")),
                 Outcome::Refused);
        QCOMPARE(f.prompter.lastText(),
                 QStringLiteral("'%1\u2026' não é um valor inteiro válido. Corrija.").arg(QString(20, QLatin1Char('7'))));
    }

    // The intermediate table: the sheet record of each card, closed and written.
    void intermediateTable()
    {
        ExportFixture f;
        QCOMPARE(f.run(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("2"), {}, QStringLiteral("*")),
                 Outcome::Written);
        QVERIFY(!f.exporter.TableGraf().isOpen());
        const DatasetFile::Content table = DatasetFile::load(f.file(QStringLiteral("cartgraf.cds")));
        QStringList names;
        for (const FieldDef &d : table.fields)
            names << d.name;
        QCOMPARE(names.size(), 169);
        QCOMPARE(names.mid(0, 10), (QStringList{"Numero", "Cartao1", "Cartao2", "Cartao3", "Cartao4", "Cartao5",
                                                "Cartao6", "N11", "N12", "N13"}));
        QCOMPARE(names.mid(15, 3), (QStringList{"N19", "N21", "N22"}));
        QCOMPARE(names.last(), QStringLiteral("N189"));
        QCOMPARE(table.rows.size(), size_t(2));
        QCOMPARE(table.rows[1][0].toInt(), 2);
        QCOMPARE(table.rows[1][6].toInt(), 12);
        QCOMPARE(table.rows[0][names.indexOf("N31")].toString(), QStringLiteral("9")); // "9 " loses its blank
        QCOMPARE(table.rows[0][names.indexOf("N11")].toString(), QStringLiteral("*"));
    }

    // Files of any letter case are the same files: replaced, not joined by a second.
    void replacesTheFilesInAnyCase()
    {
        ExportFixture f;
        test::writeBytes(QDir(f.dir.path()).filePath(QStringLiteral("cartgraf.csv")), "old");
        test::writeBytes(QDir(f.dir.path()).filePath(QStringLiteral("CartGraf.cds")), "old");
        QCOMPARE(f.run(QStringLiteral("A"), QStringLiteral("3"), QStringLiteral("3")), Outcome::Written);
        QCOMPARE(f.folder().keys(), (QStringList{"CartGraf.cds", "cartgraf.csv", "compl22.cds"}));
        QCOMPARE(f.lines().size(), 2);
        QVERIFY(f.lines()[1].startsWith("0003;A;"));
        QCOMPARE(DatasetFile::load(f.file(QStringLiteral("cartgraf.cds"))).rows.size(), size_t(1));
    }

    // A folder that cannot take the file: a message naming it, the old files kept,
    // no temporary file left.
    void writeFailures_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("folder missing") << "missing";
        QTest::newRow("file name taken by a folder") << "folder";
        QTest::newRow("read-only folder") << "read-only";
        QTest::newRow("disk full before the file") << "full:64";
        QTest::newRow("disk full before the table") << "full:1200";
    }
    void writeFailures()
    {
        QFETCH(QString, how);
        ExportFixture f;
        std::unique_ptr<ScratchMount> mount;
        QString dir = f.dir.path();
        if (how == QLatin1String("missing")) {
            dir = QDir(dir).filePath(QStringLiteral("gone"));
        } else if (how == QLatin1String("folder")) {
            QVERIFY(QDir(dir).mkdir(QStringLiteral("CARTGRAF.CSV")));
        } else if (how == QLatin1String("read-only") && ::geteuid() != 0) {
            test::writeBytes(QDir(dir).filePath(QStringLiteral("CARTGRAF.CSV")), "old file\r\n");
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
        } else {
            mount = std::make_unique<ScratchMount>(how.startsWith(QLatin1String("full")) ? how.mid(5).toInt() : 64);
            if (!mount->mounted())
                QSKIP("needs a tmpfs mount (root)");
            dir = mount->path();
            test::writeBytes(QDir(dir).filePath(QStringLiteral("CARTGRAF.CSV")), "old file\r\n");
            test::writeBytes(QDir(dir).filePath(QStringLiteral("cartgraf.cds")), "old table");
            if (how == QLatin1String("read-only"))
                QVERIFY(mount->makeReadOnly());
        }
        const auto before = test::folderContents(dir);
        CardExport exporter(dir);
        const Outcome outcome = exporter.exportCards({QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("2000"),
                                                      {}, QStringLiteral("X")},
                                                     f.store.table(), f.prompter);
        QFile::setPermissions(f.dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(outcome, Outcome::Refused);
        QCOMPARE(f.prompter.shown.size(), 1);
        QCOMPARE(f.prompter.shown[0].icon, MessageIcon::Error);
        const QString text = f.prompter.lastText();
        QVERIFY2(text.contains(QStringLiteral("CARTGRAF.CSV")) && text.contains(QDir::toNativeSeparators(dir)),
                 qPrintable(text));
        QCOMPARE(test::folderContents(dir), before);
        QVERIFY(!exporter.TableGraf().isOpen());
    }
};

QTEST_GUILESS_MAIN(TestCardExport)
#include "tst_cardexport.moc"
