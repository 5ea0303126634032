#include "IssueFixture.h"
#include "ui/UiBuild.h"
#include "app/UnitMenu.h"
#include "report/Fonts.h"
#include "issue/ColoursPanel.h"
#include "issue/IssuePanel.h"
#include "report/PreviewWindow.h"
#include "report/ReportLayout.h"
#include "ui/EnterKeys.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QPrinter>
#include <QColorDialog>
#include <QTest>
#include <QTimer>

using namespace bolaris;

namespace {

// Records what would be previewed and returns at once, as if closed.
class RecordingPreviews : public PreviewHost {
public:
    struct Shown {
        QString form;
        int pages;
        QString series;
        bool emiteEnabled;
        bool sheetOpen;
        QSizeF paper;
    };
    QList<Shown> shown;
    TFormMenu *window = nullptr;

    void showAndWait(const ReportForm &form, ReportData data) override
    {
        const ReportDefinition &d = form.definition();
        shown.append({form.objectName(), ReportLayout(d.page, d.band, int(data.records.size())).pageCount(),
                      form.label(QStringLiteral("LabelSerie")),
                      window->findChild<QPushButton *>(QStringLiteral("ButtonEmite"))->isEnabled(),
                      window->sheets().TableCart().isOpen(), QSizeF(d.page.width, d.page.length)});
    }
};

// Answers the colour dialog from a list; an empty entry is a cancel. Notes
// the colour each dialog opened on.
class ScriptedColours : public ColourChooser {
public:
    QList<std::optional<QColor>> answers;
    QList<QColor> openedOn;
    std::optional<QColor> choose(QWidget *, const QColor &current) override
    {
        openedOn << current;
        return answers.isEmpty() ? std::nullopt : answers.takeFirst();
    }
};

struct Fixture : test::IssueFixture {
    std::unique_ptr<TFormMenu> window;
    RecordingPreviews *previews;
    ScriptedColours *colours;

    Fixture()
    {
        window = std::make_unique<TFormMenu>(dir.path(), prompter);
        auto host = std::make_unique<RecordingPreviews>();
        previews = host.get();
        previews->window = window.get();
        window->setPreviewHost(std::move(host));
        auto chooser = std::make_unique<ScriptedColours>();
        colours = chooser.get();
        window->setColourChooser(std::move(chooser));
        window->show();
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(window.get(), &activate);
    }
    template <typename T = QLineEdit> T *get(const char *name) { return window->findChild<T *>(QLatin1String(name)); }
    void menu(const char *name) { window->menuBar()->findChild<QAction *>(QLatin1String(name))->trigger(); }
    void request(const QString &fill, const QString &series, const QString &first, const QString &last,
                 const char *model)
    {
        menu("MenuEmissao");
        for (auto [edit, text] : {std::pair{"EditSimb", fill}, std::pair{"EditSerie", series},
                                  std::pair{"EditCartin", first}, std::pair{"EditCartfin", last}}) {
            get(edit)->clear();
            QTest::keyClicks(get(edit), text);
        }
        get<QRadioButton>(model)->setChecked(true);
        QTest::mouseClick(get<QPushButton>("ButtonEmite"), Qt::LeftButton);
    }
};

} // namespace

class TestIssuePanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { installFontSubstitutes(); }

    void panelAtStart()
    {
        Fixture f;
        QVERIFY(f.get<QRadioButton>("Check14")->isChecked());
        QCOMPARE(f.get<QRadioButton>("CheckG")->text(), QStringLiteral("1 por folha com grade  "));
        QCOMPARE(f.get<QRadioButton>("Check1")->text(), QStringLiteral("1 por folha sem grade(para gráfica)"));
        QCOMPARE(f.get<QLabel>("Label7")->text(), QStringLiteral("com 15 números. São emitidas 3 ou 4  "));
        QCOMPARE(f.get("EditSimb")->geometry(), QRect(99, 177, 44, 32));
        QCOMPARE(f.get<QPushButton>("ButtonEmite")->geometry(), QRect(184, 367, 86, 35));
        QStringList order;
        for (QWidget *w = f.get("EditSerie"); order.size() < 14; w = w->nextInFocusChain())
            if (w->focusPolicy() != Qt::NoFocus && f.get<QWidget>("PanelEmissao")->isAncestorOf(w))
                order << w->objectName();
        QCOMPARE(order, (QStringList{"EditSerie", "EditCartin", "EditCartfin", "Check3", "Check4", "Check2", "Check1",
                                     "Check14", "CheckG", "CheckGG", "Check3A4", "ButtonEmite", "ButtonCancela",
                                     "EditSimb"}));
    }

    // Each panel opens with the keyboard in its first entry box; Enter
    // presses the focused button.
    void keyboardOnEntry()
    {
        EnterKeys enterKeys;
        qApp->installEventFilter(&enterKeys);
        Fixture f;
        QApplication::setActiveWindow(f.window.get());
        f.menu("MenuEmissao");
        QCOMPARE(QApplication::focusWidget(), f.get("EditSerie"));
        f.get<QPushButton>("ButtonEmite")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(f.prompter.lastText(), QStringLiteral("Série inválida. Corrija."));
        QTest::keyClick(f.get<QPushButton>("ButtonCancela"), Qt::Key_Enter);
        QVERIFY(!f.get<QWidget>("PanelEmissao")->isVisible());
        f.menu("MenuCores");
        QCOMPARE(QApplication::focusWidget(), f.get<QWidget>("ButtonCorLetra"));
    }

    // Tab reaches the print models at the selected one and leaves the group
    // with the next Tab; arrows move the selection within the group.
    void modelsByKeyboard()
    {
        Fixture f;
        f.menu("MenuEmissao");
        QApplication::setActiveWindow(f.window.get());
        auto focused = [] { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(); };
        f.get("EditCartfin")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focused(), QStringLiteral("Check14"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focused(), QStringLiteral("ButtonEmite"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(focused(), QStringLiteral("Check14"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(focused(), QStringLiteral("Check3"));
        QVERIFY(f.get<QRadioButton>("Check3")->isChecked());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(focused(), QStringLiteral("EditCartfin"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focused(), QStringLiteral("Check3"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // the selection stays
        QVERIFY(f.get<QRadioButton>("Check3")->isChecked());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(focused(), QStringLiteral("ButtonEmite"));
    }

    // "Emite" previews the model's form while the sheet dataset is open and
    // "Emite" disabled; afterwards the dataset is written and closed.
    void emiteOpensThePreview()
    {
        Fixture f;
        f.request(QStringLiteral("*"), QStringLiteral("c"), QStringLiteral("1"), QStringLiteral("2"), "Check3");
        QCOMPARE(f.get("EditSerie")->text(), QStringLiteral("C"));
        QVERIFY(f.prompter.shown.isEmpty());
        QCOMPARE(f.previews->shown.size(), 1);
        const auto shown = f.previews->shown.first();
        QCOMPARE(shown.form, QStringLiteral("TFormCar"));
        QCOMPARE(shown.pages, 1);
        QCOMPARE(shown.series, QStringLiteral("C"));
        QVERIFY(!shown.emiteEnabled);
        QVERIFY(shown.sheetOpen);
        QVERIFY(!f.window->sheets().TableCart().isOpen());
        QVERIFY(f.get<QPushButton>("ButtonEmite")->isEnabled());
        QCOMPARE(DatasetFile::load(f.file(QStringLiteral("cartelas.cds"))).rows.size(), size_t(2));
        // The panel keeps its inputs and model.
        QCOMPARE(f.get("EditCartfin")->text(), QStringLiteral("2"));
        QVERIFY(f.get<QRadioButton>("Check3")->isChecked());
    }

    void derivedDatasetClosedAfterPreview()
    {
        Fixture f;
        f.request({}, QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("1"), "CheckGG");
        QCOMPARE(f.previews->shown.size(), 1);
        QCOMPARE(f.previews->shown.first().pages, 2);
        QVERIFY(!f.window->sheets().TableCartG().isOpen());
        QCOMPARE(DatasetFile::load(f.file(QStringLiteral("CartelasG.cds"))).rows.size(), size_t(2));
    }

    void fourThenOne()
    {
        Fixture f;
        f.request({}, QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("5"), "Check4");
        f.request({}, QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("5"), "Check14");
        QCOMPARE(f.previews->shown[0].pages, 2);
        QCOMPARE(f.previews->shown[0].paper, QSizeF(210, 320));
        QCOMPARE(f.previews->shown[1].pages, 5);
        QCOMPARE(f.previews->shown[1].paper, QSizeF(105, 160));
    }

    void refusedRequest()
    {
        Fixture f;
        f.request({}, QStringLiteral("M"), QStringLiteral("1"), QStringLiteral("1"), "Check3");
        QCOMPARE(f.prompter.lastText(), QStringLiteral("Série inválida. Corrija."));
        QVERIFY(f.previews->shown.isEmpty());
        QVERIFY(!QFile::exists(f.file(QStringLiteral("cartelas.cds"))));
        QVERIFY(f.get<QPushButton>("ButtonEmite")->isEnabled());
    }

    void colours()
    {
        Fixture f;
        const ReportForms &forms = f.window->reportForms();
        // The first "OK" applies the sample's start colours.
        f.menu("MenuCores");
        QVERIFY(f.get<QWidget>("PanelCores")->isVisible());
        QTest::mouseClick(f.get<QPushButton>("ButtonOKCores"), Qt::LeftButton);
        QVERIFY(!f.get<QWidget>("PanelCores")->isVisible());
        QVERIFY(f.window->menuBar()->findChild<QAction *>(QStringLiteral("MenuSair"))->isVisible());
        QCOMPARE(forms.car->definition().frames.front().fill, ui::clBtnFace());
        QCOMPARE(forms.car1->definition().band.font.colour, ui::clWindowText());

        f.menu("MenuCores");
        f.colours->answers = {QColor(Qt::red), QColor(Qt::yellow), std::nullopt};
        QTest::mouseClick(f.get<QPushButton>("ButtonCorLetra"), Qt::LeftButton);
        QTest::mouseClick(f.get<QPushButton>("ButtonCorCartao"), Qt::LeftButton);
        QTest::mouseClick(f.get<QPushButton>("ButtonCorCartao"), Qt::LeftButton); // cancelled: sample kept
        // One dialog for both buttons: it opens on black, then on the colour
        // last confirmed in it by either button.
        QCOMPARE(f.colours->openedOn, (QList<QColor>{QColor(Qt::black), QColor(Qt::red), QColor(Qt::yellow)}));
        auto *panel = f.get<ColoursPanel>("PanelCores");
        QCOMPARE(panel->sampleText(), QColor(Qt::red));
        QCOMPARE(panel->sampleBackground(), QColor(Qt::yellow));
        QTest::mouseClick(f.get<QPushButton>("ButtonOKCores"), Qt::LeftButton);
        int frames = 0;
        for (ReportForm *form : forms.all()) {
            QCOMPARE(form->definition().band.font.colour, QColor(Qt::red));
            for (const ReportFrame &fr : form->definition().frames) {
                QCOMPARE(fr.fill, QColor(Qt::yellow));
                ++frames;
            }
            for (const ReportText &t : form->definition().texts)
                if (!t.bandFont)
                    QVERIFY(t.font.colour != QColor(Qt::red));
        }
        QCOMPARE(frames, 29);
        // Reopened, the sample shows the last choice.
        f.menu("MenuCores");
        QCOMPARE(panel->sampleBackground(), QColor(Qt::yellow));
    }

    // The toolkit's dialog behind the chooser is one object for the run.
    void oneColourDialog()
    {
        QWidget parent;
        DialogColourChooser chooser;
        QList<QObject *> dialogs;
        QList<QColor> openedOn;
        const auto answer = [&](std::optional<QColor> pick) {
            QTimer::singleShot(0, &parent, [&, pick] {
                auto *dialog = qobject_cast<QColorDialog *>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                dialogs << dialog;
                openedOn << dialog->currentColor();
                if (pick) {
                    dialog->setCurrentColor(*pick);
                    dialog->accept();
                } else {
                    dialog->reject();
                }
            });
        };
        answer(QColor(Qt::red));
        QCOMPARE(chooser.choose(&parent, Qt::black), std::optional<QColor>(QColor(Qt::red)));
        answer(std::nullopt);
        QCOMPARE(chooser.choose(&parent, Qt::red), std::optional<QColor>());
        QCOMPARE(dialogs.size(), 2);
        QCOMPARE(dialogs[0], dialogs[1]);
        QCOMPARE(openedOn, (QList<QColor>{QColor(Qt::black), QColor(Qt::red)}));
    }

    // The preview paints one page at a time and saves every page.
    void previewWindow()
    {
        test::IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("7")));
        const PreviewJob job = f.issue.prepareModel(PrintModel::Check3, QStringLiteral("A"), f.forms.forms());
        PreviewWindow preview(job.form->definition(), ReportData::fromDataset(*job.dataset));
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        QCOMPARE(preview.pos(), QPoint(0, 0));
        QCOMPARE(preview.pageCount(), 3);
        auto *label = preview.findChild<QLabel *>(QStringLiteral("LabelPage"));
        QCOMPARE(label->text(), QStringLiteral("Página 1 de 3"));
        QTest::mouseClick(preview.findChild<QPushButton *>(QStringLiteral("ButtonLast")), Qt::LeftButton);
        QCOMPARE(preview.currentPage(), 2);
        QTest::mouseClick(preview.findChild<QPushButton *>(QStringLiteral("ButtonNext")), Qt::LeftButton);
        QCOMPARE(preview.currentPage(), 2);
        QCOMPARE(label->text(), QStringLiteral("Página 3 de 3"));
        const QImage shot = preview.findChild<QWidget *>(QStringLiteral("PreviewPage"))->grab().toImage();
        QVERIFY(shot.pixelColor(shot.width() / 2, shot.height() / 2) != QColor(0x80, 0x80, 0x80));

        const QString pdf = f.file(QStringLiteral("saved.pdf"));
        QVERIFY(preview.saveTo(pdf));
        QCOMPARE(test::pdfPages(pdf).count, 3);
        bool closed = false;
        connect(&preview, &PreviewWindow::closed, [&] { closed = true; });
        QApplication::setActiveWindow(&preview);
        QVERIFY(QTest::qWaitForWindowActive(&preview));
        QTest::keyClick(&preview, Qt::Key_Escape);
        QVERIFY(closed);
    }

    // "Salvar" and printing into a file never replace a good file with a
    // broken one, nor write over the program's data; they say why not.
    void previewSaveFailures()
    {
        test::IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("7")));
        const PreviewJob job = f.issue.prepareModel(PrintModel::Check3, QStringLiteral("A"), f.forms.forms());
        PreviewWindow preview(job.form->definition(), ReportData::fromDataset(*job.dataset));
        preview.setWorkDir(f.dir.path());

        const QString store = f.file(QStringLiteral("compl22.cds"));
        const QByteArray cards = test::readBytes(store);
        QVERIFY(!preview.saveTo(f.dir.path() + QStringLiteral("/COMPL22.CDS")));
        QCOMPARE(preview.problem(), QStringLiteral("O arquivo COMPL22.CDS é um arquivo de dados do Bolaris e não "
                                                   "pode ser substituído. Escolha outro nome."));
        QCOMPARE(test::readBytes(store), cards);

        test::SmallDisk disk(512);
        SKIP_WITHOUT_DISK(disk);
        const QString pdf = disk.file(QStringLiteral("o.pdf"));
        QVERIFY(preview.saveTo(pdf));
        const QByteArray good = test::readBytes(pdf);
        disk.fillUp(4096);
        QVERIFY(!preview.saveTo(pdf));
        const QString full = QStringLiteral("O arquivo o.pdf não foi gravado: o disco está cheio.");
        QCOMPARE(preview.problem(), full);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        QVERIFY(!preview.printTo(printer));
        QCOMPARE(preview.problem(), full);
        QCOMPARE(test::readBytes(pdf), good);
        QCOMPARE(disk.files(), QStringList{"o.pdf"});
    }
};

QTEST_MAIN(TestIssuePanel)
#include "tst_issuepanel.moc"
