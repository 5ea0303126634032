#include "app/QtTranslations.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace bolaris;

// Qt's own dialogs and buttons speak Portuguese whatever the system's language.
class TestTranslations : public QObject {
    Q_OBJECT
  private Q_SLOTS:
    void initTestCase() {
        if (installQtTranslations(*QCoreApplication::instance()) == 0)
            QSKIP("Qt's translations are not installed (qt6-translations-l10n)");
    }

    void questionButtons() {
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Sim"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')), QStringLiteral("Não"));
        QCOMPARE(box.button(QMessageBox::Ok)->text().remove(QLatin1Char('&')), QStringLiteral("OK"));
    }

    // Texts of the colour, file and print dialogs.
    void dialogTexts_data() {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        for (const auto &[context, source] : std::initializer_list<std::pair<const char *, const char *>>{
                 {"QColorDialog", "Select Color"},
                 {"QColorDialog", "&Basic colors"},
                 {"QPlatformTheme", "Cancel"},
                 {"QPlatformTheme", "Save"},
                 {"QFileDialog", "Look in:"},
                 {"QFileDialog", "File &name:"},
                 {"QPrintDialog", "Print"},
                 {"QPrintDialog", "&Options >>"},
                 {"QPrintWidget", "Printer"},
                 {"QPrintDialog", "Print to File (PDF)"},
                 {"QPrintPropertiesWidget", "Page"},
             })
            QTest::newRow(source) << QString::fromLatin1(context) << QString::fromLatin1(source);
    }
    void dialogTexts() {
        QFETCH(QString, context);
        QFETCH(QString, source);
        const QString translated = QCoreApplication::translate(qPrintable(context), qPrintable(source));
        qInfo() << source << "->" << translated;
        QVERIFY(!translated.isEmpty());
        QVERIFY2(translated != source, qPrintable(source));
    }
};

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
