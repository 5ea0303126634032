#include "issue/IssueFixture.h"
#include "report/PreviewWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QMessageBox>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPushButton>
#include <QTimer>
#include <QElapsedTimer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace bolaris;

// Printing goes through the system's print service: a CUPS queue that prints
// into PDF files ($HOME/PDF), set up by scripts/printer.sh.
namespace {

// Runs what to do with the modal dialog that the next click opens.
void onNextDialog(const std::function<void(QDialog *)> &handle)
{
    QTimer::singleShot(0, [handle] { handle(qobject_cast<QDialog *>(QApplication::activeModalWidget())); });
}

void click(PreviewWindow &preview, const char *button)
{
    QTest::mouseClick(preview.findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
}

} // namespace

class TestPrinting : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Without a printer, printer set-up and printing say so and open nothing.
    void noPrinter_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("caption");
        QTest::newRow("set-up") << "ButtonSetup" << "Configurar impressora";
        QTest::newRow("print") << "ButtonPrint" << "Imprimir";
    }
    void noPrinter()
    {
        QFETCH(QString, button);
        QFETCH(QString, caption);
        test::IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("1")));
        const PreviewJob job = f.issue.prepareModel(PrintModel::Check3, QStringLiteral("A"), f.forms.forms());
        PreviewWindow preview(job.form->definition(), ReportData::fromDataset(*job.dataset));
        preview.setPrinterNames([] { return QStringList(); });
        QString shownCaption, shownText;
        onNextDialog([&](QDialog *dialog) {
            if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
                shownCaption = box->windowTitle();
                shownText = box->text();
            }
            if (dialog)
                dialog->reject();
        });
        click(preview, qPrintable(button));
        QCOMPARE(shownCaption, caption);
        QCOMPARE(shownText, QStringLiteral("Nenhuma impressora está instalada neste computador."));
    }

    // "Configurar impressora" chooses the printer and keeps it, printing
    // nothing; "Imprimir" opens the print dialog with that choice and prints.
    void setupIsKeptForPrinting()
    {
        test::IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("3")));
        const PreviewJob job = f.issue.prepareModel(PrintModel::Check3, QStringLiteral("A"), f.forms.forms());
        PreviewWindow preview(job.form->definition(), ReportData::fromDataset(*job.dataset));
        preview.setPrinterNames([] { return QStringList{QStringLiteral("Any")}; });
        const QString out = f.file(QStringLiteral("impresso.pdf"));

        QString title, accept;
        onNextDialog([&](QDialog *dialog) {
            QVERIFY(qobject_cast<QPrintDialog *>(dialog));
            title = dialog->windowTitle();
            accept = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->text();
            auto *printers = dialog->findChild<QComboBox *>(QStringLiteral("printers"));
            printers->setCurrentIndex(printers->count() - 1); // printing into a PDF file
            dialog->findChild<QLineEdit *>(QStringLiteral("filename"))->setText(out);
            dialog->accept();
        });
        click(preview, "ButtonSetup");
        QCOMPARE(title, QStringLiteral("Configurar impressora"));
        QCOMPARE(accept, QStringLiteral("OK"));
        QVERIFY(!QFile::exists(out));

        QString chosen;
        onNextDialog([&](QDialog *dialog) {
            QVERIFY(qobject_cast<QPrintDialog *>(dialog));
            title = dialog->windowTitle();
            chosen = dialog->findChild<QLineEdit *>(QStringLiteral("filename"))->text();
            dialog->accept();
        });
        click(preview, "ButtonPrint");
        QCOMPARE(title, QStringLiteral("Imprimir"));
        QCOMPARE(chosen, out);
        QCOMPARE(test::pdfPages(out).count, 1);
        QVERIFY(preview.printerSetup());
    }

    // The save dialog and the print dialog's PDF file propose the folder the
    // previews share, and the folder chosen in either lasts for the run.
    void saveDialogsProposeTheFolder()
    {
        test::IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("1")));
        const PreviewJob job = f.issue.prepareModel(PrintModel::Check3, QStringLiteral("A"), f.forms.forms());
        QTemporaryDir documents, chosen;
        const auto folder = std::make_shared<QString>(documents.path());
        QString proposed;
        const auto saveInto = [&](PreviewWindow &preview, const QString &file) {
            onNextDialog([&, file](QDialog *dialog) {
                auto *files = qobject_cast<QFileDialog *>(dialog);
                QVERIFY(files);
                proposed = files->selectedFiles().value(0);
                files->selectFile(file);
                static_cast<QDialog *>(files)->accept();
            });
            click(preview, "ButtonSave");
        };
        {
            PreviewWindow preview(job.form->definition(), ReportData::fromDataset(*job.dataset));
            preview.setSaveFolder(folder);
            saveInto(preview, QDir(chosen.path()).filePath(QStringLiteral("folhas.pdf")));
            QCOMPARE(proposed, QDir(documents.path()).filePath(QStringLiteral("cartelas.pdf")));
            QCOMPARE(test::pdfPages(QDir(chosen.path()).filePath(QStringLiteral("folhas.pdf"))).count, 1);
            QCOMPARE(*folder, chosen.path());
        }
        PreviewWindow next(job.form->definition(), ReportData::fromDataset(*job.dataset));
        next.setSaveFolder(folder);
        next.setPrinterNames([] { return QStringList{QStringLiteral("Any")}; });
        onNextDialog([&](QDialog *dialog) {
            QVERIFY(qobject_cast<QPrintDialog *>(dialog));
            proposed = dialog->findChild<QLineEdit *>(QStringLiteral("filename"))->text();
            dialog->reject();
        });
        click(next, "ButtonPrint");
        QCOMPARE(proposed, QDir(chosen.path()).filePath(QStringLiteral("cartelas.pdf")));
        saveInto(next, QDir(chosen.path()).filePath(QStringLiteral("outra.pdf")));
        QCOMPARE(proposed, QDir(chosen.path()).filePath(QStringLiteral("cartelas.pdf")));
    }

    void printsThroughCups()
    {
        if (!QPrinterInfo::availablePrinterNames().contains(QStringLiteral("BolarisPDF")))
            QSKIP("no CUPS queue BolarisPDF on this machine");
        test::IssueFixture f;
        QVERIFY(f.build(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("4")));
        const PreviewJob job = f.issue.prepareModel(PrintModel::Check4, QStringLiteral("A"), f.forms.forms());
        PreviewWindow preview(job.form->definition(), ReportData::fromDataset(*job.dataset));

        QPrinter printer(QPrinter::HighResolution);
        printer.setPrinterName(QStringLiteral("BolarisPDF"));
        QCOMPARE(printer.outputFormat(), QPrinter::NativeFormat);
        const QString title = QStringLiteral("bolaristest%1").arg(QCoreApplication::applicationPid());
        printer.setDocName(title);
        QVERIFY(preview.printTo(printer));

        // cups-pdf writes into the PDF folder of the job's user.
        QStringList folders = {QDir::home().filePath(QStringLiteral("PDF"))};
        if (const passwd *user = ::getpwuid(::getuid()))
            folders << QDir(QString::fromLocal8Bit(user->pw_dir)).filePath(QStringLiteral("PDF"));
        folders << QStringLiteral("/var/spool/cups-pdf/ANONYMOUS");
        QString printed;
        QElapsedTimer waited;
        waited.start();
        while (printed.isEmpty() && waited.elapsed() < 30000) {
            for (const QString &folder : folders) {
                QDirIterator it(folder, {title + QStringLiteral("*.pdf")}, QDir::Files);
                if (it.hasNext())
                    printed = it.next();
            }
            if (printed.isEmpty())
                QTest::qWait(200);
        }
        QVERIFY2(!printed.isEmpty(), "the print job did not come out of the queue");
        QTRY_VERIFY_WITH_TIMEOUT(test::pdfPages(printed).count == 1, 10000); // 4 cards on one 210 x 320 sheet
        const QSizeF size = test::pdfPages(printed).sizes.value(0);
        QVERIFY2(qAbs(size.width() - 595) <= 2 && qAbs(size.height() - 907) <= 2,
                 qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
        QFile::remove(printed);
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
