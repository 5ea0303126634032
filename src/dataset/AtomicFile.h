#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace bolaris {

// Why a file was not written: the file, and the system's error number or,
// where no system call failed, a short English text.
struct WriteFailure {
    QString file;
    int code = 0;
    QString detail;

    bool failed() const { return code != 0 || !detail.isEmpty(); }
    // "/x/o.pdf was not written: No space left on device"
    QString english() const;
    // "O arquivo o.pdf não foi gravado: o disco está cheio." (the reason
    // only when it is the system's)
    QString portuguese() const;
};

// The cause of a system error number in plain words.
QString reasonEnglish(int code);
QString reasonPortuguese(int code);

// Writes a file so that it is either complete or untouched.
//
// The data goes into a temporary file beside the target, named
// ".NAME.bolaris-XXXXXXXX.tmp" and locked (flock) for as long as this object
// holds it. Every write, the flush and the sync are checked; commit() renames
// the temporary over the target only when all succeeded. Anything not
// committed is removed, and a temporary whose writer died is recognised by
// its name and free lock and removed by removeStale().
//
// Use it as a QIODevice (QPdfWriter, QTextStream, write()), or let a writer
// that opens files by name (SQLite) write tempPath(), then commit().
class AtomicFile : public QIODevice {
    Q_OBJECT
public:
    explicit AtomicFile(const QString &target, QObject *parent = nullptr);
    ~AtomicFile() override; // removes an uncommitted temporary

    // Creates the temporary (write only). False, with failure() set, when it cannot.
    bool open(OpenMode mode = WriteOnly) override;
    // Writes out what is buffered but keeps the temporary for commit(): some
    // writers (the PDF engine) close their device when they finish.
    void close() override;

    const QString &target() const { return m_target; }
    const QString &tempPath() const { return m_temp; }

    // Flushes and syncs the temporary, renames it over the target and syncs
    // the folder. False on any failure: the temporary is gone, the target untouched.
    bool commit();
    // Removes the temporary; the target is untouched.
    void discard();
    const WriteFailure &failure() const { return m_failure; }

    // Removes the temporaries in dir that no live writer holds: all of ours, or
    // only those of fileName. Returns how many were removed.
    static int removeStale(const QString &dir, const QString &fileName = {});

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 length) override;

private:
    bool flushBuffer();
    bool fail(int code, const QString &detail = {});

    QString m_target;
    QString m_temp;
    int m_fd = -1;
    QByteArray m_buffer;
    WriteFailure m_failure;
};

} // namespace bolaris
