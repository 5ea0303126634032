#include "TestSupport.h"
#include "cards/CardStore.h"
#include "cards/SeriesA.h"
#include "dataset/Dataset.h"

#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace bolaris;

namespace {

QString text(std::string_view s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }

// A sound card text other than the one a slot holds by default.
QString otherCard(int variant) { return text(SeriesACard(3 + variant)); }

} // namespace

class TestCardStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void withoutFile()
    {
        QTemporaryDir dir;
        CardStore store;
        QVERIFY(store.card('A', 1).empty());
        const CardStore::FillResult r = store.FillCardStore(dir.path());
        QVERIFY(r.error.isEmpty());
        QCOMPARE(text(store.table().entry(1)), text(SeriesACard(1)));
        QCOMPARE(text(store.table().entry(2000)), text(SeriesACard(2000)));
        QVERIFY(store.table().entry(2001).empty());
        QVERIFY(store.table().entry(24000).empty());
        QVERIFY(store.table().entry(0).empty());
        QVERIFY(store.table().entry(24001).empty());
    }

    // Records apply in file order after series A; bad records are stored nowhere.
    void recordsOfTheFile()
    {
        QTemporaryDir dir;
        const QString c1 = otherCard(1), c2 = otherCard(2), c3 = otherCard(3);
        const QString longText = c1 + QStringLiteral("12345678901234567890");
        test::writeCardFile(dir.path(), {{2001, c1},
                                {5, c2},
                                {3000, c1},
                                {3000, c3},
                                {2002, longText},
                                {0, c1},
                                {24001, c1},
                                {QVariant(), c1},
                                {2003, QVariant()},
                                {2004, QString()}},
                   QStringLiteral("COMPL22.CDS"));
        CardStore store;
        QVERIFY(store.FillCardStore(dir.path()).fileRead);
        QCOMPARE(text(store.card('B', 1)), c1);
        QCOMPARE(text(store.card('A', 5)), c2);
        QCOMPARE(text(store.table().entry(3000)), c3);
        QCOMPARE(text(store.table().entry(2002)), c1); // cut to 180
        QVERIFY(store.table().entry(2003).empty());
        QVERIFY(store.table().entry(2004).empty());
        QVERIFY(store.table().entry(2005).empty());
        QCOMPARE(text(store.card('A', 4)), text(SeriesACard(4)));

        // Unchanged file: nothing read again, same contents; A-5 still overridden.
        const CardStore::FillResult again = store.FillCardStore(dir.path());
        QVERIFY(!again.fileRead);
        QCOMPARE(text(store.card('A', 5)), c2);
        QCOMPARE(text(store.card('B', 1)), c1);
    }

    // A changed file is read again; a removed one leaves B to L as last loaded
    // and gives series A back its own cards.
    void changedAndRemovedFile()
    {
        QTemporaryDir dir;
        const QString c1 = otherCard(1), c2 = otherCard(2);
        test::writeCardFile(dir.path(), {{2001, c1}, {7, c1}});
        CardStore store;
        store.FillCardStore(dir.path());
        QCOMPARE(text(store.card('A', 7)), c1);

        test::writeCardFile(dir.path(), {{2001, c2}});
        QVERIFY(store.FillCardStore(dir.path()).fileRead);
        QCOMPARE(text(store.card('B', 1)), c2);
        QCOMPARE(text(store.card('A', 7)), text(SeriesACard(7)));

        test::writeCardFile(dir.path(), {{7, c1}});
        store.FillCardStore(dir.path());
        QFile::remove(QDir(dir.path()).filePath(QStringLiteral("compl22.cds")));
        store.FillCardStore(dir.path());
        QCOMPARE(text(store.card('A', 7)), text(SeriesACard(7)));
        QCOMPARE(text(store.card('B', 1)), c2);
    }

    void damagedFile()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("compl22.cds"));
        test::writeBytes(path, "this is not a card file");
        CardStore store;
        const CardStore::FillResult first = store.FillCardStore(dir.path());
        QVERIFY(first.error.contains(QStringLiteral("compl22.cds")));
        QVERIFY(!first.errorRepeated);
        QVERIFY(store.FillCardStore(dir.path()).errorRepeated);
        QCOMPARE(text(store.card('A', 1)), text(SeriesACard(1)));
        QCOMPARE(test::readBytes(path), QByteArray("this is not a card file"));
    }

    // A file whose later pages are damaged fails halfway through its records:
    // none of them is stored, and series B to L keep what the last fill gave.
    void fileDamagedHalfway()
    {
        QTemporaryDir dir;
        const QString c1 = otherCard(1), c2 = otherCard(2);
        test::writeCardFile(dir.path(), {{2001, c1}});
        CardStore store;
        QVERIFY(store.FillCardStore(dir.path()).fileRead);

        std::vector<std::pair<QVariant, QVariant>> records;
        for (int i = 2001; i <= 2200; ++i)
            records.push_back({i, c2});
        test::writeCardFile(dir.path(), records);
        const QString path = QDir(dir.path()).filePath(QStringLiteral("compl22.cds"));
        QByteArray bytes = test::readBytes(path);
        QVERIFY(bytes.size() > 8 * 4096);
        bytes.replace(bytes.size() - 4096, 4096, QByteArray(4096, '\xff')); // the last page of records
        test::writeBytes(path, bytes);

        const CardStore::FillResult damaged = store.FillCardStore(dir.path());
        QVERIFY(damaged.error.contains(QStringLiteral("compl22.cds")));
        QCOMPARE(text(store.card('B', 1)), c1);
        QVERIFY(store.card('B', 2).empty());
        QCOMPARE(text(store.card('A', 1)), text(SeriesACard(1)));
    }
};

QTEST_GUILESS_MAIN(TestCardStore)
#include "tst_cardstore.moc"
