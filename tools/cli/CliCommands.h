#pragma once

#include <QHash>
#include <QStringList>
#include <QTextStream>

#include <optional>

#include "validation/RegistryLocation.h"

namespace bolaris::cli {

// Each command takes its arguments (after the command name) and returns the
// exit status: 0 done, 1 refused or failed, 2 bad arguments.
struct Streams {
    QTextStream &out;
    QTextStream &err;
    QTextStream *in = nullptr; // answers to questions; without it each takes its default
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
int replay(const QStringList &args, Streams io);
int drawLog(const QStringList &args, Streams io);
int checkCard(const QStringList &args, Streams io);
int ata(const QStringList &args, Streams io);
int registryPush(const QStringList &args, Streams io);
int registryPull(const QStringList &args, Streams io);

// Runs the command named by args' first item with the rest; an unknown
// command or bad arguments (status 2) also print the usage on err.
int run(const QStringList &args, Streams io);

// Parses "--name value" options and bare flags; false on anything unknown,
// a missing value or an option given twice (said on err when given).
struct Options {
    QHash<QString, QString> values;
    QStringList positional;
    bool parse(const QStringList &args, const QStringList &valued, const QStringList &flags,
               QTextStream *err = nullptr);
    QString value(const QString &name, const QString &fallback = {}) const { return values.value(name, fallback); }
    bool has(const QString &name) const { return values.contains(name); }
    // The folder of --dir (default: the current one), or nothing after saying
    // it is missing. Removes the temporaries a crashed writer left there.
    std::optional<QString> workingFolder(Streams io) const;
    // The same, also saying why, when no file can be created in it.
    std::optional<QString> writableFolder(Streams io) const;
    // The file of option name as a place to write, checked before any work:
    // its folder exists and takes files, it is no folder itself and no data
    // file of workDir or of its own folder (ownFile excepted: the data file
    // the command makes). Nothing after saying why.
    std::optional<QString> outputFile(const QString &name, const QString &workDir, Streams io,
                                      const QString &ownFile = {}) const;
    // The number of option --draw, or nothing after saying it is not one.
    std::optional<int> drawNumber(Streams io) const;
    // The registry of --registry, BOLARIS_REGISTRY or dir's bolaris.conf (the
    // folder's files when none names one); nothing after saying why a URL is wrong.
    std::optional<RegistryLocation> registry(const QString &dir, Streams io) const;
};

} // namespace bolaris::cli
