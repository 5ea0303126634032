#include "TestSupport.h"
#include "dataset/DatasetError.h"
#include "dataset/DatasetFile.h"
#include "game/Announcement.h"
#include "game/CompetingSet.h"
#include "game/DrawLog.h"

#include <QProcess>
#include <QStandardPaths>

#include <limits>
#include <map>
#include <QTest>

#include <sqlite3.h>

using namespace bolaris;

namespace {

QStringList kinds(const std::vector<DrawLogWriter::Entry> &entries)
{
    QStringList k;
    for (const auto &e : entries)
        k << e.kind;
    return k;
}

ScanReport lineWon()
{
    ScanReport report;
    report.scanned = true;
    report.lines = {"CARTELA 2 SERIE A", "LINHA. Cartão 7"};
    report.winners = {{2, 'A', 7}};
    report.prizes = {"LINHA"};
    report.fewestLines = {"MenosPontos(3):", "Cartela2 A.Cartão 8"};
    return report;
}

} // namespace

Q_DECLARE_METATYPE(ScanReport)

class TestDrawLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eventsInOrder()
    {
        QTemporaryDir dir;
        {
            DrawLogWriter log(dir.path());
            QVERIFY(log.startDraw(DrawMode::Manual));
            QCOMPARE(log.currentDraw(), 1);
            QVERIFY(log.ball({7, true, DrawMode::Manual, "7"}, {false, true, false}));
            QVERIFY(log.ball({7, false, DrawMode::Manual, "-7"}, {false, true, false}));
            QVERIFY(log.scan(lineWon()));
            QVERIFY(log.endDraw());
            QVERIFY(log.startDraw(DrawMode::Electronic));
            QCOMPARE(log.currentDraw(), 2);
        }
        DrawLogWriter again(dir.path()); // numbers go on from the file
        QVERIFY(again.startDraw(DrawMode::Manual));
        QCOMPARE(again.currentDraw(), 3);

        // The draw the first writer left open is closed as cut short, at the
        // time of its last event, before the next draw starts.
        const auto entries = DrawLog::read(dir.path());
        QCOMPARE(kinds(entries), (QStringList{"inicio", "pedra", "retirada", "anuncio", "fim", "inicio", "fim", "inicio"}));
        QCOMPARE(entries[6].draw, 2);
        QCOMPARE(entries[6].text, QLatin1String(DrawLogWriter::kInterrupted));
        QCOMPARE(entries[6].time, entries[5].time);
        QVERIFY(entries[4].text.isEmpty());
        QCOMPARE(entries[0].mode, QStringLiteral("manual"));
        QCOMPARE(entries[1].ball, 7);
        QCOMPARE(entries[1].switches, (PrizeSwitches{false, true, false}));
        DrawLogAnnouncements announcements;
        QVERIFY(announcements.take(entries[3]));
        QCOMPARE(announcements.current().lines, lineWon().memoLines());
        QCOMPARE(announcements.current().winners,
                 QStringList{DrawLogAnnouncements::winnerText(QStringLiteral("LINHA"), {2, 'A', 7})});
        QCOMPARE(entries[5].mode, QStringLiteral("eletronico"));
        QCOMPARE(entries[5].draw, 2);
        for (size_t i = 1; i < 5; ++i)
            QCOMPARE(entries[i].event, int(i) + 1);
        QVERIFY(!entries[0].time.isEmpty());
        for (const auto &e : entries)
            QCOMPARE(e.seal.size(), 32);
    }

    // Another program reading the log never holds a ball up: the event is
    // written at once beside its reading.
    void neverWaitsForAReader()
    {
        QTemporaryDir dir;
        DrawLogWriter log(dir.path());
        QVERIFY(log.startDraw(DrawMode::Manual));
        sqlite3 *reader = nullptr;
        QCOMPARE(sqlite3_open_v2(QFile::encodeName(QDir(dir.path()).filePath("Sorteios.cds")).constData(), &reader,
                                 SQLITE_OPEN_READONLY, nullptr),
                 SQLITE_OK);
        QCOMPARE(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM records;", nullptr, nullptr, nullptr), SQLITE_OK);
        QElapsedTimer held;
        held.start();
        QVERIFY(log.ball({5, true, DrawMode::Manual, "5"}, {}));
        QVERIFY(held.elapsed() < 1000); // far below the 2 s a waiting write would take
        QCOMPARE(kinds(DrawLog::read(dir.path())), (QStringList{"inicio", "pedra"}));
        sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(reader);
    }

    // Reading the log in the program that writes it (a draw resumed, the
    // minutes) must not let another program take the writer for gone and
    // delete its journal under it: what is written next would be lost.
    void readingBesideTheWriterLosesNothing()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
            QSKIP("needs sqlite3 (scripts/deps.sh installs it)");
        QTemporaryDir dir;
        DrawLogWriter log(dir.path());
        QVERIFY(log.startDraw(DrawMode::Manual));
        QVERIFY(log.ball({5, true, DrawMode::Manual, "5"}, {}));
        QCOMPARE(DrawLog::read(dir.path()).size(), size_t(2)); // read here, beside the writer
        QCOMPARE(QProcess::execute(QStringLiteral("sqlite3"), {QDir(dir.path()).filePath("Sorteios.cds"),
                                                              QStringLiteral("SELECT count(*) FROM records")}),
                 0); // another program reads and closes
        QVERIFY(log.ball({6, true, DrawMode::Manual, "6"}, {}));
        QVERIFY(QFile::exists(QDir(dir.path()).filePath("Sorteios.cds-wal")));
        QCOMPARE(kinds(DrawLog::read(dir.path())), (QStringList{"inicio", "pedra", "pedra"}));
    }

    // Two programs drawing in one folder: each draw gets a number of its own,
    // even when both started before either wrote.
    void twoWritersNeverShareANumber()
    {
        QTemporaryDir dir;
        DrawLogWriter first(dir.path()), second(dir.path());
        QVERIFY(first.startDraw(DrawMode::Manual));
        QVERIFY(second.startDraw(DrawMode::Electronic));
        QVERIFY(first.ball({5, true, DrawMode::Manual, "5"}, {}));
        QVERIFY(second.ball({9, true, DrawMode::Electronic, "9"}, {}));
        QCOMPARE(first.currentDraw(), 1);
        QCOMPARE(second.currentDraw(), 2);
        std::map<int, QList<int>> balls;
        for (const auto &e : DrawLog::read(dir.path()))
            if (e.kind == QLatin1String("pedra"))
                balls[e.draw] << e.ball;
        QCOMPARE(balls, (std::map<int, QList<int>>{{1, {5}}, {2, {9}}}));
    }

    // The last possible draw number is never passed: the draw is refused with
    // a reason instead of wrapping round.
    void drawNumbersUsedUp()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath("Sorteios.cds");
        DatasetFile::save(path, DrawLogWriter::fields(), {});
        {
            DatasetFile file(path);
            Row last(DrawLogWriter::fields().size());
            last[0] = std::numeric_limits<int>::max();
            last[1] = 1;
            last[3] = QStringLiteral("fim");
            file.begin();
            file.insert(last);
            file.commit();
        }
        DrawLogWriter log(dir.path());
        QVERIFY(!log.startDraw(DrawMode::Manual));
        QVERIFY2(log.failurePortuguese().contains(QStringLiteral("maior número")), qPrintable(log.failurePortuguese()));
        QCOMPARE(DrawLog::read(dir.path()).size(), size_t(1));
    }

    // An announcement repeated at later balls (full tickets stay announced)
    // is written once; reading gives every ball's whole announcement back,
    // whether its lines follow from its winners (the scan's own) or not.
    void repeatedAnnouncementsAreWrittenOnce_data()
    {
        QTest::addColumn<QString>("prizeText");
        QTest::newRow("lines of the winners") << QStringLiteral("CARTAO. Cartão %1");
        QTest::newRow("other lines") << QStringLiteral("CARTÃO. Cartão %1");
    }
    void repeatedAnnouncementsAreWrittenOnce()
    {
        QFETCH(QString, prizeText);
        QTemporaryDir dir;
        DrawLogWriter log(dir.path());
        QVERIFY(log.startDraw(DrawMode::Electronic));
        std::vector<ScanReport> scans;
        ScanReport report;
        report.scanned = true;
        for (int n = 1; n <= 40; ++n) {
            // A new full ticket each ball, announced in card order among the others.
            const int card = (n * 37) % 100 + 1;
            qsizetype at = 0;
            while (at < report.winners.size() && report.winners[at].card < card)
                ++at;
            report.winners.insert(at, {card, 'B', card * 6});
            report.prizes.insert(at, QStringLiteral("CARTAO"));
            report.lines.insert(2 * at, QStringLiteral("CARTELA %1 SERIE B").arg(card));
            report.lines.insert(2 * at + 1, prizeText.arg(card * 6));
            scans.push_back(report);
            QVERIFY(log.ball({n, true, DrawMode::Electronic, QString::number(n)}, {}));
            QVERIFY(log.scan(report));
        }
        const auto entries = DrawLog::read(dir.path());
        QCOMPARE(entries.size(), size_t(1 + 2 * 40));
        qsizetype bytes = 0;
        for (const auto &e : entries)
            bytes += e.data.size();
        QVERIFY2(bytes < 40 * 100, qPrintable(QString::number(bytes))); // 820 winners and their lines announced

        const auto announced = [&dir] {
            DrawLogAnnouncements announcements;
            std::vector<DrawLogAnnouncements::Announced> read;
            bool open = false;
            for (const auto &e : DrawLog::read(dir.path())) {
                if (announcements.take(e)) {
                    open = true;
                } else if (open) {
                    read.push_back(announcements.current());
                    open = false;
                }
            }
            if (open)
                read.push_back(announcements.current());
            return std::pair{read, announcements.broken()};
        };
        const auto [read, broken] = announced();
        QVERIFY(!broken);
        QCOMPARE(read.size(), scans.size());
        for (size_t i = 0; i < scans.size(); ++i) {
            QCOMPARE(read[i].lines, scans[i].memoLines());
            QCOMPARE(read[i].winners.size(), scans[i].winners.size());
            QCOMPARE(read[i].winners.last(),
                     DrawLogAnnouncements::winnerText(QStringLiteral("CARTAO"), scans[i].winners.last()));
        }

        log.endDraw();
    }

    // Logs of earlier versions (an announcement as rows of lines, winners and
    // runs repeated, no seals) read as they always did; the first write adds
    // the seal's fields, and the old rows count as unsealed, not as changed.
    void olderLogsStillRead()
    {
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).filePath("Sorteios.cds");
        const auto row = [](int event, const QString &kind, const QVariant &ball = {}) {
            Row r(DrawLogWriter::unsealedFields().size());
            r[0] = 1;
            r[1] = event;
            r[3] = kind;
            r[5] = ball;
            return r;
        };
        std::vector<Row> rows{row(1, "inicio"), row(2, "pedra", 7), row(3, "texto"), row(4, "vencedor"),
                              row(5, "pedra", 8), row(6, "repete", 0), row(7, "repete", 1), row(8, "fim")};
        rows[0][4] = QStringLiteral("manual");
        rows[2][13] = QStringLiteral("CARTELA 2 SERIE A");
        rows[3][9] = QStringLiteral("CARTAO");
        rows[3][10] = 2;
        rows[3][11] = QStringLiteral("A");
        rows[3][12] = 7;
        for (Row *r : {&rows[5], &rows[6]}) {
            (*r)[10] = 0; // from
            (*r)[12] = 1; // count
        }
        rows[6][9] = QStringLiteral("vencedor"); // the oldest form names the list in Premio
        std::vector<const Row *> pointers;
        for (const Row &r : rows)
            pointers.push_back(&r);
        DatasetFile::save(path, DrawLogWriter::unsealedFields(), pointers);

        const auto announced = [&dir] {
            DrawLogAnnouncements announcements;
            QList<DrawLogAnnouncements::Announced> read;
            bool open = false;
            for (const auto &e : DrawLog::read(dir.path())) {
                if (announcements.take(e)) {
                    open = true;
                } else if (open) {
                    read << announcements.current();
                    open = false;
                }
            }
            return read;
        };
        const DrawLogAnnouncements::Announced once{{"CARTELA 2 SERIE A"},
                                                   {DrawLogAnnouncements::winnerText("CARTAO", {2, 'A', 7})}};
        QCOMPARE(announced(), (QList<DrawLogAnnouncements::Announced>{once, once}));

        DrawLogWriter log(dir.path());
        QVERIFY(log.startDraw(DrawMode::Manual));
        QCOMPARE(log.currentDraw(), 2);
        QCOMPARE(DatasetFile::fieldsOf(path), DrawLogWriter::fields());
        QCOMPARE(announced().size(), 2); // the old rows are read as before
        const DrawLogWriter::Check check = DrawLogWriter::verify(dir.path());
        QVERIFY(check.intact);
        QCOMPARE(check.unsealedRows, 8);
        QCOMPARE(check.sealedRows, 1);
    }

    // The seal catches what a tool editing the file changed, removed or put
    // in: the first draw and event at fault are named.
    void sealCatchesEdits_data()
    {
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<int>("draw");
        QTest::addColumn<int>("event");
        QTest::addColumn<int>("fault");
        using Fault = DrawLogWriter::Check::Fault;
        QTest::newRow("as written") << QByteArray() << 0 << 0 << int(Fault::None);
        QTest::newRow("a ball changed") << QByteArray("UPDATE records SET f5 = 45 WHERE f0 = 1 AND f1 = 3") << 1 << 3
                                        << int(Fault::Changed);
        QTest::newRow("a prize switch changed") << QByteArray("UPDATE records SET f7 = 0 WHERE f0 = 2 AND f1 = 2") << 2
                                                << 2 << int(Fault::Changed);
        QTest::newRow("an announcement removed") << QByteArray("DELETE FROM records WHERE f0 = 1 AND f1 = 4") << 1 << 4
                                                 << int(Fault::Removed);
        QTest::newRow("the last row removed, its seal put on the row before")
            << QByteArray("UPDATE records SET f15 = (SELECT f15 FROM records WHERE f0 = 1 AND f1 = 6)"
                          " WHERE f0 = 1 AND f1 = 5; DELETE FROM records WHERE f0 = 1 AND f1 = 6")
            << 1 << 5 << int(Fault::Changed);
        QTest::newRow("a row put in") << QByteArray("INSERT INTO records(f0, f1, f3, f5) VALUES(1, 7, 'pedra', 9)") << 1
                                      << 7 << int(Fault::Inserted);
        QTest::newRow("a row copied") << QByteArray("INSERT INTO records SELECT * FROM records WHERE f0 = 1 AND f1 = 2")
                                      << 1 << 2 << int(Fault::Inserted);
        QTest::newRow("a whole draw removed") << QByteArray("DELETE FROM records WHERE f0 = 2") << 2 << 1
                                              << int(Fault::Removed);
    }
    void sealCatchesEdits()
    {
        QFETCH(QByteArray, sql);
        QFETCH(int, draw);
        QFETCH(int, event);
        QFETCH(int, fault);
        QTemporaryDir dir;
        {
            DrawLogWriter log(dir.path());
            for (int d = 1; d <= 3; ++d) {
                QVERIFY(log.startDraw(DrawMode::Manual));
                QVERIFY(log.ball({7, true, DrawMode::Manual, "7"}, {false, true, false}));
                QVERIFY(log.ball({8, true, DrawMode::Manual, "8"}, {false, true, false}));
                QVERIFY(log.scan(lineWon()));
                QVERIFY(log.ball({8, false, DrawMode::Manual, "-8"}, {false, false, false}));
                QVERIFY(log.endDraw());
            }
        }
        if (!sql.isEmpty()) {
            sqlite3 *db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(QDir(dir.path()).filePath("Sorteios.cds")).constData(), &db), SQLITE_OK);
            QCOMPARE(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
        }
        const DrawLogWriter::Check check = DrawLogWriter::verify(dir.path());
        QCOMPARE(int(check.fault), fault);
        QCOMPARE(check.intact, fault == int(DrawLogWriter::Check::Fault::None));
        QCOMPARE(check.draw, draw);
        QCOMPARE(check.event, event);
        if (check.intact)
            QCOMPARE(check.sealedRows, 18);
    }

    // A draw cut short is offered back once; resumed, it goes on with its
    // own numbers after a row that says so, and the chain holds across the
    // break. Declined, it stays closed as interrupted.
    void interruptedDrawResumedOrDeclined()
    {
        QTemporaryDir dir;
        CompetingSet competing;
        competing.addCard('A', 2);
        {
            DrawLogWriter log(dir.path());
            QVERIFY(log.startDraw(DrawMode::Electronic, competing));
            QVERIFY(log.ball({7, true, DrawMode::Electronic, "07"}, {}));
            QVERIFY(log.ball({45, true, DrawMode::Electronic, "45"}, {}));
        } // a crash: no end row
        {
            DrawLogWriter log(dir.path());
            const std::optional<DrawLogWriter::Interrupted> cut = log.interruptedDraw();
            QVERIFY(cut);
            QCOMPARE(cut->draw, 1);
            QCOMPARE(cut->balls, 2);
            QCOMPARE(cut->lastBall, 45);
            QCOMPARE(cut->mode, DrawMode::Electronic);
            QVERIFY(log.resumeDraw(1, DrawMode::Electronic));
            QCOMPARE(log.currentDraw(), 1);
            QVERIFY(log.ball({3, true, DrawMode::Electronic, "03"}, {}));
            QVERIFY(log.endDraw(true)); // the program closed during the draw
        }
        QCOMPARE(kinds(DrawLog::read(dir.path())),
                 (QStringList{"inicio", "pedra", "pedra", "fim", "retomada", "pedra", "fim"}));
        {
            DrawLogWriter log(dir.path());
            const std::optional<DrawLogWriter::Interrupted> cut = log.interruptedDraw();
            QVERIFY(cut);
            QCOMPARE(cut->balls, 3);
            QVERIFY(log.declineDraw(1));
            QVERIFY(!log.interruptedDraw());
        }
        DrawLogWriter again(dir.path());
        QVERIFY(!again.interruptedDraw());
        const std::vector<DrawLogWriter::Entry> entries = DrawLog::read(dir.path());
        for (size_t i = 0; i < entries.size(); ++i)
            QCOMPARE(entries[i].event, int(i) + 1);
        QCOMPARE(entries.back().text, QString::fromUtf8(DrawLogWriter::kDeclined));
        QVERIFY(DrawLogWriter::verify(dir.path()).intact);
        QCOMPARE(CompetingSet::fromBytes(entries[0].data), std::optional<CompetingSet>(competing));
    }

    // What competes is kept in a few kilobytes, and only a set of its own
    // form is read back.
    void competingSetInTheLog()
    {
        CompetingSet full;
        for (int card = 1; card <= kCardsPerSeries; ++card)
            for (char series : {'A', 'B', 'C'})
                full.addCard(series, card);
        for (int ticket = 1; ticket <= kTicketsPerSeries; ticket += 17)
            full.addReturned('B', ticket);
        full.addReturned('L', 5); // of a card not sold: no ticket less competes
        QCOMPARE(full.cardCount(), 6000);
        QCOMPARE(full.cardCount('B'), 2000);
        QCOMPARE(full.returnedCount(), 706);
        QCOMPARE(full.competingTickets(), 36000 - 706);
        const QByteArray bytes = full.toBytes();
        QVERIFY2(bytes.size() < 4096, qPrintable(QString::number(bytes.size())));
        QCOMPARE(CompetingSet::fromBytes(bytes), std::optional<CompetingSet>(full));
        QVERIFY(CompetingSet::fromBytes(bytes)->returned('L', 5));
        for (const QByteArray &hostile : {QByteArray(), QByteArray("\x01"), bytes.left(bytes.size() / 2),
                                          QByteArray("\x01\x7f\xff\xff\xff garbage"), QByteArray(1, '\x02') + bytes.mid(1)})
            QVERIFY(!CompetingSet::fromBytes(hostile));
    }

    // An announcement kept as numbers reads back as the very lines and
    // winners of the scan, whatever form its lines take.
    void announcementsReadBackExactly_data()
    {
        QTest::addColumn<ScanReport>("report");
        ScanReport won = lineWon();
        won.fewestLines = {"MenosPontos(3):", "Cartela2 A.Cartão 8", "Cartela1 B.Cartão 5"};
        won.fewest = {{2, 'A', 8}, {1, 'B', 5}};
        won.maxMissing = 12;
        QTest::newRow("winners and the fewest-points list") << won;
        ScanReport odd = won;
        odd.lines[1] = QStringLiteral("LINHA. Cartao 7");
        odd.fewestLines[2] = QStringLiteral("Cartela1 B.Cartão 6");
        QTest::newRow("lines of other forms") << odd;
        ScanReport misses;
        misses.scanned = true;
        misses.lines = {"3 faltando 1 pedra.", "10 faltando 2 pedras."};
        QTest::newRow("near misses") << misses;
        QTest::newRow("the first report") << lineWon();
    }
    void announcementsReadBackExactly()
    {
        QFETCH(ScanReport, report);
        Announcement before = Announcement::of(lineWon());
        const Announcement a = Announcement::of(report);
        const std::optional<Announcement> read = Announcement::decode(a.encode(before), before);
        QVERIFY(read);
        QCOMPARE(*read, a);
        QCOMPARE(read->memoLines(), report.memoLines());
        QStringList winners;
        for (qsizetype i = 0; i < report.winners.size(); ++i)
            winners << Announcement::winnerText(report.prizes[i], report.winners[i]);
        QCOMPARE(read->winnerTexts(), winners);
        // Bytes of no announcement are refused, never read past their end.
        const QByteArray bytes = a.encode(before);
        for (qsizetype cut = 0; cut < bytes.size(); ++cut)
            QVERIFY(!Announcement::decode(bytes.left(cut), before) || cut == bytes.size());
        QVERIFY(!Announcement::decode(bytes + QByteArray(1, '\0'), before));
    }

    void cannotBeWritten()
    {
        DrawLogWriter log(QStringLiteral("/dev/null/hall"));
        QVERIFY(!log.startDraw(DrawMode::Manual));
        QVERIFY(!log.failurePortuguese().isEmpty());
        QVERIFY(!log.ball({5, true, DrawMode::Manual, "5"}, {}));
    }

    // A log on a disk that only allows reading: the reason is given, and the
    // log written before (closed as one file) is still read.
    void readOnlyDiskGivesTheReason()
    {
        test::SmallDisk disk(1024);
        SKIP_WITHOUT_DISK(disk);
        {
            DrawLogWriter log(disk.path());
            QVERIFY(log.startDraw(DrawMode::Manual));
            QVERIFY(log.endDraw());
        }
        QVERIFY(!QFile::exists(disk.file("Sorteios.cds-wal")));
        QVERIFY(disk.makeReadOnly());
        QCOMPARE(DrawLog::read(disk.path()).size(), size_t(2));
        DrawLogWriter log(disk.path());
        QVERIFY(!log.startDraw(DrawMode::Manual));
        QVERIFY2(log.failurePortuguese().contains(QStringLiteral("só permite leitura")),
                 qPrintable(log.failurePortuguese()));
    }

    void damagedLogIsKeptAside()
    {
        QTemporaryDir dir;
        test::writeBytes(QDir(dir.path()).filePath("Sorteios.cds"), "not a dataset at all");
        DrawLogWriter log(dir.path());
        QVERIFY(log.startDraw(DrawMode::Manual));
        QVERIFY(log.takeNotice().contains(QStringLiteral("danificado")));
        QVERIFY(log.takeNotice().isEmpty());
        QCOMPARE(kinds(DrawLog::read(dir.path())), QStringList{"inicio"});
        QCOMPARE(QDir(dir.path()).entryList({"Sorteios.cds.danificado-*"}, QDir::Files).size(), 1);
    }

    // Killed in the middle of a draw: every ball event before is in the log.
    void survivesAKill()
    {
        QTemporaryDir dir;
        QProcess helper;
        helper.start(QStringLiteral(CRASH_DRAW), {dir.path()});
        QVERIFY(helper.waitForFinished(60000));
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);
        const auto entries = DrawLog::read(dir.path());
        QStringList balls;
        for (const auto &e : entries)
            if (e.kind == QLatin1String("pedra"))
                balls << QString::number(e.ball);
        // Every event before the one in progress is there; that one is
        // there too once its commit was done within the ball's budget.
        QCOMPARE(balls.mid(0, 4), (QStringList{"1", "21", "32", "51"}));
        QVERIFY2(balls.size() == 4 || (balls.size() == 5 && balls[4] == QLatin1String("72")), qPrintable(balls.join(',')));
        if (balls.size() == 5 && entries.back().kind != QLatin1String("pedra")) { // its announcement too
            QCOMPARE(entries.back().kind, QStringLiteral("anuncio"));
            DrawLogAnnouncements announcements;
            for (const auto &e : entries)
                announcements.take(e);
            QVERIFY(announcements.current().winners.last().startsWith(QLatin1String("LINHA ")));
        }
    }

    // The panel's log: events are written in order by the writer; a failure is
    // told on the listener's thread.
    void writtenBehindTheGame()
    {
        QTemporaryDir dir;
        {
            DrawLog log(dir.path());
            log.startDraw(DrawMode::Electronic);
            for (int ball = 1; ball <= 30; ++ball)
                log.ball({ball, true, DrawMode::Electronic, QString::number(ball)}, {});
            log.scan(lineWon());
            log.endDraw();
        } // the end writes what is queued
        const auto entries = DrawLog::read(dir.path());
        QCOMPARE(entries.size(), size_t(1 + 30 + 1 + 1));
        QCOMPARE(entries[30].ball, 30);

        DrawLog broken(QStringLiteral("/dev/null/hall"));
        QObject context;
        QStringList failures;
        broken.setListener(&context, [&](const QString &failure, const QString &) { failures << failure; });
        broken.startDraw(DrawMode::Manual);
        broken.drain();
        QTRY_VERIFY(!failures.isEmpty());
        QVERIFY(!failures.first().isEmpty());
        // At the end, what never reached the file is counted: the start and two balls.
        broken.ball({4, true, DrawMode::Manual, "4"}, {});
        broken.scan(lineWon());
        broken.ball({5, true, DrawMode::Manual, "5"}, {});
        QCOMPARE(broken.close(), 3);
        broken.ball({6, true, DrawMode::Manual, "6"}, {}); // after the end: dropped, never blocks
    }
};

QTEST_GUILESS_MAIN(TestDrawLog)
#include "tst_drawlog.moc"
