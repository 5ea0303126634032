#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

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

} // namespace bolaris::test

#include "app/Prompter.h"

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
