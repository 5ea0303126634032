#pragma once

#include "RegistryLocation.h"
#include "ServerRegistry.h"
#include "dataset/Dataset.h"

#include <QString>
#include <QStringList>

#include <memory>

class QLockFile;

namespace bolaris {

class Prompter;
class RegistryWatch;

// The registry of validated cards ("Validadas.cds") and returned tickets
// ("Cartoes.cds"), with the rules of its two entries, the cascade and the
// reset. Every completed entry is committed to the files before it returns.
// With a server location the same rules run against a ServerRegistry, and the
// two datasets are its in-memory copy, kept current as other desks change it
// by a RegistryWatch, whose thread does all the waiting on the server.
class ValidationRegistry {
public:
    explicit ValidationRegistry(const QString &dir, const RegistryLocation &location = {});
    ~ValidationRegistry();

    const RegistryLocation &location() const { return m_location; }
    // The server behind the registry; null for the working folder's files.
    ServerRegistry *server() const { return m_server.get(); }
    // What follows the server for this registry (its signals tell of other
    // desks' changes and of a lost server); null for the working folder's files.
    RegistryWatch *watch() const { return m_watch.get(); }
    // Whether open() starts following the server's changes (the program's
    // panels); a one-off reader or entry (the tool) does without.
    void setFollowing(bool follow) { m_following = follow; }

    Dataset &TableVali() { return m_vali; }
    Dataset &TableValiC() { return m_valiC; }

    // Who holds the folder's registry lock when this registry could not take it.
    enum class Lock {
        Taken,             // ours now
        HeldByProgram,     // a live Bolaris (of any user) has the registry open
        HeldByTool,        // a live bolaris-cli is making an entry
        FolderNotWritable, // no lock can be made: the folder takes no files
    };
    // Takes the folder's registry lock, so that no other program changes the
    // files under an open registry. lockHolder() is the holder's process id.
    Lock lock();
    qint64 lockHolder() const { return m_lockHolder; }

    // How the registry can be used after open().
    enum class Access {
        Closed,
        Writable,
        ReadOnly,    // shown but not changed: another program holds it, or the folder is read-only
        Unavailable, // not opened: a file is busy, locked, unreadable or cannot be created
    };
    struct Opened {
        Access access = Access::Closed;
        bool movedAside = false; // damaged files were kept under new names; the registry starts empty
        QString english;         // what happened, for the tool; empty when all went well
        QString portuguese;      // the same for the program's operator
    };

    // Opens both datasets, creating empty ones for missing files. Files whose
    // content is proven damaged are both moved aside with one stamp and both
    // start empty; a file that only cannot be used now (busy, locked, not
    // readable) leaves the registry unavailable and every file untouched.
    // readOnly opens what exists without ever writing.
    Opened open(bool readOnly = false);
    // Opens according to the lock: writable when taken, read-only when
    // another program holds it or the folder cannot be written; the result
    // says which and why.
    Opened openLocked(Lock lock);
    // Tries a registry that was unavailable or read-only again, lock first:
    // the cause may be gone. A writable registry is left as it is.
    Opened reopen();
    void close();
    bool isOpen() const { return m_vali.isOpen() && m_valiC.isOpen(); }
    Access access() const { return m_access; }
    // Why entries are refused when the registry is not writable (Portuguese).
    const QString &refusal() const { return m_refusal; }

    enum class Outcome {
        Ignored,       // nothing to do (empty box, no number): the box keeps its text
        SeriesInvalid, // "Série inválida. Corrija." was shown
        Refused,       // the entry was refused with a message or silently
        Stopped,       // a card above 2000 ended the walk: handled cards stay, labels keep
        Done,
    };
    struct CardEntry {
        Outcome outcome = Outcome::Ignored;
        int lastAdded = 0; // the last card added by a completed entry, 0 when none
    };

    // Enter in the card box: a card or a range "first-last" of the series.
    CardEntry SaiEnter(const QString &seriesText, const QString &cardText, Prompter &prompter);
    // Enter in the returned-ticket box.
    Outcome SaiEnterC(const QString &seriesText, const QString &ticketText, Prompter &prompter);
    // "Inicializa a validação": true when the operator confirmed and all was removed.
    bool ButtonInivalClick(Prompter &prompter);

    // The card box text split at its first hyphen into first and last card;
    // a part that is not an integer counts as 0.
    static std::pair<int, int> splitCardText(const QString &text);

    static constexpr const char *kValiFile = "Validadas.cds";
    static constexpr const char *kValiCFile = "Cartoes.cds";

private:
    // The series letter of the entry, or 0 after showing the series message.
    char seriesLetter(const QString &seriesText, Prompter &prompter) const;
    // A range holding validated and not validated cards: whether its
    // validated cards are removed (No keeps them and enters the others).
    static bool askRemoveFromRange(int validated, Prompter &prompter);
    void TableValiBeforeDelete(Dataset &vali);
    // False, with the message shown, when the registry takes no entries now.
    bool writable(Prompter &prompter);
    Opened unavailable(const DatasetError &error);
    Opened removeOrphans();
    Opened moveAside(const DatasetError &damage);
    Opened openServer();
    CardEntry serverCardEntry(const QString &serie, int first, int last, Prompter &prompter);
    Outcome serverTicketEntry(const QString &serie, int ticket, Prompter &prompter);
    bool serverReset(Prompter &prompter);
    // The in-memory copy follows what the server holds.
    void mirrorCard(const QString &serie, int card, bool present);
    void mirrorTicket(const QString &serie, int ticket, bool present);
    // An entry of this desk went to the server and into the copy.
    void entered();
    // A reading of the watch; one begun before this desk's last entry is older than the copy.
    void applyServerContent(const ServerRegistry::Content &content, qint64 startedAt);

    QString m_dir;
    Dataset m_vali;
    Dataset m_valiC;
    std::unique_ptr<QLockFile> m_lock;
    qint64 m_lockHolder = 0;
    Access m_access = Access::Closed;
    QString m_refusal;
    RegistryLocation m_location;
    std::unique_ptr<ServerRegistry> m_server;
    std::unique_ptr<RegistryWatch> m_watch;
    qint64 m_lastEntryAt = 0; // on the watch's clock
    bool m_following = true;
};

} // namespace bolaris
