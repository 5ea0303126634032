#include "CliCommands.h"

#include "StreamPrompter.h"
#include "dataset/AtomicFile.h"
#include "dataset/WorkDir.h"
#include "validation/ValidationRegistry.h"


namespace bolaris::cli {

namespace {

enum class Entry { Card, Ticket };

int applyEntry(const QStringList &args, Streams io, Entry kind)
{
    const QString valueOption = kind == Entry::Card ? QStringLiteral("--cards") : QStringLiteral("--ticket");
    Options options;
    if (!options.parse(args, {QStringLiteral("--series"), valueOption, QStringLiteral("--dir")},
                       {QStringLiteral("--yes")}, &io.err) ||
        !options.positional.isEmpty() || !options.has(QStringLiteral("--series")) || !options.has(valueOption))
        return 2;
    const std::optional<QString> folder = options.workingFolder(io);
    if (!folder)
        return 1;
    const QString &dir = *folder;
    ValidationRegistry registry(dir);
    switch (registry.lock()) {
    case ValidationRegistry::Lock::Taken:
        break;
    case ValidationRegistry::Lock::HeldByProgram:
        io.err << "bolaris-cli: the validation registry of " << dir << " is open in Bolaris (process "
               << registry.lockHolder() << "); close the program and try again" << Qt::endl;
        return 1;
    case ValidationRegistry::Lock::HeldByTool:
        io.err << "bolaris-cli: another bolaris-cli (process " << registry.lockHolder()
               << ") is changing the validation registry of " << dir << "; try again when it has finished"
               << Qt::endl;
        return 1;
    case ValidationRegistry::Lock::FolderNotWritable: {
        const int error = WorkDir::writableError(dir);
        io.err << "bolaris-cli: the folder " << dir << " cannot be written ("
               << (error ? reasonEnglish(error) : QStringLiteral("the registry's lock file could not be made"))
               << "); the validation registry was not changed" << Qt::endl;
        return 1;
    }
    }
    StreamPrompter prompter(io.err, options.has(QStringLiteral("--yes")));
    try {
        const ValidationRegistry::Opened opened = registry.open();
        if (!opened.english.isEmpty())
            io.err << "bolaris-cli: " << opened.english << Qt::endl;
        if (opened.access != ValidationRegistry::Access::Writable) {
            registry.close();
            return 1;
        }
        // The panel's series box turns typed letters to upper case.
        const QString series = options.value(QStringLiteral("--series")).toUpper();
        const QString value = options.value(valueOption);
        ValidationRegistry::Outcome outcome;
        if (kind == Entry::Card) {
            const ValidationRegistry::CardEntry entry = registry.SaiEnter(series, value, prompter);
            outcome = entry.outcome;
            if (outcome == ValidationRegistry::Outcome::Done)
                io.out << "Cartelas validadas " << registry.TableVali().recordCount() << "\nÚltima validada "
                       << entry.lastAdded << Qt::endl;
            else if (outcome == ValidationRegistry::Outcome::Stopped)
                io.err << "bolaris-cli: card numbers above 2000 ended the entry; the cards before them were "
                          "handled"
                       << Qt::endl;
        } else {
            outcome = registry.SaiEnterC(series, value, prompter);
            if (outcome == ValidationRegistry::Outcome::Refused && registry.TableVali().isOpen() &&
                !value.isEmpty())
                io.err << "bolaris-cli: ticket not entered" << Qt::endl;
        }
        if (outcome == ValidationRegistry::Outcome::Ignored)
            io.err << "bolaris-cli: nothing entered (empty series or no number)" << Qt::endl;
        registry.close();
        return outcome == ValidationRegistry::Outcome::Done ? 0 : 1;
    } catch (const DatasetError &e) {
        io.err << "bolaris-cli: " << e.message() << Qt::endl;
        return 1;
    }
}

} // namespace

int validate(const QStringList &args, Streams io) { return applyEntry(args, io, Entry::Card); }
int returnTicket(const QStringList &args, Streams io) { return applyEntry(args, io, Entry::Ticket); }

} // namespace bolaris::cli
