#include "ui/Messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace bolaris;

// The program's message boxes through the toolkit's boxes.
class TestMessages : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    // A box is wide enough for its whole caption in the title bar, whatever
    // the length of its text.
    void wholeCaption_data() {
        QTest::addColumn<bool>("question");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("text");
        QTest::newRow("series") << false << "Número da série a emitir"
                                << "Série inválida. Corrija.";
        QTest::newRow("range") << false << "Número das cartelas a emitir"
                               << "Corrija.";
        QTest::newRow("removal") << true << "Exclusão de cartela"
                                 << "Cartela já validada. Exclui da validação?";
    }
    void wholeCaption() {
        QFETCH(bool, question);
        QFETCH(QString, caption);
        QFETCH(QString, text);
        MessageBoxPrompter prompter;
        int width = 0;
        QString title;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            width = box->width();
            title = box->windowTitle();
            box->reject();
        });
        if (question)
            QVERIFY(!prompter.ask(caption, text, false));
        else
            prompter.inform(caption, text, MessageIcon::Information);
        QCOMPARE(title, caption);
        QFont bold = QApplication::font();
        bold.setBold(true);
        // Room for the caption and the title bar's icon and three buttons.
        QVERIFY2(width >= QFontMetrics(bold).horizontalAdvance(caption) + 100,
                 qPrintable(QString::number(width)));
    }

    // Enter, keypad Enter and Esc on a question whose default is No answer No.
    void keysAnswerTheDefault_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("defaultYes");
        QTest::addColumn<bool>("answer");
        QTest::newRow("Enter, default No") << int(Qt::Key_Return) << false << false;
        QTest::newRow("keypad Enter, default No") << int(Qt::Key_Enter) << false << false;
        QTest::newRow("Esc, default No") << int(Qt::Key_Escape) << false << false;
        QTest::newRow("Enter, default Yes") << int(Qt::Key_Return) << true << true;
        QTest::newRow("Esc, default Yes") << int(Qt::Key_Escape) << true << false;
    }
    void keysAnswerTheDefault()
    {
        QFETCH(int, key);
        QFETCH(bool, defaultYes);
        QFETCH(bool, answer);
        MessageBoxPrompter prompter;
        QTimer::singleShot(0, this, [&] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box);
            QTest::keyClick(box, Qt::Key(key));
        });
        QCOMPARE(prompter.ask(QStringLiteral("Exclusão de cartela"),
                              QStringLiteral("Cartela já validada. Exclui da validação?"), defaultYes),
                 answer);
    }
};

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
