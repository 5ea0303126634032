#include "TestSupport.h"
#include "dataset/Dataset.h"
#include "dataset/DatasetFile.h"
#include "dataset/StrictInt.h"
#include "dataset/AtomicFile.h"

#include <sqlite3.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace bolaris;

namespace {

void defineRegistry(Dataset &d, const QString &dir, const QString &file = QStringLiteral("Validadas.cds"))
{
    d.setDirectory(dir);
    d.setFileName(file);
    d.clearFieldDefs();
    d.addFieldDef(QStringLiteral("Serie"), FieldType::String, 1);
    d.addFieldDef(QStringLiteral("Numero"), FieldType::Integer);
    d.setIndexFieldNames(QStringLiteral("Serie;Numero"));
}

void add(Dataset &d, const QString &serie, int numero)
{
    d.append();
    d.setValue(QStringLiteral("Serie"), serie);
    d.setValue(QStringLiteral("Numero"), numero);
    d.post();
}

QStringList contents(Dataset &d)
{
    QStringList out;
    for (d.first(); !d.eof(); d.next())
        out << d.asString(QStringLiteral("Serie")) + QString::number(d.asInteger(QStringLiteral("Numero")));
    return out;
}

// Runs SQL on a file directly, as a hostile or careless writer would.
void runSql(const QString &path, const QByteArray &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// A good two-field dataset file with one record.
QString goodFile(const QTemporaryDir &dir, const QString &name = QStringLiteral("Validadas.cds"))
{
    Dataset d(QStringLiteral("TableVali"));
    defineRegistry(d, dir.path(), name);
    d.open();
    add(d, QStringLiteral("A"), 1);
    d.close();
    return QDir(dir.path()).filePath(name);
}

quint64 inode(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

} // namespace

class TestDataset : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void strictIntegers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("30") << "30" << true << 30;
        QTest::newRow("leading blank") << " 12" << true << 12;
        QTest::newRow("trailing blank") << "12 " << false << 0;
        QTest::newRow("minus") << "-5" << true << -5;
        QTest::newRow("plus") << "+7" << true << 7;
        QTest::newRow("zero") << "0" << true << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("blank") << " " << false << 0;
        QTest::newRow("sign only") << "-" << false << 0;
        QTest::newRow("letters") << "abc" << false << 0;
        QTest::newRow("range") << "30-47" << false << 0;
        QTest::newRow("too big") << "99999999999" << false << 0;
    }
    void strictIntegers()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        const std::optional<int> parsed = parseStrictInt(text);
        QCOMPARE(parsed.has_value(), ok);
        QCOMPARE(strictIntOrZero(text), value);
    }

    // Stored strings lose trailing blanks, empty stays empty (not missing),
    // and the field definitions travel with the file.
    void roundTrip()
    {
        QTemporaryDir dir;
        {
            Dataset d(QStringLiteral("T"));
            d.setDirectory(dir.path());
            d.setFileName(QStringLiteral("t.cds"));
            d.addFieldDef(QStringLiteral("Numero"), FieldType::Integer, 0, true);
            d.addFieldDef(QStringLiteral("N11"), FieldType::String, 2);
            d.createDataset();
            const QStringList values = {QStringLiteral("9 "), QString(), QStringLiteral("XYZ"), QStringLiteral(" *")};
            for (int i = 0; i < values.size(); ++i) {
                d.append();
                d.setValue(QStringLiteral("Numero"), QString::number(i + 1));
                d.setValue(QStringLiteral("N11"), values[i]);
                d.post();
            }
            d.close();
        }
        Dataset r(QStringLiteral("R"));
        r.setDirectory(dir.path());
        r.setFileName(QStringLiteral("T.CDS"));
        r.open();
        QCOMPARE(r.fieldDefs().size(), size_t(2));
        QCOMPARE(r.fieldDefs()[0], (FieldDef{QStringLiteral("Numero"), FieldType::Integer, 0, true}));
        QCOMPARE(r.fieldDefs()[1], (FieldDef{QStringLiteral("N11"), FieldType::String, 2, false}));
        QStringList got;
        for (r.first(); !r.eof(); r.next()) {
            const QVariant v = r.value(QStringLiteral("N11"));
            QVERIFY(v.isValid() && !v.isNull());
            got << v.toString();
        }
        QCOMPARE(got, (QStringList{QStringLiteral("9"), QString(), QStringLiteral("XY"), QStringLiteral(" *")}));
    }

    // A read of the records holding one number in a field keeps file order;
    // a value written as text by another program is matched as the number
    // it stands for, and a field that does not exist reads every record.
    void readWhereAFieldHoldsANumber()
    {
        QTemporaryDir dir;
        Dataset d(QStringLiteral("TableVali"));
        defineRegistry(d, dir.path());
        d.setIndexFieldNames({});
        d.open();
        for (const auto &[serie, numero] : {std::pair{"C", 7}, {"A", 3}, {"B", 7}, {"D", 70}})
            add(d, QString::fromLatin1(serie), numero);
        d.close();
        const QString path = QDir(dir.path()).filePath(QStringLiteral("Validadas.cds"));
        runSql(path, "INSERT INTO records VALUES('E', '7')");
        const auto read = [&](std::optional<DatasetFile::Where> where) {
            QStringList out;
            DatasetFile::forEachRow(
                path, [&](const Row &row) { out << row[0].toString() + row[1].toString(); }, nullptr, where);
            return out;
        };
        QCOMPARE(read(DatasetFile::Where{1, 7}), (QStringList{"C7", "B7", "E7"}));
        QCOMPARE(read(DatasetFile::Where{1, 5}), QStringList());
        QCOMPARE(read(DatasetFile::Where{9, 7}).size(), 5);
    }

    void closeWritesOnlyWhenNeeded()
    {
        QTemporaryDir dir;
        Dataset d(QStringLiteral("TableVali"));
        defineRegistry(d, dir.path());
        const QString path = QDir(dir.path()).filePath(QStringLiteral("Validadas.cds"));
        d.open();
        d.close(); // no file yet: written
        QVERIFY(QFile::exists(path));
        const quint64 written = inode(path);
        d.open();
        d.close(); // unchanged: left alone
        QCOMPARE(inode(path), written);
        d.open();
        add(d, QStringLiteral("B"), 3);
        d.close();
        QVERIFY(inode(path) != written);
        d.open();
        QCOMPARE(contents(d), QStringList{QStringLiteral("B3")});
    }

    void orderingAndUniqueIndex()
    {
        QTemporaryDir dir;
        Dataset d(QStringLiteral("TableVali"));
        defineRegistry(d, dir.path());
        d.open();
        d.addIndex(QStringLiteral("Validadas"), QStringLiteral("Serie;Numero"), Dataset::Primary | Dataset::Unique);
        add(d, QStringLiteral("B"), 10);
        add(d, QStringLiteral("A"), 2);
        add(d, QStringLiteral("B"), 9);
        QCOMPARE(d.asInteger(QStringLiteral("Numero")), 9); // cursor on the posted record
        QCOMPARE(contents(d), (QStringList{"A2", "B9", "B10"}));
        try {
            add(d, QStringLiteral("B"), 9);
            QFAIL("duplicate key accepted");
        } catch (const DatasetError &e) {
            QVERIFY(e.message().contains(QStringLiteral("key violation")));
        }
        d.cancel();
        QCOMPARE(d.recordCount(), 3);

        QVERIFY(d.locate(QStringLiteral("Serie;Numero"), {QStringLiteral("B"), 10}));
        QCOMPARE(d.recNo(), 2);
        QVERIFY(!d.locate(QStringLiteral("Serie;Numero"), {QStringLiteral("C"), 10}));
        QVERIFY(d.locate(QStringLiteral("Numero"), {9}));
        QCOMPARE(d.asString(QStringLiteral("Serie")), QStringLiteral("B"));
        QVERIFY(d.findNearest({QStringLiteral("B"), 5}));
        QCOMPARE(d.asInteger(QStringLiteral("Numero")), 9);
        QVERIFY(!d.findNearest({QStringLiteral("C")}));
        QVERIFY(d.eof());

        // A unique index over data that already repeats a key is refused.
        add(d, QStringLiteral("C"), 9);
        QVERIFY_THROWS_EXCEPTION(DatasetError,
                                 d.addIndex(QStringLiteral("ByNumero"), QStringLiteral("Numero"), Dataset::Unique));
    }

    void deleteMovesToNextAndRunsBeforeDelete()
    {
        QTemporaryDir dir;
        Dataset d(QStringLiteral("TableVali"));
        defineRegistry(d, dir.path());
        d.open();
        for (int i = 1; i <= 4; ++i)
            add(d, QStringLiteral("A"), i);
        QStringList seen;
        d.beforeDelete = [&](Dataset &ds) { seen << QString::number(ds.asInteger(QStringLiteral("Numero"))); };
        d.first();
        d.next();
        d.deleteRecord();
        QCOMPARE(d.asInteger(QStringLiteral("Numero")), 3);
        QVERIFY(!d.eof());
        d.last();
        d.deleteRecord();
        QCOMPARE(d.asInteger(QStringLiteral("Numero")), 3);
        QCOMPARE(seen, (QStringList{"2", "4"}));
        // A throwing handler stops the deletion.
        d.beforeDelete = [](Dataset &) { throw DatasetError(QStringLiteral("no")); };
        QVERIFY_THROWS_EXCEPTION(DatasetError, d.deleteRecord());
        QCOMPARE(d.recordCount(), 2);
        d.beforeDelete = nullptr;
        while (!d.isEmpty()) {
            d.first();
            d.deleteRecord();
        }
        QVERIFY(d.eof());
    }

    void fieldErrors()
    {
        QTemporaryDir dir;
        Dataset d(QStringLiteral("TableVali"));
        defineRegistry(d, dir.path());
        d.open();
        d.append();
        QVERIFY_THROWS_EXCEPTION(DatasetError, d.setValue(QStringLiteral("Numero"), QStringLiteral("12a")));
        QVERIFY_THROWS_EXCEPTION(DatasetError, d.setValue(QStringLiteral("Nope"), 1));
        d.cancel();
        QVERIFY_THROWS_EXCEPTION(DatasetError, d.setValue(QStringLiteral("Numero"), 1));
    }

    // A file that is not a dataset, or is damaged, is named in the error and
    // never touched.
    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << QByteArray("Serie;Numero\nA;1\n");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("foreign sqlite") << QByteArray("SQLite format 3");
    }
    void damagedFiles()
    {
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("validadas.CDS"));
        test::writeBytes(path, bytes);
        Dataset d(QStringLiteral("TableVali"));
        defineRegistry(d, dir.path());
        d.setDurable(true);
        try {
            d.open();
            QFAIL("opened a damaged file");
        } catch (const DatasetError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("validadas.CDS")), qPrintable(e.message()));
        }
        QVERIFY(!d.isOpen());
        QCOMPARE(test::readBytes(path), bytes);
    }

    void foreignSqliteDatabaseIsRefused()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("x.cds"));
        // A well-formed SQLite file that is not ours.
        Dataset other(QStringLiteral("O"));
        other.setDirectory(dir.path());
        other.setFileName(QStringLiteral("y.cds"));
        other.addFieldDef(QStringLiteral("A"), FieldType::Integer);
        other.createDataset();
        other.close();
        QFile::copy(QDir(dir.path()).filePath(QStringLiteral("y.cds")), path);
        QByteArray bytes = test::readBytes(path);
        bytes[68] = 0; // clear the application id
        test::writeBytes(path, bytes);
        QVERIFY_THROWS_EXCEPTION(DatasetError, DatasetFile::load(path));
        QCOMPARE(test::readBytes(path), bytes);
    }

    // Only a file of the facility's own making is read: anything that could
    // make SQLite run the file's own code (a view, a trigger) is refused
    // before a record is read, as damage.
    void craftedFiles_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::newRow("records a recursive view")
            << QByteArray("DROP TABLE records; CREATE VIEW records AS WITH RECURSIVE r(f0, f1) AS "
                          "(SELECT 'A', 1 UNION ALL SELECT 'A', f1 + 1 FROM r) SELECT * FROM r;");
        QTest::newRow("fields a view")
            << QByteArray("CREATE TABLE f2 AS SELECT * FROM fields; DROP TABLE fields;"
                          "CREATE VIEW fields AS SELECT * FROM f2;");
        QTest::newRow("trigger")
            << QByteArray("CREATE TRIGGER t AFTER INSERT ON records BEGIN DELETE FROM records; END;");
        QTest::newRow("index") << QByteArray("CREATE INDEX i ON records(f0);");
        QTest::newRow("extra table") << QByteArray("CREATE TABLE extra(x);");
        QTest::newRow("no fields table") << QByteArray("DROP TABLE fields;");
        QTest::newRow("extra record column") << QByteArray("ALTER TABLE records ADD COLUMN f2;");
        QTest::newRow("renamed column") << QByteArray("ALTER TABLE records RENAME COLUMN f1 TO g1;");
        QTest::newRow("foreign application id") << QByteArray("PRAGMA application_id=7;");
    }
    void craftedFiles()
    {
        QFETCH(QByteArray, sql);
        QTemporaryDir dir;
        const QString path = goodFile(dir);
        runSql(path, sql);
        const QByteArray bytes = test::readBytes(path);
        for (int attempt = 0; attempt < 3; ++attempt) {
            try {
                if (attempt == 0)
                    DatasetFile::load(path);
                else if (attempt == 1)
                    DatasetFile::forEachRow(path, [](const Row &) {});
                else
                    DatasetFile file(path); // the live connection of durable datasets
                QFAIL("a crafted file was read");
            } catch (const DatasetError &e) {
                QCOMPARE(e.kind(), DatasetError::Kind::Damaged);
                QVERIFY2(e.message().startsWith(QStringLiteral("Validadas.cds: ")), qPrintable(e.message()));
            }
        }
        QCOMPARE(test::readBytes(path), bytes);
    }

    // A file another program holds locked is not damaged: it cannot be read now.
    void lockedFileIsUnavailable()
    {
        QTemporaryDir dir;
        const QString path = goodFile(dir);
        sqlite3 *holder = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &holder);
        const char *hold = "BEGIN EXCLUSIVE; INSERT INTO records VALUES('B', 2);";
        QCOMPARE(sqlite3_exec(holder, hold, nullptr, nullptr, nullptr), SQLITE_OK);
        try {
            DatasetFile::load(path);
            QFAIL("read a locked file");
        } catch (const DatasetError &e) {
            QCOMPARE(e.kind(), DatasetError::Kind::Unavailable);
            QVERIFY2(e.message().contains(QStringLiteral("locked")), qPrintable(e.message()));
        }
        sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(holder);
        QCOMPARE(DatasetFile::load(path).rows.size(), size_t(1));
    }

    // The file is replaced only by a complete, synced copy; a failure or a
    // writer that gives up leaves it as it was and no temporary behind.
    void atomicFile()
    {
        test::SmallDisk disk(256);
        SKIP_WITHOUT_DISK(disk);
        const QString path = disk.file(QStringLiteral("o.pdf"));
        test::writeBytes(path, "old");
        {
            AtomicFile file(path);
            QVERIFY(file.open());
            QCOMPARE(file.write("new"), qint64(3));
            QVERIFY(file.commit());
        }
        QCOMPARE(test::readBytes(path), QByteArray("new"));
        {
            AtomicFile file(path);
            QVERIFY(file.open());
            file.write("given up");
        }
        QCOMPARE(test::readBytes(path), QByteArray("new"));
        QCOMPARE(disk.files(), QStringList{"o.pdf"});

        disk.fillUp(16 * 1024);
        AtomicFile full(path);
        QVERIFY(full.open());
        full.write(QByteArray(100 * 1024, 'x'));
        QVERIFY(!full.commit());
        QCOMPARE(full.failure().code, ENOSPC);
        QCOMPARE(full.failure().portuguese(), QStringLiteral("O arquivo o.pdf não foi gravado: o disco está cheio."));
        QCOMPARE(test::readBytes(path), QByteArray("new"));
        QCOMPARE(disk.files(), QStringList{"o.pdf"});

        // A dataset save on the full disk fails the same way.
        Dataset d(QStringLiteral("TableCart"));
        d.setDirectory(disk.path());
        d.setFileName(QStringLiteral("o.pdf"));
        d.addFieldDef(QStringLiteral("Todas"), FieldType::String, 200);
        d.createDataset();
        for (int i = 0; i < 200; ++i) {
            d.append();
            d.setValue(0, QString(180, QLatin1Char('7')));
            d.post();
        }
        try {
            d.close();
            QFAIL("saved on a full disk");
        } catch (const DatasetError &e) {
            QCOMPARE(e.kind(), DatasetError::Kind::NotWritten);
        }
        QCOMPARE(test::readBytes(path), QByteArray("new"));
        QCOMPARE(disk.files(), QStringList{"o.pdf"});

        QVERIFY(disk.makeReadOnly());
        AtomicFile readOnly(path);
        QVERIFY(!readOnly.open());
        QCOMPARE(readOnly.failure().code, EROFS);
    }

    // Temporaries whose writer died are removed; a live writer's is not, nor
    // anything that is not ours.
    void staleTemporaries()
    {
        QTemporaryDir dir;
        AtomicFile live(QDir(dir.path()).filePath(QStringLiteral("cartelas.cds")));
        QVERIFY(live.open());
        const QStringList dead = {".o.pdf.bolaris-0badf00d.tmp", ".cartelas.cds.1234abcd.tmp",
                                  ".cartelas.cds.1234abcd.tmp-journal", ".o.pdf.89abcdef.part"};
        const QStringList foreign = {".notes.txt", "o.pdf.bolaris-00000000.tmp", ".o.txt.12345678.part"};
        for (const QString &name : dead + foreign)
            test::writeBytes(QDir(dir.path()).filePath(name), "x");
        QCOMPARE(AtomicFile::removeStale(dir.path()), int(dead.size()));
        QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY(left.removeOne(QFileInfo(live.tempPath()).fileName()));
        QStringList expected = foreign;
        expected.sort();
        QCOMPARE(left, expected);
        QVERIFY(live.commit());
    }

    // In durable mode every change is in the file before the call returns.
    void durableCommits()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath(QStringLiteral("Validadas.cds"));
        Dataset d(QStringLiteral("TableVali"));
        defineRegistry(d, dir.path());
        d.setDurable(true);
        d.open();
        QVERIFY(QFile::exists(path));
        add(d, QStringLiteral("A"), 1);
        QCOMPARE(DatasetFile::load(path).rows.size(), size_t(1));
        {
            Dataset::Batch batch(d);
            add(d, QStringLiteral("A"), 2);
            add(d, QStringLiteral("A"), 3);
            d.first();
            d.deleteRecord();
            batch.commit();
        }
        const DatasetFile::Content c = DatasetFile::load(path);
        QCOMPARE(c.rows.size(), size_t(2));
        QCOMPARE(c.rows[0][1].toInt(), 2);
        d.first();
        d.edit();
        d.setValue(QStringLiteral("Numero"), 20);
        d.post();
        QCOMPARE(DatasetFile::load(path).rows[0][1].toInt(), 20);
        d.close();

        Dataset again(QStringLiteral("TableVali"));
        defineRegistry(again, dir.path());
        again.setDurable(true);
        again.open();
        QCOMPARE(contents(again), (QStringList{"A3", "A20"}));

        // Deleting every record at once: in the file when the batch commits,
        // without the per-record event, and the keys free again.
        bool eventRan = false;
        again.beforeDelete = [&](Dataset &) { eventRan = true; };
        {
            Dataset::Batch batch(again);
            again.deleteAll();
            QVERIFY(again.isEmpty());
            QVERIFY(again.eof());
            batch.commit();
        }
        QVERIFY(!eventRan);
        QVERIFY(DatasetFile::load(path).rows.empty());
        add(again, QStringLiteral("A"), 3);
        QCOMPARE(DatasetFile::load(path).rows.size(), size_t(1));
    }
};

QTEST_GUILESS_MAIN(TestDataset)
#include "tst_dataset.moc"
