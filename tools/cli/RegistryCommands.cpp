#include "CliCommands.h"

#include "StreamPrompter.h"
#include "dataset/AtomicFile.h"
#include "dataset/WorkDir.h"
#include "validation/ServerRegistry.h"
#include "validation/ValidationRegistry.h"

#include <QDir>
#include <QFileInfo>


namespace bolaris::cli {

namespace {

enum class Entry { Card, Ticket };

int applyEntry(const QStringList &args, Streams io, Entry kind)
{
    const QString valueOption = kind == Entry::Card ? QStringLiteral("--cards") : QStringLiteral("--ticket");
    Options options;
    if (!options.parse(args, {QStringLiteral("--series"), valueOption, QStringLiteral("--dir"), QStringLiteral("--registry")},
                       {QStringLiteral("--yes")}, &io.err) ||
        !options.positional.isEmpty() || !options.has(QStringLiteral("--series")) || !options.has(valueOption))
        return 2;
    const std::optional<QString> folder = options.workingFolder(io);
    if (!folder)
        return 1;
    const QString &dir = *folder;
    const std::optional<RegistryLocation> location = options.registry(dir, io);
    if (!location)
        return 2;
    ValidationRegistry registry(dir, *location);
    registry.setFollowing(false);
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
    StreamPrompter prompter(io.err, options.has(QStringLiteral("--yes")), io.in);
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

// The server of --registry (required) and the folder of --dir, for moving a registry.
struct Move {
    QString dir;
    RegistryLocation server;
};

std::optional<Move> moveOptions(const QStringList &args, Streams io)
{
    Options options;
    if (!options.parse(args, {QStringLiteral("--dir"), QStringLiteral("--registry")}, {}, &io.err) ||
        !options.positional.isEmpty() || !options.has(QStringLiteral("--registry")))
        return std::nullopt;
    const std::optional<QString> dir = options.workingFolder(io);
    if (!dir)
        return Move{};
    const std::optional<RegistryLocation> location = options.registry(*dir, io);
    if (!location)
        return std::nullopt;
    return Move{*dir, *location};
}

int registryPush(const QStringList &args, Streams io)
{
    const std::optional<Move> move = moveOptions(args, io);
    if (!move)
        return 2;
    if (move->dir.isEmpty())
        return 1;
    // Read only: the folder's registry stays as it is, whoever has it open.
    ValidationRegistry local(move->dir);
    const ValidationRegistry::Opened opened = local.open(true);
    if (opened.access != ValidationRegistry::Access::ReadOnly) {
        io.err << "bolaris-cli: " << opened.english << Qt::endl;
        return 1;
    }
    ServerRegistry::Content content;
    for (int r = 0; r < local.TableVali().recordCount(); ++r)
        content.cards.emplace_back(local.TableVali().rowAt(r)[0].toString(), local.TableVali().rowAt(r)[1].toInt());
    for (int r = 0; r < local.TableValiC().recordCount(); ++r) {
        const Row &row = local.TableValiC().rowAt(r);
        content.tickets.push_back({row[0].toString(), row[1].toInt(), row[2].toInt()});
    }
    try {
        ServerRegistry server(move->server);
        if (!server.fill(content)) {
            io.err << "bolaris-cli: the registry on " << move->server.host
                   << " is not empty; nothing was copied (push only into an empty database)" << Qt::endl;
            return 1;
        }
    } catch (const DatasetError &e) {
        io.err << "bolaris-cli: " << e.message() << "; nothing was copied" << Qt::endl;
        return 1;
    }
    io.out << "Copied " << content.cards.size() << " validated cards and " << content.tickets.size()
           << " returned tickets to " << move->server.host << Qt::endl;
    return 0;
}

namespace {

// The registry file name that something in dir already takes, whatever its
// letter case and whatever it is (a file, a folder, a link, a link to
// nothing), with what it is; empty when neither name is taken.
QString takenRegistryName(const QString &dir)
{
    const QDir folder(dir);
    for (const QString &entry : folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        for (const char *name : {ValidationRegistry::kValiFile, ValidationRegistry::kValiCFile})
            if (entry.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
                const QFileInfo info(folder.filePath(entry));
                const QString what = info.isSymLink() ? (info.exists() ? QStringLiteral("a link") : QStringLiteral("a link to nothing"))
                                     : info.isDir() ? QStringLiteral("a folder")
                                                    : QStringLiteral("a file");
                return QStringLiteral("%1 (%2)").arg(entry, what);
            }
    return {};
}

// Removes the registry files a failed pull made (neither name was taken before it).
void removeMadeRegistry(const QString &dir)
{
    for (const char *name : {ValidationRegistry::kValiFile, ValidationRegistry::kValiCFile}) {
        const QString path = WorkDir::resolve(dir, QLatin1String(name));
        if (QFileInfo(path).isFile() && !QFileInfo(path).isSymLink())
            QFile::remove(path);
    }
}

} // namespace

int registryPull(const QStringList &args, Streams io)
{
    const std::optional<Move> move = moveOptions(args, io);
    if (!move)
        return 2;
    if (move->dir.isEmpty())
        return 1;
    // Only into a folder without a registry, and then whole or not at all.
    if (const QString taken = takenRegistryName(move->dir); !taken.isEmpty()) {
        io.err << "bolaris-cli: " << move->dir << " already holds " << taken
               << "; nothing was written (pull into a folder without a registry)" << Qt::endl;
        return 1;
    }
    ValidationRegistry local(move->dir);
    if (local.lock() != ValidationRegistry::Lock::Taken) {
        io.err << "bolaris-cli: the validation registry of " << move->dir
               << " is in use or the folder cannot be written; nothing was written" << Qt::endl;
        return 1;
    }
    try {
        ServerRegistry server(move->server);
        const ServerRegistry::Content content = server.read();
        const ValidationRegistry::Opened opened = local.open();
        if (opened.access != ValidationRegistry::Access::Writable) {
            local.close();
            removeMadeRegistry(move->dir);
            io.err << "bolaris-cli: " << opened.english << Qt::endl;
            return 1;
        }
        Dataset &cards = local.TableVali();
        Dataset &tickets = local.TableValiC();
        if (!cards.isEmpty() || !tickets.isEmpty()) {
            io.err << "bolaris-cli: the validation registry of " << move->dir
                   << " is not empty; nothing was written (pull into a folder without one)" << Qt::endl;
            local.close();
            return 1;
        }
        {
            Dataset::Batch cardBatch(cards);
            Dataset::Batch ticketBatch(tickets);
            for (const auto &[serie, card] : content.cards) {
                cards.append();
                cards.setValue(QStringLiteral("Serie"), serie);
                cards.setValue(QStringLiteral("Numero"), card);
                cards.post();
            }
            for (const ServerRegistry::Ticket &t : content.tickets) {
                tickets.append();
                tickets.setValue(QStringLiteral("Serie"), t.serie);
                tickets.setValue(QStringLiteral("Cartao"), t.cartao);
                tickets.setValue(QStringLiteral("Cartela"), t.cartela);
                tickets.post();
            }
            ticketBatch.commit();
            cardBatch.commit();
        }
        local.close();
        io.out << "Wrote " << content.cards.size() << " validated cards and " << content.tickets.size()
               << " returned tickets to " << move->dir << Qt::endl;
    } catch (const DatasetError &e) {
        local.close();
        removeMadeRegistry(move->dir);
        io.err << "bolaris-cli: " << e.message() << "; nothing was written" << Qt::endl;
        return 1;
    }
    return 0;
}

int validate(const QStringList &args, Streams io) { return applyEntry(args, io, Entry::Card); }
int returnTicket(const QStringList &args, Streams io) { return applyEntry(args, io, Entry::Ticket); }

} // namespace bolaris::cli
