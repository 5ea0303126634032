#pragma once

#include "RegistryLocation.h"

#include <QObject>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

class QSocketNotifier;
class QTimer;
typedef struct pg_conn PGconn;

namespace bolaris {

// The validation registry's storage on a PostgreSQL server, shared by every
// desk and the draw computer. Each operation is one transaction, committed
// before it returns; the server's keys and constraints keep the registry's
// invariants (one record per card and per ticket, a returned ticket only of a
// validated card, the card's tickets removed with it). A connection that
// fails raises DatasetError (Kind::Unavailable, with a Portuguese text) and
// leaves nothing half done; the next operation connects again.
class ServerRegistry : public QObject {
    Q_OBJECT
public:
    explicit ServerRegistry(RegistryLocation location, QObject *parent = nullptr);
    ~ServerRegistry() override;

    const RegistryLocation &location() const { return m_location; }
    // Connects when not connected, makes the tables when missing and listens
    // for the changes of the other clients. Raises DatasetError when it cannot.
    void connectToServer();
    bool isConnected() const { return m_conn != nullptr; }
    void disconnectFromServer();
    // Keeps trying in the background, without blocking, until the server
    // answers; reconnected() tells.
    void reconnectLater();

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
    // Both tables as of one moment, ordered by their keys.
    Content read();
    bool isEmpty();
    // Fills an empty registry in one transaction; false, with nothing
    // written, when it holds anything.
    bool fill(const Content &content);

    // What the operator is told when the server cannot be reached.
    QString unreachableText() const;
    // How long a statement may wait for the server's answer before the
    // connection is given up as lost.
    void setAnswerWait(int ms) { m_answerWait = ms; }

Q_SIGNALS:
    // Another client changed the registry; re-read it.
    void changed();
    void connectionLost();
    void reconnected();

private:
    struct Result;
    // What the operator is told when the server asks for the password of user
    // that this computer lacks (missing) or refuses the one it has.
    QString passwordText(bool missing, const QString &user) const;
    Result run(const char *name, const std::vector<QByteArray> &params);
    Result runText(const char *sql);
    // One statement in a transaction of its own.
    Result write(const char *name, const std::vector<QByteArray> &params);
    // The answer to the statement just sent, waited for no longer than m_answerWait.
    Result answer(int sent, const char *what);
    [[noreturn]] void giveUp(const char *what);
    // run, failing with the server's message when the statement failed.
    Result must(const char *name, const std::vector<QByteArray> &params);
    [[noreturn]] void failWith(const Result &r);
    void prepare();
    void createSchema();
    [[noreturn]] void fail(const QString &what);
    void readNotifications();
    void tryReconnect();
    void lost();
    void adopt(PGconn *conn);
    void dropPending();

    RegistryLocation m_location;
    PGconn *m_conn = nullptr;
    PGconn *m_pending = nullptr; // a reconnection on its way
    int m_pendingTicks = 0;
    int m_backendPid = 0;
    // Above the server's own statement_timeout, so that a statement waiting
    // for a lock is ended by the server, with its message, first.
    int m_answerWait = 4000;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_retry = nullptr;
    bool m_notificationsQueued = false;
    bool m_lost = false;
};

} // namespace bolaris
