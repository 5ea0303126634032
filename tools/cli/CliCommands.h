#pragma once

#include <QHash>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace bolaris::cli {

// Each command takes its arguments (after the command name) and returns the
// exit status: 0 done, 1 refused or failed, 2 bad arguments.
struct Streams {
    QTextStream &out;
    QTextStream &err;
};

int dumpStore(const QStringList &args, Streams io);
int verifyStore(const QStringList &args, Streams io);
int generateSeries(const QStringList &args, Streams io);
int dumpDataset(const QStringList &args, Streams io);
int validate(const QStringList &args, Streams io);
int returnTicket(const QStringList &args, Streams io);
int issuePdf(const QStringList &args, Streams io);
int makeMedia(const QStringList &args, Streams io);
int exportCsv(const QStringList &args, Streams io);

// Parses "--name value" options and bare flags; false on anything unknown.
struct Options {
    QHash<QString, QString> values;
    QStringList positional;
    bool parse(const QStringList &args, const QStringList &valued, const QStringList &flags);
    QString value(const QString &name, const QString &fallback = {}) const { return values.value(name, fallback); }
    bool has(const QString &name) const { return values.contains(name); }
    // The folder of --dir (default: the current one), or nothing after saying it is missing.
    std::optional<QString> workingFolder(Streams io) const;
};

} // namespace bolaris::cli
