#include "IssueFixture.h"
#include "cards/SeriesA.h"
#include "report/ReportLayout.h"

#include <QTest>

using namespace bolaris;
using test::IssueFixture;

namespace {

QString field(Dataset &d, const QString &name) { return d.asString(name); }

} // namespace

class TestSheetIssue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fillText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("fill");
        QTest::newRow("blanks and XYZ") << "  XYZ " << "XY";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("asterisk") << "*" << "*";
        QTest::newRow("blanks only") << "   " << "";
        QTest::newRow("inner blank kept") << " a b" << "a ";
    }
    void fillText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, fill);
        QCOMPARE(SheetIssue::fillText(typed), fill);
    }

    // Which requests pass, and what a refused one says.
    void requests_data()
    {
        QTest::addColumn<QString>("series");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("firstNumero");
        const QString badSeries = QStringLiteral("Série inválida. Corrija.");
        const QString badRange = QStringLiteral("A numeração das cartelas excede o permitido. Corrija.");
        QTest::newRow("C") << "C" << "1" << "1" << "" << 1 << 1;
        QTest::newRow("CD issues C") << "CD" << "1" << "1" << "" << 1 << 1;
        QTest::newRow("JKL") << "JKL" << "1" << "1" << "" << 1 << 1;
        QTest::newRow("all letters") << "ABCDEFGHIJKL" << "1" << "1" << "" << 1 << 1;
        QTest::newRow("blanks around") << " A " << "1" << "2" << "" << 2 << 1;
        QTest::newRow("empty series") << "" << "1" << "1" << badSeries << 0 << 0;
        QTest::newRow("M") << "M" << "1" << "1" << badSeries << 0 << 0;
        QTest::newRow("CA") << "CA" << "1" << "1" << badSeries << 0 << 0;
        QTest::newRow("AC") << "AC" << "1" << "1" << badSeries << 0 << 0;
        QTest::newRow("C blank D") << "C D" << "1" << "1" << badSeries << 0 << 0;
        QTest::newRow("series checked first") << "M" << "10" << "5" << badSeries << 0 << 0;
        QTest::newRow("whole series") << "A" << "1" << "2000" << "" << 2000 << 1;
        QTest::newRow("last cut to 2000") << "A" << "1990" << "2500" << "" << 11 << 1990;
        QTest::newRow("both above 2000") << "A" << "2001" << "3000" << badRange << 0 << 0;
        QTest::newRow("first above last") << "A" << "10" << "5" << badRange << 0 << 0;
        QTest::newRow("first zero") << "A" << "0" << "5" << badRange << 0 << 0;
        QTest::newRow("first minus three") << "A" << "-3" << "5" << badRange << 0 << 0;
        QTest::newRow("letters") << "A" << "abc" << "5" << badRange << 0 << 0;
        QTest::newRow("trailing blank") << "A" << "12 " << "15" << badRange << 0 << 0;
        QTest::newRow("empty first") << "A" << "" << "15" << badRange << 0 << 0;
        QTest::newRow("leading blank") << "A" << " 12" << "15" << "" << 4 << 12;
    }
    void requests()
    {
        QFETCH(QString, series);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, message);
        QFETCH(int, records);
        QFETCH(int, firstNumero);
        IssueFixture f;
        const bool built = f.build(series, first, last);
        QCOMPARE(built, message.isEmpty());
        if (!built) {
            QCOMPARE(f.prompter.shown.size(), 1);
            QCOMPARE(f.prompter.lastText(), message);
            QCOMPARE(f.prompter.shown[0].caption, message.startsWith(QStringLiteral("Série"))
                                                      ? QStringLiteral("Número da série a emitir")
                                                      : QStringLiteral("Número das cartelas a emitir"));
            QVERIFY(!f.issue.TableCart().isOpen());
            return;
        }
        Dataset &cart = f.issue.TableCart();
        QCOMPARE(cart.recordCount(), records);
        QCOMPARE(cart.fieldDefs().size(), size_t(169));
        QCOMPARE(cart.asInteger(QStringLiteral("Numero")), firstNumero + records - 1); // current: the last card
        cart.first();
        QCOMPARE(cart.asInteger(QStringLiteral("Numero")), firstNumero);
        cart.last();
        const int n = cart.asInteger(QStringLiteral("Numero"));
        for (int i = 1; i <= 6; ++i)
            QCOMPARE(cart.asInteger(QStringLiteral("Cartao%1").arg(i)), 6 * (n - 1) + i);
    }

    void placesOfCardA1()
    {
        IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("X")));
        Dataset &cart = f.issue.TableCart();
        cart.first();
        const QStringList rows[3] = {{"X", "X", "24", "X", "40", "51", "X", "70", "87"},
                                     {"X", "18", "X", "32", "X", "52", "61", "X", "88"},
                                     {"9", "X", "X", "39", "41", "X", "64", "71", "X"}};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 9; ++c)
                QCOMPARE(field(cart, QStringLiteral("N%1%2").arg(r + 1).arg(c + 1)), rows[r][c]);
        // Every card: 90 numbers once each and 72 fill texts.
        int fills = 0;
        QSet<QString> numbers;
        for (int r = 1; r <= 18; ++r)
            for (int c = 1; c <= 9; ++c) {
                const QString v = field(cart, QStringLiteral("N%1%2").arg(r).arg(c));
                v == QLatin1String("X") ? ++fills : (numbers.insert(v), 0);
            }
        QCOMPARE(fills, 72);
        QCOMPARE(numbers.size(), 90);
    }

    // A smaller second issue leaves nothing of the first, in memory or on disk.
    void secondIssueReplacesTheFirst()
    {
        IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("10")));
        f.issue.closeAll();
        QCOMPARE(DatasetFile::load(f.file(QStringLiteral("cartelas.cds"))).rows.size(), size_t(10));
        QVERIFY(f.build(QStringLiteral("B"), QStringLiteral("1"), QStringLiteral("1")) == false); // no B cards here
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("5"), QStringLiteral("6")));
        QCOMPARE(f.issue.TableCart().recordCount(), 2);
        f.issue.closeAll();
        const DatasetFile::Content c = DatasetFile::load(f.file(QStringLiteral("Cartelas.cds")));
        QCOMPARE(c.rows.size(), size_t(2));
        QCOMPARE(c.rows[0][0].toInt(), 5);
    }

    // Without "compl22.cds" a card of series B cannot be issued: nothing changes.
    void cardWithoutText()
    {
        IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("3")));
        f.issue.closeAll();
        const QByteArray before = test::readBytes(f.file(QStringLiteral("cartelas.cds")));
        f.prompter.clear();
        QVERIFY(!f.build(QStringLiteral("B"), QStringLiteral("7"), QStringLiteral("9")));
        QVERIFY(f.prompter.lastText().contains(QStringLiteral("B-7")));
        QVERIFY(f.prompter.lastText().endsWith(QStringLiteral("Corrija.")));
        QVERIFY(!f.issue.TableCart().isOpen());
        QCOMPARE(test::readBytes(f.file(QStringLiteral("cartelas.cds"))), before);
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("1")));
    }

    // Only a card whose text cannot be decoded is refused, named, with nothing
    // changed; a card that breaks the card rules but decodes is issued as it is.
    void cardTexts_data()
    {
        QTest::addColumn<QString>("text"); // card C-2 of the range C 1..3
        QTest::addColumn<bool>("issued");
        const QString a1 = test::latin1(SeriesACard(1));
        auto cell = [&](int k, const char *two) { return QString(a1).replace(2 * k - 2, 2, QLatin1String(two)); };
        QTest::newRow("sound") << a1 << true;
        QTest::newRow("row not ascending") << QString(a1).replace(0, 4, a1.mid(2, 2) + a1.left(2)) << true;
        QTest::newRow("number twice") << cell(2, "24") << true;
        QTest::newRow("one-digit number without its blank") << cell(11, " 9") << true;
        QTest::newRow("179 characters") << a1.left(179) << false;
        QTest::newRow("181 characters") << a1 + QLatin1Char('1') << true; // the store keeps the first 180
        QTest::newRow("letter") << cell(5, "8X") << false;
        QTest::newRow("91") << cell(5, "91") << false;
        QTest::newRow("00") << cell(5, "00") << false;
        QTest::newRow("blank cell") << cell(5, "  ") << false;
    }
    void cardTexts()
    {
        QFETCH(QString, text);
        QFETCH(bool, issued);
        IssueFixture f;
        test::writeCardFile(f.dir.path(), {{4001, test::latin1(SeriesACard(3))}, {4002, text},
                                           {4003, test::latin1(SeriesACard(5))}});
        f.store.FillCardStore(f.dir.path());
        QCOMPARE(f.build(QStringLiteral("C"), QStringLiteral("1"), QStringLiteral("3")), issued);
        if (issued) {
            QCOMPARE(f.issue.TableCart().recordCount(), 3);
            QVERIFY(f.prompter.shown.isEmpty());
        } else {
            QVERIFY(!f.issue.TableCart().isOpen());
            QCOMPARE(f.prompter.shown.size(), 1);
            QCOMPARE(f.prompter.shown[0].caption, QStringLiteral("Número das cartelas a emitir"));
            QVERIFY(f.prompter.lastText().contains(QStringLiteral("C-2")));
            QVERIFY(f.prompter.lastText().endsWith(QStringLiteral("Corrija.")));
        }
    }

    void halfCards()
    {
        IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("5"), QStringLiteral("7"), QStringLiteral("*")));
        const PreviewJob job = f.issue.prepareModel(PrintModel::CheckGG, QStringLiteral("A"), f.forms.forms());
        QCOMPARE(job.form->objectName(), QStringLiteral("TFormCarGG"));
        Dataset &g = f.issue.TableCartG();
        QCOMPARE(job.dataset, &g);
        QCOMPARE(g.fieldDefs().size(), size_t(85));
        QStringList got;
        for (g.first(); !g.eof(); g.next())
            got << QStringLiteral("%1:%2-%3").arg(g.asInteger("Numero")).arg(g.asInteger("Cartao1")).arg(g.asInteger("Cartao3"));
        QCOMPARE(got, (QStringList{"5:25-27", "5:28-30", "6:31-33", "6:34-36", "7:37-39", "7:40-42"}));
        // The second record of a card holds card rows 10 to 18.
        Dataset &cart = f.issue.TableCart();
        cart.first();
        g.first();
        g.next();
        for (int r = 1; r <= 9; ++r)
            for (int c = 1; c <= 9; ++c)
                QCOMPARE(g.asString(QStringLiteral("N%1%2").arg(r).arg(c)),
                         cart.asString(QStringLiteral("N%1%2").arg(r + 9).arg(c)));
        f.issue.finishModel(PrintModel::CheckGG);
        QVERIFY(!g.isOpen());
        QCOMPARE(DatasetFile::load(f.file(QStringLiteral("cartelasG.cds"))).rows.size(), size_t(6));
    }

    void thirdCards()
    {
        IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("4")));
        f.issue.prepareModel(PrintModel::Check3A4, QStringLiteral("A"), f.forms.forms());
        f.issue.finishModel(PrintModel::Check3A4);
        f.issue.closeAll();
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("9"), QStringLiteral("9")));
        f.issue.prepareModel(PrintModel::Check3A4, QStringLiteral("A"), f.forms.forms());
        Dataset &t = f.issue.TableCart3A4();
        QCOMPARE(t.fieldDefs().size(), size_t(57));
        QStringList got;
        for (t.first(); !t.eof(); t.next())
            got << QStringLiteral("%1:%2,%3").arg(t.asInteger("Numero")).arg(t.asInteger("Cartao1")).arg(t.asInteger("Cartao2"));
        QCOMPARE(got, (QStringList{"9:49,50", "9:51,52", "9:53,54"}));
        f.issue.finishModel(PrintModel::Check3A4);
        QCOMPARE(DatasetFile::load(f.file(QStringLiteral("cartelas3A4.cds"))).rows.size(), size_t(3));
    }

    // The captions take the series box untrimmed; "1 por folha" and "4 por
    // folha" set the shared form completely each time.
    void modelsSetTheirForms()
    {
        IssueFixture f;
        QVERIFY(f.build(QStringLiteral(" CD"), QStringLiteral("1"), QStringLiteral("1")));
        const ReportForms &forms = f.forms.forms();
        f.issue.prepareModel(PrintModel::Check2, QStringLiteral(" CD"), forms);
        for (int k = 1; k <= 6; ++k)
            QCOMPARE(forms.car2->label(seriesLabel(k)), QStringLiteral(" CD"));
        QCOMPARE(forms.car1->label(QStringLiteral("LabelSerie")), QStringLiteral("Cartela"));

        const PreviewJob four = f.issue.prepareModel(PrintModel::Check4, QStringLiteral("C"), forms);
        const ReportDefinition &d = four.form->definition();
        QCOMPARE(QSizeF(d.page.width, d.page.length), QSizeF(210, 320));
        QCOMPARE(d.page.columns, 2);
        QVERIFY(d.band.cutRight && d.band.cutBottom);
        f.issue.prepareModel(PrintModel::Check14, QStringLiteral("C"), forms);
        QCOMPARE(QSizeF(d.page.width, d.page.length), QSizeF(105, 160));
        QCOMPARE(d.page.columns, 1);
        QVERIFY(!d.band.cutRight && !d.band.cutBottom);
        f.issue.prepareModel(PrintModel::Check4, QStringLiteral("C"), forms);
        QCOMPARE(QSizeF(d.page.width, d.page.length), QSizeF(210, 320));
        QVERIFY(d.band.cutRight && d.band.cutBottom);
        QCOMPARE(d.page.marginBottom, 2.0);
    }

    // Sheets of an issue of seven cards, and the PDF of each model.
    void sheetsPerModel_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QSizeF>("points");
        QTest::newRow("1 por folha") << "Check14" << 7 << QSizeF(298, 454);
        QTest::newRow("3 por folha") << "Check3" << 3 << QSizeF(842, 595);
        QTest::newRow("4 por folha") << "Check4" << 2 << QSizeF(595, 907);
        QTest::newRow("2 por folha") << "Check2" << 4 << QSizeF(595, 842);
        QTest::newRow("sem grade") << "Check1" << 7 << QSizeF(289, 842);
        QTest::newRow("gigante") << "CheckG" << 7 << QSizeF(595, 842);
        QTest::newRow("meia") << "CheckGG" << 14 << QSizeF(595, 842);
        QTest::newRow("terço") << "Check3A4" << 21 << QSizeF(595, 842);
    }
    void sheetsPerModel()
    {
        QFETCH(QString, model);
        QFETCH(int, pages);
        QFETCH(QSizeF, points);
        IssueFixture f;
        const PrintModel m = *modelFromName(model);
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("11"), QStringLiteral("17"), QStringLiteral("*"), m));
        const PreviewJob job = f.issue.prepareModel(m, QStringLiteral("A"), f.forms.forms());
        const ReportData data = ReportData::fromDataset(*job.dataset);
        const ReportDefinition &def = job.form->definition();
        QCOMPARE(ReportLayout(def.page, def.band, int(data.records.size())).pageCount(), pages);
        const QString pdf = f.file(QStringLiteral("out.pdf"));
        QVERIFY(writePdf(pdf, def, data));
        const test::PdfPages got = test::pdfPages(pdf);
        QCOMPARE(got.count, pages);
        for (const QSizeF &size : got.sizes) {
            QVERIFY2(qAbs(size.width() - points.width()) <= 1 && qAbs(size.height() - points.height()) <= 1,
                     qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
        }
        f.issue.finishModel(m);
        f.issue.closeAll();
    }

    void stoppedPdfLeavesNoFile()
    {
        IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("30")));
        const PreviewJob job = f.issue.prepareModel(PrintModel::Check14, QStringLiteral("A"), f.forms.forms());
        const QString pdf = f.file(QStringLiteral("stopped.pdf"));
        test::writeBytes(pdf, "earlier file");
        QVERIFY(!writePdf(pdf, job.form->definition(), ReportData::fromDataset(*job.dataset),
                          [](int done, int) { return done < 5; }));
        QCOMPARE(test::readBytes(pdf), QByteArray("earlier file"));
        const QStringList left = QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left.filter(QStringLiteral(".stopped.pdf.")), QStringList());
    }

    // A working folder that cannot take the sheet datasets is found before
    // anything is deleted or built: one message, nothing issued.
    void folderThatTakesNoDatasets()
    {
        test::SmallDisk disk;
        SKIP_WITHOUT_DISK(disk);
        test::writeBytes(disk.file(QStringLiteral("cartelas.cds")), "the last issue");
        QVERIFY(disk.makeReadOnly());
        CardStore store;
        store.FillCardStore(disk.path());
        test::ScriptedPrompter prompter;
        SheetIssue issue(disk.path());
        const IssueRequest request{{}, QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("2"), PrintModel::CheckGG};
        QVERIFY(!issue.buildTableCart(request, store.table(), prompter));
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.lastText(), QStringLiteral("A pasta de trabalho %1 não pode ser gravada: o disco só "
                                                     "permite leitura. Nenhuma cartela foi emitida.")
                                          .arg(disk.path()));
        QVERIFY(!issue.TableCart().isOpen());
        QCOMPARE(test::readBytes(disk.file(QStringLiteral("cartelas.cds"))), QByteArray("the last issue"));
    }
};

QTEST_MAIN(TestSheetIssue)
#include "tst_sheetissue.moc"
