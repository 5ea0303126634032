// Hostile texts through every edit box of the main window, typed key by key
// or pasted with Ctrl+V, then Enter and the panel's action: nothing crashes or
// hangs, no file is left half-written, and each panel answers with its own
// message or its silent refusal.
#include "draw/DrawFixture.h"

#include "dataset/DatasetFile.h"
#include "dataset/StrictInt.h"
#include "dataset/WorkDir.h"
#include "export/CardExport.h"
#include "report/Fonts.h"
#include "report/PreviewHost.h"
#include "report/ReportData.h"
#include "validation/ValidationRegistry.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>

using namespace bolaris;
using namespace bolaris::test;

namespace {

// The same table for every box.
struct Hostile {
    const char *name;
    QString text;
};
const QList<Hostile> &hostileTexts()
{
    static const QList<Hostile> texts = {
        {"empty", QString()},
        {"blanks", QStringLiteral("   ")},
        {"10000 characters", QString(10000, QLatin1Char('7'))},
        {"non-Latin", QStringLiteral("жщ語ك")},
        {"control characters", QStringLiteral("\t\r\n\x01\x1b\x7f")},
        {"NUL", QStringLiteral("1") + QChar(0) + QStringLiteral("2")},
        {"huge", QStringLiteral("99999999999999999999")},
        {"int max", QStringLiteral("2147483647")},
        {"int min", QStringLiteral("-2147483648")},
        {"negative", QStringLiteral("-7")},
        {"1-", QStringLiteral("1-")},
        {"-", QStringLiteral("-")},
        {"1--2", QStringLiteral("1--2")},
        {"+5", QStringLiteral("+5")},
    };
    return texts;
}

enum class How { Typed, Pasted };

// Builds the rows "box / text / typed|pasted" of a panel's boxes.
void hostileRows(const QStringList &boxes)
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<How>("how");
    for (const QString &box : boxes)
        for (const Hostile &h : hostileTexts())
            for (How how : {How::Typed, How::Pasted}) {
                // Ten thousand characters come pasted: typed a key at a time they take seconds a box.
                if (how == How::Typed && h.text.size() >= 100)
                    continue;
                QTest::addRow("%s %s %s", qPrintable(box), h.name, how == How::Typed ? "typed" : "pasted")
                    << box << h.text << how;
            }
}

// The key a keyboard sends with a character.
Qt::Key keyOf(QChar c)
{
    switch (c.unicode()) {
    case '\r':
    case '\n':
        return Qt::Key_Return;
    case '\t':
        return Qt::Key_Tab;
    case 0x1b:
        return Qt::Key_Escape;
    case ' ':
        return Qt::Key_Space;
    case '-':
        return Qt::Key_Minus;
    case '+':
        return Qt::Key_Plus;
    default:
        if (c.unicode() < 128 && c.isLetterOrNumber())
            return Qt::Key(c.toUpper().unicode());
        return Qt::Key_unknown;
    }
}

void enterText(QLineEdit *box, const QString &text, How how)
{
    box->setFocus();
    box->clear();
    if (how == How::Typed) {
        for (QChar c : text)
            QTest::sendKeyEvent(QTest::Click, box, keyOf(c), QString(c), Qt::NoModifier);
    } else {
        QApplication::clipboard()->setText(text);
        QTest::sendKeyEvent(QTest::Click, box, Qt::Key_V, QString(QChar(0x16)), Qt::ControlModifier);
    }
}

class CountingPreviews : public PreviewHost {
public:
    int shown = 0;
    void showAndWait(const ReportForm &, ReportData) override { ++shown; }
};

// The main window on a fresh working folder, previews recorded, every other seam replaced.
struct Fixture : DrawFixture {
    CountingPreviews *previews;
    Fixture()
    {
        auto host = std::make_unique<CountingPreviews>();
        previews = host.get();
        window->setPreviewHost(std::move(host));
    }
    QLineEdit *box(const QString &name) const { return get<QLineEdit>(name); }
    void set(const char *name, const QString &text) const { box(QLatin1String(name))->setText(text); }
    void press(const char *button) { QTest::mouseClick(get<QPushButton>(QLatin1String(button)), Qt::LeftButton); }
    QString file(const char *name) const { return WorkDir::resolve(dir.path(), QLatin1String(name)); }

    // One message shown, with this caption and text.
    void expectMessage(const QString &caption, const QString &text) const
    {
        QCOMPARE(prompter.shown.size(), 1);
        QCOMPARE(prompter.shown[0].caption, caption);
        QCOMPARE(prompter.shown[0].text, text);
    }
    void expectSilence() const { QVERIFY2(prompter.shown.isEmpty(), qPrintable(prompter.lastText())); }

    // No temporary left, and every dataset in the folder reads whole.
    void expectSoundFiles() const
    {
        const QStringList temps =
            QDir(dir.path()).entryList({QStringLiteral(".*.tmp"), QStringLiteral("*.part")}, QDir::Files | QDir::Hidden);
        QVERIFY2(temps.isEmpty(), qPrintable(temps.join(' ')));
        for (const QString &name : QDir(dir.path()).entryList({QStringLiteral("*.cds")}, QDir::Files)) {
            try {
                DatasetFile::load(QDir(dir.path()).filePath(name));
            } catch (const DatasetError &e) {
                QFAIL(qPrintable(name + QStringLiteral(": ") + e.message()));
            }
        }
    }
};

int recordsIn(const QString &path) { return int(DatasetFile::load(path).rows.size()); }

const QString kSeriesCaption = QStringLiteral("Número da série a emitir");
const QString kSeriesText = QStringLiteral("Série inválida. Corrija.");
const QString kRangeCaption = QStringLiteral("Número das cartelas a emitir");
const QString kRangeText = QStringLiteral("A numeração das cartelas excede o permitido. Corrija.");

// The issue and export series rule: a run of "ABCDEFGHIJKL" once trimmed.
bool seriesRun(const QString &text)
{
    const QString s = text.trimmed();
    return !s.isEmpty() && QStringLiteral("ABCDEFGHIJKL").contains(s);
}

// The validation and card check series rule: the first character once trimmed.
QChar firstLetter(const QString &text)
{
    const QString s = text.trimmed();
    return s.isEmpty() ? QChar() : s.at(0);
}

} // namespace

Q_DECLARE_METATYPE(How)

class TestHostileInput : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    // The four tables below drive every edit box there is.
    void everyEditBoxIsDriven()
    {
        Fixture f;
        QStringList found;
        for (const QLineEdit *box : f.window->findChildren<QLineEdit *>())
            found << box->objectName();
        found.sort();
        QStringList driven = kIssueBoxes + kValidationBoxes + kExportBoxes + kCardCheckBoxes;
        driven.sort();
        QCOMPARE(found, driven);
    }

    // "Emite" with one hostile box and the others sound: fill *, series A, cards 1 to 9.
    void issuePanel_data() { hostileRows(kIssueBoxes); }
    void issuePanel()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(How, how);
        Fixture f;
        f.window->MenuEmissaoClick();
        auto fillIn = [&] {
            f.set("EditSimb", QStringLiteral("*"));
            f.set("EditSerie", QStringLiteral("A"));
            f.set("EditCartin", QStringLiteral("1"));
            f.set("EditCartfin", QStringLiteral("9"));
        };
        fillIn();
        f.press("ButtonEmite"); // an earlier issue, which a refused one must leave as it is
        const QByteArray before = readBytes(f.file("cartelas.cds"));
        QCOMPARE(recordsIn(f.file("cartelas.cds")), 9);

        fillIn();
        enterText(f.box(box), text, how);
        QTest::keyClick(f.box(box), Qt::Key_Return);
        f.press("ButtonEmite");

        const QString series = f.box(QStringLiteral("EditSerie"))->text();
        const std::optional<int> first = parseStrictInt(f.box(QStringLiteral("EditCartin"))->text());
        std::optional<int> last = parseStrictInt(f.box(QStringLiteral("EditCartfin"))->text());
        if (last && *last > 2000)
            last = 2000;
        f.expectSoundFiles();
        if (!seriesRun(series)) {
            f.expectMessage(kSeriesCaption, kSeriesText);
        } else if (!first || !last || *first < 1 || *first > *last) {
            f.expectMessage(kRangeCaption, kRangeText);
        } else {
            f.expectSilence();
            QCOMPARE(f.previews->shown, 2);
            QCOMPARE(recordsIn(f.file("cartelas.cds")), *last - *first + 1);
            return;
        }
        QCOMPARE(f.previews->shown, 1);
        QCOMPARE(readBytes(f.file("cartelas.cds")), before);
    }

    // Enter in a box of the Validation panel: the series box with card 5,
    // the card box and the ticket box with series A after cards.
    void validationPanel_data() { hostileRows(kValidationBoxes); }
    void validationPanel()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(How, how);
        Fixture f;
        f.window->MenuValidacaoClick();
        Dataset &vali = f.window->registry().TableVali();
        Dataset &valiC = f.window->registry().TableValiC();
        f.set("EditSer", QStringLiteral("A"));
        if (box == QLatin1String("EditValC")) {
            f.set("EditVal", QStringLiteral("1-2"));
            QTest::keyClick(f.box(QStringLiteral("EditVal")), Qt::Key_Return);
            QCOMPARE(vali.recordCount(), 2);
        }
        enterText(f.box(box), text, how);
        const QString typed = f.box(box)->text();
        if (box == QLatin1String("EditSer")) {
            f.set("EditVal", QStringLiteral("5"));
            QTest::keyClick(f.box(QStringLiteral("EditVal")), Qt::Key_Return);
        } else {
            QTest::keyClick(f.box(box), Qt::Key_Return);
        }
        f.expectSoundFiles();

        if (box == QLatin1String("EditSer")) {
            const QChar letter = firstLetter(typed);
            if (typed.isEmpty()) {
                f.expectSilence();
                QCOMPARE(vali.recordCount(), 0);
                QCOMPARE(f.box(QStringLiteral("EditVal"))->text(), QStringLiteral("5"));
            } else if (letter < QLatin1Char('A') || letter > QLatin1Char('L')) {
                f.expectMessage(kSeriesCaption, kSeriesText);
                QCOMPARE(vali.recordCount(), 0);
                QCOMPARE(f.box(QStringLiteral("EditVal"))->text(), QString());
                QCOMPARE(f.window->focusWidget(), f.box(QStringLiteral("EditSer")));
            } else {
                f.expectSilence();
                QCOMPARE(vali.recordCount(), 1);
                QCOMPARE(vali.rowAt(0)[0].toString(), QString(letter));
            }
        } else if (box == QLatin1String("EditVal")) {
            f.expectSilence(); // a fresh registry: nothing to remove, nothing to ask
            auto [first, last] = ValidationRegistry::splitCardText(typed);
            last = std::max(first, last);
            if (typed.isEmpty() || first == 0) {
                QCOMPARE(vali.recordCount(), 0);
                QCOMPARE(f.box(box)->text(), typed); // kept for correction
            } else if (last > 2000) {
                QCOMPARE(vali.recordCount(), std::max(0, 2000 - first + 1));
                QCOMPARE(f.box(box)->text(), typed);
                QCOMPARE(f.text(QStringLiteral("LabelUltval")), QString()); // not refreshed
            } else {
                QCOMPARE(vali.recordCount(), last - first + 1);
                QCOMPARE(f.box(box)->text(), QString());
                QCOMPARE(f.text(QStringLiteral("LabelUltval")), QString::number(last));
            }
        } else {
            const int ticket = strictIntOrZero(typed);
            if (typed.isEmpty()) {
                f.expectSilence();
                QCOMPARE(valiC.recordCount(), 0);
            } else if (ticket < 1 || ticket > 12000) {
                f.expectSilence();
                QCOMPARE(valiC.recordCount(), 0);
            } else if (CardOfTicket(ticket) > 2) {
                f.expectMessage(QStringLiteral("Devolução de cartão"),
                                QStringLiteral("Cartela %1 não validada. Não há cartão a devolver.")
                                    .arg(CardOfTicket(ticket)));
                QCOMPARE(valiC.recordCount(), 0);
            } else {
                f.expectSilence();
                QCOMPARE(valiC.recordCount(), 1);
                QCOMPARE(valiC.rowAt(0)[1].toInt(), ticket);
            }
            QCOMPARE(f.box(box)->text(), QString());
        }
        // What the panel shows is what is on disk.
        QCOMPARE(recordsIn(f.file("Validadas.cds")), vali.recordCount());
        QCOMPARE(recordsIn(f.file("Cartoes.cds")), valiC.recordCount());
    }

    // "Gera" with one hostile box and the others sound: series A, cards 1 to
    // 9, 3 per sheet, fill X; after an earlier export a refused one must keep.
    void exportPanel_data() { hostileRows(kExportBoxes); }
    void exportPanel()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(How, how);
        Fixture f;
        auto fillIn = [&] {
            f.window->Exportaodobancodedados1Click();
            f.set("EditSerieG", QStringLiteral("A"));
            f.set("EditCIG", QStringLiteral("1"));
            f.set("EditCFG", QStringLiteral("9"));
            f.set("EditCPF", QStringLiteral("3"));
            f.set("EditSimbolo", QStringLiteral("X"));
        };
        fillIn();
        f.press("ButtonGera");
        const QByteArray csvBefore = readBytes(f.file(CardExport::kFileName));
        const QByteArray tableBefore = readBytes(f.file(CardExport::kTableFileName));
        QCOMPARE(csvBefore.count("\r\n"), 4);

        fillIn();
        enterText(f.box(box), text, how);
        QTest::keyClick(f.box(box), Qt::Key_Return);
        f.press("ButtonGera");
        f.expectSoundFiles();

        const QString firstText = f.box(QStringLiteral("EditCIG"))->text().trimmed();
        const QString lastText = f.box(QStringLiteral("EditCFG"))->text().trimmed();
        const std::optional<int> first = firstText.isEmpty() ? 0 : parseStrictInt(firstText);
        const std::optional<int> last = lastText.isEmpty() ? 0 : parseStrictInt(lastText);
        const std::optional<int> perSheet = parseStrictInt(f.box(QStringLiteral("EditCPF"))->text());
        QString fill = f.box(QStringLiteral("EditSimbolo"))->text().trimmed().left(2);
        while (fill.endsWith(QLatin1Char(' ')))
            fill.chop(1);
        // A fill that would break the file's fields or that Windows-1252 cannot hold is refused.
        const bool fillRefused = std::any_of(fill.begin(), fill.end(), [](QChar c) {
            return c < QLatin1Char(' ') || c == QChar(0x7f) || c == QLatin1Char(';') || c == QLatin1Char('"') ||
                   (c >= QChar(0x80) && c < QChar(0xa0)) || c > QChar(0xff);
        });
        bool written = false;
        if (!seriesRun(f.box(QStringLiteral("EditSerieG"))->text())) {
            f.expectMessage(kSeriesCaption, kSeriesText);
        } else if (!first || !last) {
            // The standard conversion error, naming the text.
            QCOMPARE(f.prompter.shown.size(), 1);
            QCOMPARE(f.prompter.shown[0].icon, MessageIcon::Error);
            QVERIFY(f.prompter.shown[0].text.contains((first ? lastText : firstText).left(20)));
        } else if (*last < *first || *first <= 0) {
            f.expectSilence();
        } else if (*first > std::min(*last, 2000)) {
            f.expectMessage(kRangeCaption, kRangeText);
        } else if (fillRefused) {
            QCOMPARE(f.prompter.shown.size(), 1);
            QCOMPARE(f.prompter.shown[0].caption, QStringLiteral("Preenchimento das casas vazias"));
        } else {
            f.expectSilence();
            written = true;
            const int cards = std::min(*last, 2000) - *first + 1;
            const int per = perSheet && *perSheet >= 1 && *perSheet <= 9 ? *perSheet : 1;
            const QByteArray csv = readBytes(f.file(CardExport::kFileName));
            QCOMPARE(csv.count("\r\n"), 1 + (cards + per - 1) / per);
            QVERIFY(csv.endsWith(";\r\n"));
            QCOMPARE(recordsIn(f.file(CardExport::kTableFileName)), cards);
        }
        QCOMPARE(f.get(QStringLiteral("PanelTexto"))->isVisible(), !written);
        if (!written) {
            QCOMPARE(readBytes(f.file(CardExport::kFileName)), csvBefore);
            QCOMPARE(readBytes(f.file(CardExport::kTableFileName)), tableBefore);
        }
    }

    // Enter in a box of the card check panel, after card A-1 was shown.
    void cardCheckPanel_data() { hostileRows(kCardCheckBoxes); }
    void cardCheckPanel()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        QFETCH(How, how);
        Fixture f;
        f.enter();
        f.click(QStringLiteral("ButtonConfCart"));
        f.set("EditCSerie", QStringLiteral("A"));
        f.set("EditConf", QStringLiteral("1"));
        QTest::keyClick(f.box(QStringLiteral("EditConf")), Qt::Key_Return);
        auto labels = [&] {
            QStringList out;
            for (int i = 1; i <= 6; ++i)
                out << f.text(QStringLiteral("LabelC%1").arg(i));
            return out;
        };
        auto firstRow = [&] {
            QStringList out;
            for (int c = 1; c <= 9; ++c)
                out << f.text(QStringLiteral("C1%1").arg(c));
            return out;
        };
        auto labelsOf = [](int card) {
            QStringList out;
            for (int i = 1; i <= 6; ++i)
                out << QStringLiteral("Cartão %1").arg(TicketNumber(card, i));
            return out;
        };
        const QStringList cardA1Row = firstRow();
        QCOMPARE(cardA1Row, (QStringList{"", "", "24", "", "40", "51", "", "70", "87"}));

        enterText(f.box(box), text, how);
        QTest::keyClick(f.box(box), Qt::Key_Return);
        f.expectSoundFiles();
        const QString typed = f.box(box)->text();
        if (box == QLatin1String("EditConf")) {
            f.expectSilence();
            const std::optional<int> card = parseStrictInt(typed.trimmed());
            if (card && *card >= 1 && *card <= 2000) {
                QCOMPARE(labels(), labelsOf(*card));
            } else { // silently refused: the panel as it was
                QCOMPARE(labels(), labelsOf(1));
                QCOMPARE(firstRow(), cardA1Row);
            }
        } else {
            // Any series text other than B to L is series A; series B to L
            // have no cards in this folder, which the panel says.
            const QChar letter = firstLetter(typed);
            if (letter >= QLatin1Char('B') && letter <= QLatin1Char('L')) {
                QCOMPARE(f.prompter.shown.size(), 1);
            } else {
                f.expectSilence();
                QCOMPARE(firstRow(), cardA1Row);
            }
            QCOMPARE(labels(), labelsOf(1));
            QCOMPARE(f.window->focusWidget(), f.box(QStringLiteral("EditConf")));
        }
    }

private:
    const QStringList kIssueBoxes = {"EditSimb", "EditSerie", "EditCartin", "EditCartfin"};
    const QStringList kValidationBoxes = {"EditSer", "EditVal", "EditValC"};
    const QStringList kExportBoxes = {"EditSerieG", "EditCIG", "EditCFG", "EditCPF", "EditSimbolo"};
    const QStringList kCardCheckBoxes = {"EditCSerie", "EditConf"};
};

QTEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
