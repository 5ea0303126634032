#include "ServerRegistry.h"

#include "dataset/DatasetError.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <libpq-fe.h>

#include <cerrno>
#include <poll.h>

namespace bolaris {

namespace {

const char *const kChannel = "bolaris_registro";

// The tables, their keys and rules, and a trigger that tells the listening
// clients of every committed change.
const char *const kSchema[] = {
    "SELECT pg_advisory_xact_lock(4711090)",
    "CREATE TABLE IF NOT EXISTS validadas ("
    " serie char(1) NOT NULL CHECK (serie BETWEEN 'A' AND 'L'),"
    " numero integer NOT NULL CHECK (numero BETWEEN 1 AND 2000),"
    " PRIMARY KEY (serie, numero))",
    "CREATE TABLE IF NOT EXISTS cartoes ("
    " serie char(1) NOT NULL CHECK (serie BETWEEN 'A' AND 'L'),"
    " cartao integer NOT NULL CHECK (cartao BETWEEN 1 AND 12000),"
    " cartela integer NOT NULL CHECK (cartela = (cartao + 5) / 6),"
    " PRIMARY KEY (serie, cartao),"
    " FOREIGN KEY (serie, cartela) REFERENCES validadas (serie, numero) ON DELETE CASCADE)",
    "CREATE OR REPLACE FUNCTION bolaris_registro_changed() RETURNS trigger LANGUAGE plpgsql AS $$"
    " BEGIN PERFORM pg_notify('bolaris_registro', pg_backend_pid()::text); RETURN NULL; END $$",
    "CREATE OR REPLACE TRIGGER validadas_changed AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON validadas"
    " FOR EACH STATEMENT EXECUTE FUNCTION bolaris_registro_changed()",
    "CREATE OR REPLACE TRIGGER cartoes_changed AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON cartoes"
    " FOR EACH STATEMENT EXECUTE FUNCTION bolaris_registro_changed()",
};

struct Statement {
    const char *name;
    const char *sql;
};

const Statement kStatements[] = {
    {"add_card", "INSERT INTO validadas (serie, numero) VALUES ($1, $2::integer)"},
    {"remove_card", "DELETE FROM validadas WHERE serie = $1 AND numero = $2::integer"},
    {"lock_cards", "LOCK TABLE validadas IN SHARE ROW EXCLUSIVE MODE"},
    {"toggle_cards",
     "WITH gone AS (DELETE FROM validadas WHERE serie = $1 AND numero BETWEEN $2::integer AND $3::integer"
     " RETURNING numero),"
     " added AS (INSERT INTO validadas (serie, numero) SELECT $1, g FROM generate_series($2::integer, $3::integer) g"
     " WHERE g NOT IN (SELECT numero FROM gone) RETURNING numero)"
     " SELECT numero, 1 FROM added UNION ALL SELECT numero, 0 FROM gone ORDER BY 1"},
    {"add_cards",
     "INSERT INTO validadas (serie, numero) SELECT $1, g FROM generate_series($2::integer, $3::integer) g"
     " WHERE g NOT IN (SELECT numero FROM validadas WHERE serie = $1) RETURNING numero, 1"},
    {"count_cards", "SELECT count(*) FROM validadas WHERE serie = $1 AND numero BETWEEN $2::integer AND $3::integer"},
    {"add_ticket", "INSERT INTO cartoes (serie, cartao, cartela) VALUES ($1, $2::integer, $3::integer)"},
    {"remove_ticket", "DELETE FROM cartoes WHERE serie = $1 AND cartao = $2::integer"},
    {"clear", "DELETE FROM validadas"},
    {"read_cards", "SELECT serie, numero FROM validadas ORDER BY serie, numero"},
    {"read_tickets", "SELECT serie, cartao, cartela FROM cartoes ORDER BY serie, cartao"},
    {"count", "SELECT (SELECT count(*) FROM validadas) + (SELECT count(*) FROM cartoes)"},
    {"lock_both", "LOCK TABLE validadas, cartoes IN EXCLUSIVE MODE"},
    {"fill_cards", "INSERT INTO validadas (serie, numero) SELECT * FROM unnest($1::text[], $2::integer[])"},
    {"fill_tickets",
     "INSERT INTO cartoes (serie, cartao, cartela) SELECT * FROM unnest($1::text[], $2::integer[], $3::integer[])"},
    {"begin", "BEGIN"},
    {"begin_snapshot", "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"},
    {"commit", "COMMIT"},
    {"rollback", "ROLLBACK"},
};

QByteArray number(int n) { return QByteArray::number(n); }

QByteArray array(const QStringList &items) { return '{' + items.join(QLatin1Char(',')).toUtf8() + '}'; }

} // namespace

struct ServerRegistry::Result {
    PGresult *res = nullptr;
    ~Result() { PQclear(res); }
    Result(PGresult *r) : res(r) {}
    Result(Result &&o) noexcept : res(o.res) { o.res = nullptr; }
    Result(const Result &) = delete;
    QByteArray state() const { return PQresultErrorField(res, PG_DIAG_SQLSTATE); }
    bool ok() const
    {
        const ExecStatusType s = PQresultStatus(res);
        return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
    }
    int rows() const { return PQntuples(res); }
    int affected() const { return atoi(PQcmdTuples(res)); }
    QString text(int row, int col) const { return QString::fromUtf8(PQgetvalue(res, row, col)); }
    int integer(int row, int col) const { return atoi(PQgetvalue(res, row, col)); }
};

ServerRegistry::ServerRegistry(RegistryLocation location, QObject *parent)
    : QObject(parent), m_location(std::move(location)), m_retry(new QTimer(this))
{
    m_retry->setInterval(200);
    connect(m_retry, &QTimer::timeout, this, &ServerRegistry::tryReconnect);
}

ServerRegistry::~ServerRegistry()
{
    dropPending();
    disconnectFromServer();
}

QString ServerRegistry::unreachableText() const
{
    return QStringLiteral("O servidor do registro de validação (%1) não pode ser alcançado. Nada foi registrado. "
                          "O programa volta a usar o servidor sozinho assim que ele responder.")
        .arg(m_location.host);
}

QString ServerRegistry::passwordText(bool missing, const QString &user) const
{
    const QString text =
        missing ? QStringLiteral("O servidor do registro de validação (%1) pede a senha do usuário %2, que não está "
                                 "neste computador: ponha-a em ~/.pgpass ou em PGPASSWORD. Nada foi registrado.")
                : QStringLiteral("O servidor do registro de validação (%1) recusou a senha do usuário %2: confira "
                                 "~/.pgpass ou PGPASSWORD. Nada foi registrado.");
    return text.arg(m_location.host, user);
}

void ServerRegistry::giveUp(const char *what)
{
    // The server took the statement but sends no answer: a frozen machine, or
    // a link the system has not noticed is dead. Dropping the connection ends
    // its transaction on the server, so nothing uncommitted stays; only a
    // commit already sent may or may not have been done.
    const bool maybeDone = qstrcmp(what, "commit") == 0;
    disconnectFromServer();
    lost();
    const QString english = QStringLiteral("registry server %1:%2: no answer to %3 within %4 ms")
                                .arg(m_location.host)
                                .arg(m_location.port)
                                .arg(QLatin1String(what))
                                .arg(m_answerWait);
    if (!maybeDone)
        throw DatasetError(english, DatasetError::Kind::Unavailable, unreachableText());
    throw DatasetError(english, DatasetError::Kind::Unavailable,
                       QStringLiteral("O servidor do registro de validação (%1) parou de responder enquanto confirmava "
                                      "a operação: ela pode ter sido registrada ou não. Confira a lista quando o "
                                      "servidor voltar; o programa volta a usar o servidor sozinho assim que ele "
                                      "responder.")
                           .arg(m_location.host));
}

ServerRegistry::Result ServerRegistry::answer(int sent, const char *what)
{
    if (!sent)
        return Result(nullptr); // the connection's error message says why
    const QDeadlineTimer deadline(m_answerWait);
    while (PQisBusy(m_conn)) {
        pollfd pfd{PQsocket(m_conn), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, int(deadline.remainingTime()));
        if (ready == 0)
            giveUp(what);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || !PQconsumeInput(m_conn))
            break; // PQgetResult reports the broken connection without waiting
    }
    Result r(PQgetResult(m_conn));
    while (PGresult *more = PQgetResult(m_conn))
        PQclear(more);
    return r;
}

void ServerRegistry::fail(const QString &what)
{
    const bool unreachable = !m_conn || PQstatus(m_conn) != CONNECTION_OK;
    const QString english = QStringLiteral("registry server %1:%2: %3")
                                .arg(m_location.host)
                                .arg(m_location.port)
                                .arg(what.trimmed());
    if (unreachable) {
        const bool wasConnected = m_conn != nullptr;
        disconnectFromServer();
        if (wasConnected)
            lost();
        throw DatasetError(english, DatasetError::Kind::Unavailable, unreachableText());
    }
    throw DatasetError(english, DatasetError::Kind::Other,
                       QStringLiteral("O servidor do registro recusou a operação: %1. Nada foi registrado.")
                           .arg(what.trimmed()));
}

void ServerRegistry::connectToServer()
{
    if (m_conn)
        return;
    if (!m_location.isValid())
        throw DatasetError(m_location.error, DatasetError::Kind::Unavailable,
                           QStringLiteral("O endereço do registro não é válido: %1. A forma é "
                                          "postgresql://USUÁRIO@SERVIDOR:PORTA/BANCO (linha registro= de %2 ou %3).")
                               .arg(m_location.url, QLatin1String(RegistryLocation::kConfFile),
                                    QLatin1String(RegistryLocation::kEnvironment)));
    dropPending();
    PGconn *conn = PQconnectdb(m_location.conninfo().toUtf8().constData());
    if (PQstatus(conn) != CONNECTION_OK) {
        const QString why = QString::fromUtf8(PQerrorMessage(conn));
        // The server answered but wants a password, or refused the one given:
        // the network is fine, the desk's set-up is not.
        const bool noPassword = PQconnectionNeedsPassword(conn);
        const bool passwordRefused = !noPassword && PQconnectionUsedPassword(conn);
        const QString user = QString::fromUtf8(PQuser(conn));
        PQfinish(conn);
        if (noPassword || passwordRefused)
            throw DatasetError(QStringLiteral("registry server %1:%2: %3")
                                   .arg(m_location.host)
                                   .arg(m_location.port)
                                   .arg(why.trimmed()),
                               DatasetError::Kind::Unavailable, passwordText(noPassword, user));
        fail(why);
    }
    adopt(conn);
}

void ServerRegistry::dropPending()
{
    if (m_pending)
        PQfinish(m_pending);
    m_pending = nullptr;
}

void ServerRegistry::adopt(PGconn *conn)
{
    m_conn = conn;
    PQsetNoticeProcessor(m_conn, [](void *, const char *) {}, nullptr); // "already exists, skipping"
    m_backendPid = PQbackendPID(m_conn);
    try {
        runText("SET statement_timeout = 3000");
        createSchema();
        prepare();
        runText("LISTEN bolaris_registro");
    } catch (...) {
        disconnectFromServer();
        throw;
    }
    m_notifier = new QSocketNotifier(PQsocket(m_conn), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ServerRegistry::readNotifications);
    if (m_lost) {
        // What changed meanwhile is read again once the current operation is over.
        m_lost = false;
        m_retry->stop();
        QTimer::singleShot(0, this, &ServerRegistry::reconnected);
    }
}

void ServerRegistry::lost()
{
    reconnectLater();
    Q_EMIT connectionLost();
}

void ServerRegistry::reconnectLater()
{
    m_lost = true;
    m_retry->start();
}

void ServerRegistry::disconnectFromServer()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
}

void ServerRegistry::tryReconnect()
{
    // Without blocking: a server that does not answer must not freeze the
    // draw. The attempt is polled on every tick and restarted after a while.
    if (m_conn || !m_location.isValid()) {
        m_retry->stop();
        return;
    }
    if (!m_pending || m_pendingTicks++ > 30) {
        dropPending();
        m_pending = PQconnectStart(m_location.conninfo().toUtf8().constData());
        m_pendingTicks = 0;
        if (!m_pending || PQstatus(m_pending) == CONNECTION_BAD) {
            dropPending();
            return;
        }
    }
    switch (PQconnectPoll(m_pending)) {
    case PGRES_POLLING_OK: {
        PGconn *conn = m_pending;
        m_pending = nullptr;
        try {
            adopt(conn);
        } catch (const DatasetError &) {
            // the timer tries again
        }
        break;
    }
    case PGRES_POLLING_FAILED:
        dropPending();
        break;
    default:
        break; // still on its way
    }
}

ServerRegistry::Result ServerRegistry::runText(const char *sql)
{
    // Fixed statements without parameters only: schema, settings, LISTEN.
    Result r = answer(PQsendQueryParams(m_conn, sql, 0, nullptr, nullptr, nullptr, nullptr, 0), sql);
    if (!r.ok())
        fail(QString::fromUtf8(PQerrorMessage(m_conn)));
    return r;
}

void ServerRegistry::createSchema()
{
    runText("BEGIN");
    for (const char *sql : kSchema)
        runText(sql);
    runText("COMMIT");
}

void ServerRegistry::prepare()
{
    for (const Statement &s : kStatements) {
        Result r = answer(PQsendPrepare(m_conn, s.name, s.sql, 0, nullptr), s.name);
        if (!r.ok())
            fail(QString::fromUtf8(PQerrorMessage(m_conn)));
    }
}

ServerRegistry::Result ServerRegistry::must(const char *name, const std::vector<QByteArray> &params)
{
    Result r = run(name, params);
    if (!r.ok())
        failWith(r);
    return r;
}

void ServerRegistry::failWith(const Result &r)
{
    fail(QString::fromUtf8(PQresultErrorMessage(r.res)));
}

ServerRegistry::Result ServerRegistry::run(const char *name, const std::vector<QByteArray> &params)
{
    // A connection the server closed since the last statement (a restart) is
    // replaced before this statement is sent; once sent, a failure is the
    // caller's.
    if (m_conn && PQtransactionStatus(m_conn) == PQTRANS_IDLE &&
        (!PQconsumeInput(m_conn) || PQstatus(m_conn) != CONNECTION_OK)) {
        disconnectFromServer();
        m_lost = true;
    }
    connectToServer();
    std::vector<const char *> values;
    for (const QByteArray &p : params)
        values.push_back(p.constData());
    Result r = answer(PQsendQueryPrepared(m_conn, name, int(values.size()), values.data(), nullptr, nullptr, 0), name);
    if (!r.ok() && PQstatus(m_conn) != CONNECTION_OK)
        fail(QString::fromUtf8(PQerrorMessage(m_conn)));
    // A statement reads what the socket holds, notifications included: look
    // at them once the current operation is over.
    if (!m_notificationsQueued) {
        m_notificationsQueued = true;
        QTimer::singleShot(0, this, &ServerRegistry::readNotifications);
    }
    return r;
}

ServerRegistry::Result ServerRegistry::write(const char *name, const std::vector<QByteArray> &params)
{
    // A connection lost before the commit leaves nothing of the statement on
    // the server, even when the server only runs it later.
    must("begin", {});
    Result r = run(name, params);
    if (!r.ok()) {
        run("rollback", {});
        return r;
    }
    must("commit", {});
    return r;
}

bool ServerRegistry::addCard(const QString &serie, int card)
{
    const Result r = write("add_card", {serie.toUtf8(), number(card)});
    if (r.ok())
        return true;
    if (r.state() == "23505") // unique_violation: entered meanwhile, maybe by another desk
        return false;
    failWith(r);
}

bool ServerRegistry::removeCard(const QString &serie, int card)
{
    const Result r = write("remove_card", {serie.toUtf8(), number(card)});
    if (!r.ok())
        failWith(r);
    return r.affected() > 0;
}

int ServerRegistry::countCards(const QString &serie, int first, int last)
{
    return int(must("count_cards", {serie.toUtf8(), number(first), number(last)}).integer(0, 0));
}

std::vector<std::pair<int, bool>> ServerRegistry::toggleCards(const QString &serie, int first, int last,
                                                             bool removeValidated)
{
    std::vector<std::pair<int, bool>> handled;
    try {
        for (const char *step : {"begin", "lock_cards"})
            must(step, {});
        const Result r = must(removeValidated ? "toggle_cards" : "add_cards",
                              {serie.toUtf8(), number(first), number(last)});
        for (int i = 0; i < r.rows(); ++i)
            handled.emplace_back(r.integer(i, 0), r.integer(i, 1) == 1);
        must("commit", {});
    } catch (...) {
        if (m_conn)
            run("rollback", {});
        throw;
    }
    return handled;
}

ServerRegistry::TicketResult ServerRegistry::addTicket(const QString &serie, int ticket)
{
    const Result r = write("add_ticket", {serie.toUtf8(), number(ticket), number((ticket + 5) / 6)});
    if (r.ok())
        return TicketResult::Added;
    if (r.state() == "23505")
        return TicketResult::AlreadyThere;
    if (r.state() == "23503") // foreign_key_violation: the card is not validated
        return TicketResult::CardMissing;
    failWith(r);
}

bool ServerRegistry::removeTicket(const QString &serie, int ticket)
{
    const Result r = write("remove_ticket", {serie.toUtf8(), number(ticket)});
    if (!r.ok())
        failWith(r);
    return r.affected() > 0;
}

void ServerRegistry::clear()
{
    const Result r = write("clear", {});
    if (!r.ok())
        failWith(r);
}

ServerRegistry::Content ServerRegistry::read()
{
    Content content;
    try {
        // The snapshot writes nothing: it ends with a rollback.
        for (const char *step : {"begin_snapshot", "read_cards", "read_tickets", "rollback"}) {
            const Result r = must(step, {});
            if (qstrcmp(step, "read_cards") == 0)
                for (int i = 0; i < r.rows(); ++i)
                    content.cards.emplace_back(r.text(i, 0), r.integer(i, 1));
            else if (qstrcmp(step, "read_tickets") == 0)
                for (int i = 0; i < r.rows(); ++i)
                    content.tickets.push_back({r.text(i, 0), r.integer(i, 1), r.integer(i, 2)});
        }
    } catch (...) {
        if (m_conn)
            run("rollback", {});
        throw;
    }
    return content;
}

bool ServerRegistry::isEmpty()
{
    const Result r = must("count", {});
    return r.integer(0, 0) == 0;
}

bool ServerRegistry::fill(const Content &content)
{
    QStringList cardSeries, cardNumbers, ticketSeries, tickets, ticketCards;
    for (const Card &c : content.cards) {
        cardSeries << c.first;
        cardNumbers << QString::number(c.second);
    }
    for (const Ticket &t : content.tickets) {
        ticketSeries << t.serie;
        tickets << QString::number(t.cartao);
        ticketCards << QString::number(t.cartela);
    }
    try {
        for (const char *step : {"begin", "lock_both"})
            must(step, {});
        if (!isEmpty()) {
            run("rollback", {});
            return false;
        }
        must("fill_cards", {array(cardSeries), array(cardNumbers)});
        must("fill_tickets", {array(ticketSeries), array(tickets), array(ticketCards)});
        must("commit", {});
    } catch (...) {
        if (m_conn)
            run("rollback", {});
        throw;
    }
    return true;
}

void ServerRegistry::readNotifications()
{
    m_notificationsQueued = false;
    if (!m_conn)
        return;
    if (!PQconsumeInput(m_conn) || PQstatus(m_conn) != CONNECTION_OK) {
        disconnectFromServer();
        lost();
        return;
    }
    bool others = false;
    while (PGnotify *n = PQnotifies(m_conn)) {
        others = others || (qstrcmp(n->relname, kChannel) == 0 && n->be_pid != m_backendPid);
        PQfreemem(n);
    }
    if (others)
        Q_EMIT changed();
}

} // namespace bolaris
