#include "TestSupport.h"
#include "dataset/DatasetError.h"
#include "dataset/DatasetFile.h"
#include "game/DrawLog.h"

#include <QProcess>

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
        QCOMPARE(kinds(entries), (QStringList{"inicio", "pedra", "retirada", "texto", "texto", "texto", "texto",
                                              "vencedor", "fim", "inicio", "fim", "inicio"}));
        QCOMPARE(entries[10].draw, 2);
        QCOMPARE(entries[10].text, QLatin1String(DrawLogWriter::kInterrupted));
        QCOMPARE(entries[10].time, entries[9].time);
        QVERIFY(entries[8].text.isEmpty());
        QCOMPARE(entries[0].mode, QStringLiteral("manual"));
        QCOMPARE(entries[1].ball, 7);
        QCOMPARE(entries[1].switches, (PrizeSwitches{false, true, false}));
        QCOMPARE(entries[5].text, QStringLiteral("MenosPontos(3):"));
        QCOMPARE(entries[7].prize, QStringLiteral("LINHA"));
        QCOMPARE(entries[7].ticket, (TicketRef{2, 'A', 7}));
        QCOMPARE(entries[9].mode, QStringLiteral("eletronico"));
        QCOMPARE(entries[9].draw, 2);
        for (size_t i = 1; i < 9; ++i)
            QCOMPARE(entries[i].event, int(i) + 1);
        QVERIFY(!entries[0].time.isEmpty());
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
    // is written once; reading gives every ball's whole announcement back.
    void repeatedAnnouncementsAreWrittenOnce()
    {
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
            report.lines.insert(2 * at + 1, QStringLiteral("CARTÃO. Cartão %1").arg(card * 6));
            scans.push_back(report);
            QVERIFY(log.ball({n, true, DrawMode::Electronic, QString::number(n)}, {}));
            QVERIFY(log.scan(report));
        }
        const auto entries = DrawLog::read(dir.path());
        QVERIFY2(entries.size() < 400, qPrintable(QString::number(entries.size()))); // 2,500 written out in full

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

        // Logs written before the list was told by a number name it in
        // Premio, with no Pedra: they read the same.
        log.endDraw();
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QDir(dir.path()).filePath(QStringLiteral("Sorteios.cds")).toUtf8().constData(), &db),
                 SQLITE_OK);
        QCOMPARE(sqlite3_exec(db,
                              "UPDATE records SET f9 = CASE f5 WHEN 0 THEN 'texto' ELSE 'vencedor' END, f5 = NULL"
                              " WHERE f3 = 'repete'",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        QVERIFY(sqlite3_changes(db) > 0);
        sqlite3_close(db);
        const auto [older, olderBroken] = announced();
        QVERIFY(!olderBroken);
        QCOMPARE(older.size(), read.size());
        for (size_t i = 0; i < read.size(); ++i) {
            QCOMPARE(older[i].lines, read[i].lines);
            QCOMPARE(older[i].winners, read[i].winners);
        }
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
            QCOMPARE(entries.back().kind, QStringLiteral("vencedor"));
            QCOMPARE(entries.back().prize, QStringLiteral("LINHA"));
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
        QCOMPARE(entries.size(), size_t(1 + 30 + 5 + 1));
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
