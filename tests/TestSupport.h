#pragma once

#include "dataset/Dataset.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/statvfs.h>
#include <unistd.h>

namespace bolaris::test {

// A fresh working folder per test; fixtures are copied in, never used in place.
inline QString copyInto(const QTemporaryDir &dir, const QString &source, const QString &name)
{
    const QString target = QDir(dir.path()).filePath(name);
    QFile::remove(target);
    QFile::copy(source, target);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
    return target;
}

inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
}

inline QByteArray readBytes(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// Writes a card file ("compl22.cds" unless named) holding the given records.
inline void writeCardFile(const QString &dir, const std::vector<std::pair<QVariant, QVariant>> &records,
                          const QString &name = QStringLiteral("compl22.cds"))
{
    Dataset table(QStringLiteral("TableCompl"));
    table.setDirectory(dir);
    table.setFileName(name);
    table.addFieldDef(QStringLiteral("Cartela"), FieldType::Integer);
    table.addFieldDef(QStringLiteral("Todas"), FieldType::String, 250);
    table.createDataset();
    for (const auto &[cartela, todas] : records) {
        table.append();
        table.setValue(0, cartela);
        table.setValue(1, todas);
        table.post();
    }
    table.close();
}

inline QString latin1(std::string_view text) { return QString::fromLatin1(text.data(), qsizetype(text.size())); }

// A finished run of one of the project's programs.
struct Run {
    int status = -1; // -1 when it crashed or did not finish
    QString out;
    QString err;
};

// The program's input is given or empty: it ends at once, never waits.
inline Run runProgram(const QString &program, const QStringList &args, const QByteArray &input = {})
{
    QProcess p;
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// A small disk of its own (a tmpfs, mounted as root): full on demand, or
// read-only. Tests that need one skip where it cannot be mounted.
class SmallDisk {
public:
    explicit SmallDisk(int kilobytes = 1024) : SmallDisk(QString(), kilobytes) {}
    // Mounted on an empty folder of the caller's.
    SmallDisk(const QString &at, int kilobytes)
    {
        if (at.isEmpty())
            m_dir.emplace();
        m_path = at.isEmpty() ? m_dir->path() : at;
        m_mounted = ::geteuid() == 0
                    && QProcess::execute(QStringLiteral("mount"),
                                         {"-t", "tmpfs", "-o", QStringLiteral("size=%1k").arg(kilobytes), "tmpfs",
                                          m_path})
                           == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {"-l", m_path});
    }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_path; }
    QString file(const QString &name) const { return QDir(m_path).filePath(name); }
    bool makeReadOnly() { return QProcess::execute(QStringLiteral("mount"), {"-o", "remount,ro", m_path}) == 0; }
    // Fills the disk until only `room` bytes are left.
    void fillUp(qint64 room = 0)
    {
        struct statvfs st;
        ::statvfs(QFile::encodeName(m_path).constData(), &st);
        const qint64 free = qint64(st.f_bavail) * qint64(st.f_frsize);
        QFile filler(file(QStringLiteral("filler")));
        filler.open(QIODevice::WriteOnly | QIODevice::Append);
        filler.write(QByteArray(qMax<qint64>(0, free - room), 'x'));
    }
    // Names of the files on the disk (hidden ones too), filler aside.
    QStringList files() const
    {
        QStringList names = QDir(m_path).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(QStringLiteral("filler"));
        return names;
    }

private:
    std::optional<QTemporaryDir> m_dir; // the disk's own folder, unless mounted on the caller's
    QString m_path;
    bool m_mounted = false;
};

#define SKIP_WITHOUT_DISK(disk)                                                                                        \
    if (!(disk).mounted())                                                                                             \
    QSKIP("a small disk needs root to mount")

} // namespace bolaris::test

#include "ui/Prompter.h"

#include <QList>

namespace bolaris::test {

// Answers the program's messages without a person and records them.
class ScriptedPrompter : public Prompter {
public:
    struct Shown {
        QString caption;
        QString text;
        MessageIcon icon;
        bool question;
        bool defaultYes;
    };
    QList<Shown> shown;
    QList<bool> answers; // next answers to questions; No when none is left

    void inform(const QString &caption, const QString &text, MessageIcon icon) override
    {
        shown.append({caption, text, icon, false, false});
    }
    bool ask(const QString &caption, const QString &text, bool defaultYes) override
    {
        shown.append({caption, text, MessageIcon::Question, true, defaultYes});
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    QString lastText() const { return shown.isEmpty() ? QString() : shown.last().text; }
    void clear() { shown.clear(); }
};

} // namespace bolaris::test
