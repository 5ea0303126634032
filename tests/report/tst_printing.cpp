#include "issue/IssueFixture.h"
#include "report/PreviewWindow.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace bolaris;

// Printing goes through the system's print service: a CUPS queue that prints
// into PDF files ($HOME/PDF), set up by scripts/printer.sh.
class TestPrinting : public QObject {
    Q_OBJECT
private Q_SLOTS:
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
