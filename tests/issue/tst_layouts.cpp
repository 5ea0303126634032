#include "IssueFixture.h"
#include "issue/CardColours.h"
#include "report/Fonts.h"
#include "report/ReportLayout.h"

#include <QImage>
#include <QPainter>
#include <QTest>

using namespace bolaris;

namespace {

const ReportText *textFor(const ReportDefinition &def, const QString &value)
{
    for (const ReportText &t : def.texts)
        if (t.value == value)
            return &t;
    return nullptr;
}

bool within(const QRectF &inner, const QRectF &outer, double tolerance = 0.05)
{
    return inner.left() >= outer.left() - tolerance && inner.right() <= outer.right() + tolerance &&
           inner.top() >= outer.top() - tolerance && inner.bottom() <= outer.bottom() + tolerance;
}

CardLayout layoutByName(const QString &name)
{
    for (const CardLayout &l : allLayouts())
        if (l.name == name)
            return l;
    return {};
}

} // namespace

class TestLayouts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    void frames_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QRectF>("first");
        QTest::addColumn<double>("lastTop");
        QTest::addColumn<int>("lines");
        QTest::newRow("TFormCar") << "TFormCar" << 6 << QRectF(11.91, 28.84, 71.70, 20.64) << 177.27 << 60;
        QTest::newRow("TFormCar4") << "TFormCar4" << 6 << QRectF(23.81, 4.76, 71.97, 20.64) << 125.41 << 60;
        QTest::newRow("TFormCar2") << "TFormCar2" << 6 << QRectF(7.41, 11.11, 93.13, 31.22) << 232.30 << 60;
        QTest::newRow("TFormCar1") << "TFormCar1" << 0 << QRectF() << 0.0 << 0;
        QTest::newRow("TFormCarG") << "TFormCarG" << 6 << QRectF(2.12, 16.40, 132.29, 37.57) << 246.06 << 60;
        QTest::newRow("TFormCarGG") << "TFormCarGG" << 3 << QRectF(15.88, 24.87, 159.28, 62.97) << 182.83 << 30;
        QTest::newRow("TFormCar3A4") << "TFormCar3A4" << 2 << QRectF(15.88, 20.64, 139.96, 62.97) << 96.31 << 20;
    }
    void frames()
    {
        QFETCH(QString, form);
        QFETCH(int, frames);
        QFETCH(QRectF, first);
        QFETCH(double, lastTop);
        QFETCH(int, lines);
        const ReportDefinition def = buildReport(layoutByName(form));
        QCOMPARE(int(def.frames.size()), frames);
        QCOMPARE(int(def.lines.size()), lines);
        if (frames) {
            QCOMPARE(def.frames.front().box, first);
            QCOMPARE(def.frames.back().box.top(), lastTop);
            for (const ReportFrame &f : def.frames) {
                QCOMPARE(f.pen, 3.0);
                QCOMPARE(f.fill, QColor(Qt::white));
            }
        }
        // One cell per place of the record, bound to its field, in the band's font.
        const int tickets = form == QLatin1String("TFormCarGG") ? 3 : form == QLatin1String("TFormCar3A4") ? 2 : 6;
        int cells = 0;
        for (const ReportText &t : def.texts)
            cells += t.bandFont && t.transparent && t.alignment == Qt::AlignHCenter;
        QCOMPARE(cells, tickets * 27);
    }

    // Every number cell of ticket k lies in its grid square of frame k.
    void cellsInGridSquares_data()
    {
        QTest::addColumn<QString>("form");
        for (const char *name : {"TFormCar", "TFormCar4", "TFormCar2", "TFormCarG", "TFormCarGG", "TFormCar3A4"})
            QTest::newRow(name) << name;
    }
    void cellsInGridSquares()
    {
        QFETCH(QString, form);
        const CardLayout layout = layoutByName(form);
        const ReportDefinition def = buildReport(layout);
        for (size_t k = 0; k < def.frames.size(); ++k) {
            const QRectF frame = def.frames[k].box;
            std::vector<double> xs{0};
            xs.insert(xs.end(), layout.frames.gridX.begin(), layout.frames.gridX.end());
            xs.push_back(frame.width());
            const std::vector<double> &gy =
                layout.frames.gridY.size() > k ? layout.frames.gridY[k] : layout.frames.gridY.front();
            const std::vector<double> ys{0, gy[0], gy[1], frame.height()};
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 9; ++c) {
                    const QString name = QStringLiteral("N%1%2").arg(3 * int(k) + r + 1).arg(c + 1);
                    const ReportText *cell = textFor(def, name);
                    QVERIFY2(cell, qPrintable(name));
                    const QRectF square(frame.left() + xs[size_t(c)], frame.top() + ys[size_t(r)],
                                        xs[size_t(c) + 1] - xs[size_t(c)], ys[size_t(r) + 1] - ys[size_t(r)]);
                    QVERIFY2(within(cell->box, square), qPrintable(name));
                }
            }
        }
    }

    void partExampleOnFormCar4()
    {
        const ReportDefinition def = buildReport(layoutFormCar4());
        const ReportText *cell = textFor(def, QStringLiteral("N85")); // ticket 3, row 2, column 5
        QVERIFY(within(cell->box, QRectF(QPointF(55.56, 59.80), QPointF(63.50, 66.68))));
    }

    void formCar1HasNumbersOnly()
    {
        const ReportDefinition def = buildReport(layoutFormCar1());
        QVERIFY(def.frames.empty() && def.lines.empty());
        QCOMPARE(textFor(def, QStringLiteral("N11"))->box.topLeft(), QPointF(6.61, 13.49));
        QCOMPARE(textFor(def, QStringLiteral("N39"))->box.topLeft(), QPointF(6.61 + 8 * 10.32, 13.49 + 20.91));
        QStringList statics;
        for (const ReportText &t : def.texts)
            if (t.source == ReportText::Source::Static)
                statics << t.value;
        QVERIFY(statics.isEmpty()); // no card label, no ticket label
    }

    void headers_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QRectF>("box");
        QTest::addColumn<QString>("family");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("right");
        QTest::newRow("Car card number") << "TFormCar" << "Numero" << QRectF(60.06, 16.40, 16.67, 5.03) << "Courier New" << 12.0 << false;
        QTest::newRow("Car ticket 6") << "TFormCar" << "Cartao6" << QRectF(32.28, 173.83, 15.88, 3.84) << "Courier New" << 8.0 << false;
        QTest::newRow("Car4 number") << "TFormCar4" << "Numero" << QRectF(70.64, 1.06, 16.40, 5.03) << "Courier New" << 12.0 << true;
        QTest::newRow("Car2 series 4") << "TFormCar2" << "LabelSerie4" << QRectF(40.48, 139.70, 4.23, 4.50) << "Courier New" << 10.0 << false;
        QTest::newRow("Car1 ticket 2") << "TFormCar1" << "Cartao2" << QRectF(71.70, 51.86, 17.99, 4.50) << "Courier New" << 10.0 << false;
        QTest::newRow("G series 6") << "TFormCarG" << "LabelSerie6" << QRectF(35.72, 242.62, 3.17, 4.50) << "Courier New" << 10.0 << false;
        QTest::newRow("GG ticket 3") << "TFormCarGG" << "Cartao3" << QRectF(110.07, 177.80, 18.52, 4.50) << "Courier New" << 10.0 << false;
        QTest::newRow("3A4 ticket 2") << "TFormCar3A4" << "Cartao2" << QRectF(134.67, 90.75, 20.64, 7.67) << "Arial" << 14.0 << false;
        QTest::newRow("3A4 series") << "TFormCar3A4" << "LabelSerie" << QRectF(65.35, 88.11, 6.88, 6.09) << "Arial" << 14.0 << false;
    }
    void headers()
    {
        QFETCH(QString, form);
        QFETCH(QString, value);
        QFETCH(QRectF, box);
        QFETCH(QString, family);
        QFETCH(double, points);
        QFETCH(bool, right);
        const ReportDefinition def = buildReport(layoutByName(form));
        const ReportText *t = textFor(def, value);
        QVERIFY(t);
        QCOMPARE(t->box, box);
        QCOMPARE(t->font.family, family);
        QCOMPARE(t->font.points, points);
        QVERIFY(!t->transparent && !t->bandFont);
        QCOMPARE(bool(t->alignment & Qt::AlignRight), right);
    }

    // "4 por folha" with three cards: cards 1 and 2 in the left column, 3 at the top right.
    void fourPerSheetPlacement()
    {
        ReportFormSet forms;
        SheetIssue::PreviewCar4Sheet(*forms.forms().car4, QStringLiteral("A"), 320, 210, 2, true);
        const ReportDefinition &def = forms.forms().car4->definition();
        const ReportLayout layout(def.page, def.band, 3);
        QCOMPARE(layout.pageCount(), 1);
        const std::vector<ReportLayout::Band> bands = layout.bandsOnPage(0);
        QCOMPARE(int(bands.size()), 3);
        QCOMPARE(QPointF(bands[0].x, bands[0].y), QPointF(0, 0));
        QCOMPARE(QPointF(bands[1].x, bands[1].y), QPointF(0, 147.11));
        QCOMPARE(QPointF(bands[2].x, bands[2].y), QPointF(105, 0));
    }

    void cutLines_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<int>("cuts");
        QTest::addColumn<QLineF>("first");
        QTest::newRow("3 por folha: right") << "TFormCar" << 1 << QLineF(98.95, 0, 98.95, 209.55);
        QTest::newRow("2 por folha: left") << "TFormCar2" << 1 << QLineF(0, 0, 0, 277.02);
        QTest::newRow("gigante: none") << "TFormCarG" << 0 << QLineF();
    }
    void cutLines()
    {
        QFETCH(QString, form);
        QFETCH(int, cuts);
        QFETCH(QLineF, first);
        const ReportDefinition def = buildReport(layoutByName(form));
        ReportData data;
        data.fields << QStringLiteral("Numero");
        data.records.push_back({QStringLiteral("1")});
        const ReportLayout layout(def.page, def.band, 1);
        std::vector<QLineF> found;
        for (const DisplayItem &item : pageItems(def, data, layout, 0))
            if (item.kind == DisplayItem::Kind::CutLine)
                found.push_back(item.line);
        QCOMPARE(int(found.size()), cuts);
        if (cuts)
            QCOMPARE(found.front(), first);
    }

    // Colours reach the frames and the numbers (fill texts included), never the headers.
    void coloursOnRenderedPage()
    {
        test::IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("*")));
        const QColor ticket(255, 255, 0), number(0, 0, 255);
        applyCardColours(f.forms.forms(), ticket, number);
        for (ReportForm *form : f.forms.forms().all()) {
            const bool hasFrames = form != f.forms.forms().car1;
            for (const ReportFrame &fr : form->definition().frames)
                QCOMPARE(fr.fill, ticket);
            QCOMPARE(form->definition().band.font.colour, number);
            QVERIFY(hasFrames == !form->definition().frames.empty());
        }
        const PreviewJob job = f.issue.prepareModel(PrintModel::Check3, QStringLiteral("A"), f.forms.forms());
        const ReportData data = ReportData::fromDataset(*job.dataset);
        const ReportDefinition &def = job.form->definition();
        const ReportLayout layout(def.page, def.band, 1);
        const std::vector<DisplayItem> items = pageItems(def, data, layout, 0);
        int numbers = 0, headers = 0;
        for (const DisplayItem &item : items) {
            if (item.kind != DisplayItem::Kind::Text || item.text.isEmpty())
                continue;
            if (item.font == def.band.font) {
                QCOMPARE(item.colour, number);
                ++numbers;
            } else {
                QCOMPARE(item.colour, QColor(Qt::black));
                ++headers;
            }
        }
        QCOMPARE(numbers, 162); // 90 numbers and 72 fill texts
        QCOMPARE(headers, 3 + 12);

        // Painted: inside frame 1, between its outline and the first cell.
        const double dotsPerMm = 10;
        QImage image(int(297 * dotsPerMm), int(210 * dotsPerMm), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        paintItems(painter, items, dotsPerMm, layout.pageSize());
        painter.end();
        const QRectF frame = def.frames.front().box;
        QCOMPARE(image.pixelColor(QPointF((frame.left() + 0.4) * dotsPerMm, (frame.top() + 3) * dotsPerMm).toPoint()),
                 ticket);
        const QRectF header = textFor(def, QStringLiteral("Numero"))->box;
        QCOMPARE(image.pixelColor(QPointF((header.right() - 0.3) * dotsPerMm, (header.bottom() - 0.3) * dotsPerMm).toPoint()),
                 QColor(Qt::white));
    }

    // A series caption wider than the room left to it stops at the paper's
    // edge: nothing is painted off the paper, where the preview shows grey.
    void nothingOffThePaper_data()
    {
        QTest::addColumn<int>("model");
        QTest::addColumn<int>("cards");
        QTest::newRow("1 por folha") << int(PrintModel::Check14) << 1;
        QTest::newRow("3 por folha") << int(PrintModel::Check3) << 3;
        QTest::newRow("4 por folha") << int(PrintModel::Check4) << 4;
    }
    void nothingOffThePaper()
    {
        QFETCH(int, model);
        QFETCH(int, cards);
        test::IssueFixture f;
        const QString series = QStringLiteral("ABCDEFGHIJKL");
        QVERIFY(f.build(series, QStringLiteral("1"), QString::number(cards)));
        const PreviewJob job = f.issue.prepareModel(PrintModel(model), series, f.forms.forms());
        const ReportDefinition &def = job.form->definition();
        const ReportLayout layout(def.page, def.band, cards);
        const std::vector<DisplayItem> items = pageItems(def, ReportData::fromDataset(*job.dataset), layout, 0);
        const double dotsPerMm = 4;
        const int margin = 40;
        const QRect paper(margin, margin, int(layout.pageSize().width() * dotsPerMm),
                          int(layout.pageSize().height() * dotsPerMm));
        // Pixels of the grey around the paper that something was painted on.
        auto paintedOff = [&](const QSizeF &paintedPaper) {
            QImage image(paper.width() + 2 * margin, paper.height() + 2 * margin, QImage::Format_RGB32);
            const QColor grey(0x80, 0x80, 0x80);
            image.fill(grey);
            QPainter painter(&image);
            painter.translate(margin, margin);
            painter.fillRect(QRectF(QPointF(0, 0), layout.pageSize() * dotsPerMm), Qt::white);
            paintItems(painter, items, dotsPerMm, paintedPaper);
            painter.end();
            int off = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    off += !paper.adjusted(-1, -1, 1, 1).contains(x, y) && image.pixelColor(x, y) != grey;
            return off;
        };
        QVERIFY(paintedOff(QSizeF(1000, 1000)) > 0); // the caption does run over the edge
        QCOMPARE(paintedOff(layout.pageSize()), 0);
    }

    // The PDF carries the fonts that stand in for the layouts' faces.
    void pdfEmbedsFonts()
    {
        test::IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("1")));
        const PreviewJob job = f.issue.prepareModel(PrintModel::Check3A4, QStringLiteral("A"), f.forms.forms());
        const QString pdf = f.file(QStringLiteral("fonts.pdf"));
        QVERIFY(writePdf(pdf, job.form->definition(), ReportData::fromDataset(*job.dataset)));
        const QByteArray bytes = test::readBytes(pdf);
        QVERIFY(bytes.contains("/FontFile2") || bytes.contains("/FontFile3"));
        QVERIFY(bytes.contains("BebasNeueBold")); // Impact is a heavy face: Bebas Neue's light weights are not
        QVERIFY(bytes.contains("Liberation") || bytes.contains("Arimo") || bytes.contains("Cousine"));
    }
};

QTEST_MAIN(TestLayouts)
#include "tst_layouts.moc"
