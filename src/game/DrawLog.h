#pragma once

#include "Announcement.h"
#include "CompetingSet.h"
#include "DrawState.h"
#include "WinnerScan.h"
#include "dataset/FieldDef.h"

#include <QString>
#include <QStringList>

class QLockFile;

#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <memory>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace bolaris {

class DatasetFile;

// Writes the log of every draw, "Sorteios.cds" in the working folder: a
// dataset of one row per event (start with what competes, ball drawn or taken
// back with the prize switches, the announcement of a scan, a resumption,
// end), each event committed to the file before the call returns. It never
// waits for the file: rows that another program's reading keeps out stay
// pending and are written with the next event (or the next retry()).
//
// Every row is sealed: it carries the SHA-256 of the seal of the row before
// it in the file and of its own fields, so a row changed, removed or put in
// afterwards breaks the chain (verify()). Rows of logs written before the
// seal have none and stay outside the chain.
class DrawLogWriter {
public:
    explicit DrawLogWriter(const QString &dir);
    ~DrawLogWriter();

    // Each returns false when the log could not be written (failure() says
    // why); the rows are kept and tried again with the next event.
    bool startDraw(DrawMode mode, const CompetingSet &competing = {});
    bool ball(const BallEvent &event, const PrizeSwitches &switches);
    bool scan(const ScanReport &report);
    // interrupted: the program ended during the draw; it is offered back at
    // the next start.
    bool endDraw(bool interrupted = false);
    // Goes on with draw number after a break (a crash, a power cut, the
    // program closed): its next events follow its last one, after a row that
    // says it was resumed.
    bool resumeDraw(int number, DrawMode mode);
    // The operator did not resume draw number: it stays closed as interrupted.
    bool declineDraw(int number);

    // The log's last draw when it was cut short and neither resumed nor
    // declined since, for the writer that draws in this folder (it takes the
    // folder's log, closing the draws left open, first); nothing otherwise.
    struct Interrupted {
        int draw = 0;
        DrawMode mode = DrawMode::Manual;
        int balls = 0;    // drawn at its last event
        int lastBall = 0; // the ball of its last ball event
    };
    std::optional<Interrupted> interruptedDraw();
    // Writes what is pending; true when nothing is left.
    bool retry() { return flush(); }
    bool hasPending() const { return !m_pending.empty(); }

    // The number of the draw going on, once its first row is in the file; 0 before and outside a draw.
    int currentDraw() const { return m_draw; }
    const QString &failureEnglish() const { return m_english; }
    const QString &failurePortuguese() const { return m_portuguese; }
    // Something the operator should know although the log works (a damaged
    // log was kept aside and a new one started); empty once taken.
    QString takeNotice() { return std::exchange(m_notice, QString()); }

    static constexpr const char *kFileName = "Sorteios.cds";
    // Held by the writer that draws in the folder.
    static constexpr const char *kLockName = ".bolaris-drawlog.lock";
    // The text of the end row that closes a draw cut short (a crash, a power
    // cut, the program closed), and of the one that closes it for good when
    // it is not resumed; both begin with kInterrupted.
    static constexpr const char *kInterrupted = "interrompido";
    static constexpr const char *kDeclined = "interrompido, não retomado";
    // Sorteios.cds in dir in any letter case, whatever kind of entry it is.
    static QString logPath(const QString &dir);
    // Rows given up since the start (kept pending too long); what is still pending.
    // Events given up (kept pending too long) and events still pending.
    int droppedEvents() const { return m_dropped; }
    int pendingEvents() const;
    static std::vector<FieldDef> fields();

    // One row of the log, read back.
    struct Entry {
        int draw = 0;
        int event = 0;
        QString time;   // yyyy-MM-dd HH:mm:ss.zzz, local time
        QString kind;   // inicio, pedra, retirada, texto, vencedor, repete, fim
        QString mode;   // manual or eletronico
        int ball = 0;
        PrizeSwitches switches;
        QString prize;  // of a winner: CANTOS, LINHA, 2 LINHAS, CARTAO; of repete: texto or vencedor
        // repete: the run of the previous announcement's lines (texto) or
        // winners (vencedor) announced again, from (0-based) and count.
        int from = 0;
        int count = 0;
        TicketRef ticket;
        QString text;   // a line of the report; of fim: kInterrupted for a draw cut short
        QByteArray data; // of inicio: the competing set; of anuncio: the announcement
        QByteArray seal; // empty for a row written before rows were sealed
        bool interruptedEnd() const { return kind == QLatin1String("fim") && text.startsWith(QLatin1String(kInterrupted)); }
    };
    // Every row in the order written. Throws DatasetError when the file cannot
    // be read; a missing file is an empty log.
    static std::vector<Entry> read(const QString &dir);
    // The same, one row at a time, without keeping them; with draw, only that
    // draw's rows are read.
    static void forEach(const QString &dir, const std::function<void(const Entry &)> &visit,
                        std::optional<int> draw = {});

    // How many rows each draw has, by draw number as forEach gives it.
    static std::map<int, qint64> rowsPerDraw(const QString &dir);

    // The seal as the ata shows it: its first 16 hex digits in groups of four.
    static QString sealText(const QByteArray &seal);

    // Whether the log is as written. Rows written before rows were sealed are
    // counted apart, not taken as changed.
    struct Check {
        bool intact = true;
        int sealedRows = 0;
        int unsealedRows = 0;
        // The first place found wrong: its draw and event, and what happened there.
        int draw = 0;
        int event = 0;
        enum class Fault { None, Changed, Removed, Inserted } fault = Fault::None;
    };
    // Throws DatasetError when the file cannot be read; a missing file is intact.
    static Check verify(const QString &dir);

    // The fields of logs written before rows were sealed.
    static std::vector<FieldDef> unsealedFields();

private:
    bool append(std::vector<QVariant> row);
    bool flush();
    bool open();
    int lastEvent(int draw);
    // Writes the end rows of the draws a crash left open, once the folder's log is ours.
    bool closeOpenDraws();
    static void scanRows(const QString &path, const std::function<void(const Row &)> &visit,
                         std::optional<int> draw = {});
    static void checkFields(const QString &path);
    void closeInterrupted(const std::function<void(Row)> &insert);
    void fail(const QString &english, const QString &portuguese);

    QString m_dir;
    std::unique_ptr<DatasetFile> m_file;
    std::vector<std::vector<QVariant>> m_pending;
    int m_localDraw = 0; // draws started by this writer; rows of one not yet numbered carry -m_localDraw
    bool m_inDraw = false;
    int m_draw = 0;
    int m_event = 0;
    int m_dropped = 0;
    // The last announcement written in this draw, which the next is written against.
    Announcement m_last;
    std::unique_ptr<QLockFile> m_ownerLock;
    bool m_closeInterrupted = false;
    bool m_ownsLog = false; // this writer holds the folder's log lock
    QString m_english;
    QString m_portuguese;
    QString m_notice;
};

// Rebuilds each scan's whole announcement from the rows of one draw, read in
// order: an "anuncio" row holds it as changes to the announcement before, and
// in logs of earlier versions a "repete" row stands for a run of it.
class DrawLogAnnouncements {
public:
    struct Announced {
        QStringList lines;
        QStringList winners; // "PRIZE card N series S ticket T"
        bool operator==(const Announced &) const = default;
    };
    // Takes the draw's next row; true when it belongs to an announcement.
    bool take(const DrawLogWriter::Entry &e);
    // The announcement of the rows taken since the last other row.
    const Announced &current() const;
    // The same without its texts, when it was written in one row (logs of
    // earlier versions wrote it as lines and winners: nothing then).
    const Announcement *compact() const { return m_compactNow ? &m_lastCompact : nullptr; }
    // Of that one, the winners not repeated from the announcement before it.
    const std::vector<quint32> &freshWinners() const { return m_fresh; }
    // A row repeated lines that the announcement before never had.
    bool broken() const { return m_broken; }
    static QString winnerText(const QString &prize, const TicketRef &t);

private:
    void copy(const QStringList &from, QStringList &to, int start, int count);
    Announced m_last;
    mutable Announced m_current;     // of a compact one, made when first asked for
    mutable bool m_texts = false;
    Announcement m_lastCompact;  // the draw's last one written in one row
    std::vector<quint32> m_fresh;
    bool m_compactNow = false;   // the current announcement is m_lastCompact
    bool m_restarted = false;    // a draw (re)started since: the next one repeats nothing
    bool m_open = false;
    bool m_broken = false;
};

// The draw log as the Draw panel uses it: each event is handed to a writer on
// a thread of its own, and the call waits for it to be on disk only up to a
// short budget. On a sound disk every event is committed before the call
// returns; a slow or stalled disk never holds a ball up longer than the budget,
// and its events follow as soon as it allows. What could not be written (or a
// notice about the file) is told on the listener's thread.
class DrawLog {
public:
    static constexpr int kBudgetMs = 25;

    explicit DrawLog(const QString &dir);
    ~DrawLog(); // writes what is queued, then stops

    void startDraw(DrawMode mode, const CompetingSet &competing = {});
    void ball(const BallEvent &event, const PrizeSwitches &switches);
    void scan(const ScanReport &report);
    void endDraw(bool interrupted = false);
    void resumeDraw(int number, DrawMode mode);
    void declineDraw(int number);
    // The number of the draw going on, once the log has it (0 before).
    int currentDraw();
    // See DrawLogWriter::interruptedDraw(); waits for the file.
    std::optional<DrawLogWriter::Interrupted> interruptedDraw();
    // Waits until every event handed over so far is written or has failed.
    void drain();
    // Writes what is queued, gives rows kept out a last few chances and stops;
    // returns how many events (start, balls, end) could not be written.
    // Events handed over later are dropped.
    int close();

    static constexpr const char *kFileName = DrawLogWriter::kFileName;
    using Entry = DrawLogWriter::Entry;
    static std::vector<Entry> read(const QString &dir) { return DrawLogWriter::read(dir); }

    // failure: why the log could not be written (empty when it is written
    // again); notice: something else the operator should know.
    using Listener = std::function<void(const QString &failure, const QString &notice)>;
    void setListener(QObject *context, Listener listener);

private:
    void post(std::function<bool(DrawLogWriter &)> task);
    void run();

    DrawLogWriter m_writer; // used on the worker thread only
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<bool(DrawLogWriter &)>> m_tasks;
    bool m_busy = false;
    bool m_stop = false;
    bool m_closed = false;
    int m_lost = 0;
    quint64 m_posted = 0; // tasks handed over
    quint64 m_done = 0;   // tasks carried out
    int m_current = 0;    // the writer's draw after its last task
    QPointer<QObject> m_context;
    Listener m_listener;
    std::thread m_thread;
};

} // namespace bolaris
