#pragma once

#include "RegistryLocation.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <utility>
#include <vector>

typedef struct pg_conn PGconn;

namespace bolaris {

// The validation registry's storage on a PostgreSQL server, shared by every
// desk and the draw computer. Each operation is one transaction, committed
// before it returns; the server's keys and constraints keep the registry's
// invariants (one record per card and per ticket, a returned ticket only of a
// validated card, the card's tickets removed with it), and a connection is
// used only once the tables are found to carry exactly those.
//
// Every wait on the server is bounded (connecting, each statement's answer)
// and can be cut short from another thread (setCancel). Connecting writes
// nothing and takes no lock that an entry may hold: the tables are read from
// the catalog, and made only in a database that lacks them. The server drops
// a session whose client has vanished within seconds (idle transactions,
// keepalives both ways), so a desk lost in the middle of an entry holds no
// lock for long.
//
// A failure raises DatasetError: Kind::Unavailable when the server cannot be
// reached or the connection was lost, Kind::Other when the server refused;
// its Portuguese text names the cause ("o disco do servidor está cheio"). It
// leaves nothing half done; the next operation connects again.
class ServerRegistry {
public:
    explicit ServerRegistry(RegistryLocation location);
    ~ServerRegistry();
    ServerRegistry(const ServerRegistry &) = delete;
    ServerRegistry &operator=(const ServerRegistry &) = delete;

    const RegistryLocation &location() const { return m_location; }
    // Connects when not connected and checks the tables (making them in a
    // database without them). Raises DatasetError when it cannot.
    void connectToServer();
    bool isConnected() const { return m_conn != nullptr; }
    void disconnectFromServer();

    using Card = std::pair<QString, int>; // series, card number
    struct Ticket {
        QString serie;
        int cartao = 0;
        int cartela = 0;
    };
    struct Content {
        std::vector<Card> cards;
        std::vector<Ticket> tickets;
    };

    // False when the card was there already (another desk may just have entered it).
    bool addCard(const QString &serie, int card);
    // Removes the card and its returned tickets; false when it was not there.
    bool removeCard(const QString &serie, int card);
    // How many cards of first..last are validated.
    int countCards(const QString &serie, int first, int last);
    // Toggles every card of first..last: returns each card handled and
    // whether it was added (true) or removed with its tickets (false).
    // Without removeValidated only the cards not validated are added.
    std::vector<std::pair<int, bool>> toggleCards(const QString &serie, int first, int last,
                                                  bool removeValidated = true);
    enum class TicketResult { Added, AlreadyThere, CardMissing };
    TicketResult addTicket(const QString &serie, int ticket);
    bool removeTicket(const QString &serie, int ticket);
    void clear();
    // Both tables as of one moment, ordered by their keys. Writes nothing.
    Content read();
    bool isEmpty();
    // Fills an empty registry in one transaction; false, with nothing
    // written, when it holds anything.
    bool fill(const Content &content);

    // For a thread that follows the registry: hear of every committed change
    // (LISTEN), the socket to watch, and whether a change was heard since the
    // last call, other than those of the session ignoredSession (without
    // waiting; raises DatasetError when the link is gone).
    void listen();
    int socket() const;
    bool takeChanges(int ignoredSession = 0);
    // Asks the server for nothing and waits for its answer: it still answers.
    void ping();
    // The server process of this connection; 0 when not connected.
    int backendPid() const;

    // A descriptor that, once readable, ends any wait on the server at once
    // (the wait raises DatasetError); -1 for none.
    void setCancel(int fd) { m_cancel = fd; }
    // How long a statement may wait for the server's answer before the
    // connection is given up as lost.
    void setAnswerWait(int ms) { m_answerWait = ms; }

    // What the operator is told when the server cannot be reached.
    QString unreachableText() const;

private:
    struct Result;
    class Writing;

    PGconn *open();
    // Refuses tables without the registry's keys and rules; makes missing ones (made: once already).
    void checkTables(bool made = false);
    void makeTables();
    [[noreturn]] void refuseTables(const QStringList &faults);
    Result run(const char *name, const std::vector<QByteArray> &params);
    // Prepares the statement on this connection when it is new to it, and runs it.
    Result send(const char *name, const std::vector<QByteArray> &params);
    Result runText(const char *sql);
    // One statement in a transaction of its own.
    Result write(const char *name, const std::vector<QByteArray> &params);
    // The answer to the statement just sent, waited for no longer than m_answerWait.
    Result answer(int sent, const char *what);
    // Waits until fd is ready (POLLIN or POLLOUT) or the deadline or the
    // cancel descriptor comes: 1 ready, 0 timed out, -1 cancelled.
    int waitFor(int fd, short events, int ms) const;
    // run, failing with the server's cause when the statement failed.
    Result must(const char *name, const std::vector<QByteArray> &params);
    [[noreturn]] void giveUp(const char *what);
    [[noreturn]] void failWith(const Result &r);
    [[noreturn]] void lostConnection(const QString &english);
    [[noreturn]] void refused(const QByteArray &sqlstate, const QString &english);
    // "O servidor do registro de validação (HOST) " + cause, and what follows for the operator.
    QString told(const QString &cause, bool transient) const;

    RegistryLocation m_location;
    PGconn *m_conn = nullptr;
    QSet<QByteArray> m_prepared; // the statements this connection has prepared
    int m_answerWait = 4000;     // above the server's own statement_timeout, so its message comes first
    int m_cancel = -1;
    bool m_writing = false;      // inside an entry: a failure says that nothing was registered
    bool m_makingTables = false; // a refusal then is about making the tables
    bool m_gaveUp = false;       // the last statement had no answer in time
};

} // namespace bolaris
