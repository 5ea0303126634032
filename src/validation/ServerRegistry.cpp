#include "ServerRegistry.h"

#include "Libpq.h"

#include "dataset/DatasetError.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QStringList>

#include <libpq-fe.h>

#include <cerrno>
#include <poll.h>

namespace bolaris {

namespace {

const char *const kChannel = "bolaris_registro";

// The tables, their keys and rules, and a trigger that tells the listening
// clients of every committed change. Run only in a database that lacks them.
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

// What the catalog says of the two tables: whether each is there and a plain
// table, its columns, its keys and rules (as the server writes them), and its triggers.
const char *const kCatalog =
    "SELECT n.name, c.relkind,"
    " (SELECT string_agg(a.attname || ' ' || format_type(a.atttypid, a.atttypmod)"
    "   || CASE WHEN a.attnotnull THEN ' not null' ELSE '' END, ', ' ORDER BY a.attnum)"
    "  FROM pg_attribute a WHERE a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped),"
    " (SELECT string_agg(pg_get_constraintdef(k.oid), '|') FROM pg_constraint k WHERE k.conrelid = c.oid),"
    " (SELECT string_agg(t.tgname, '|') FROM pg_trigger t WHERE t.tgrelid = c.oid AND NOT t.tgisinternal)"
    " FROM (VALUES (1, 'validadas'), (2, 'cartoes')) AS n(pos, name)"
    " LEFT JOIN pg_class c ON c.oid = to_regclass(n.name) ORDER BY n.pos";

struct TableRules {
    const char *name;
    const char *columns;
    const char *trigger;
    // Each key or rule, and what the operator is told is missing when it is.
    std::vector<std::pair<const char *, const char *>> constraints;
};

const TableRules kTables[] = {
    {"validadas",
     "serie character(1) not null, numero integer not null",
     "validadas_changed",
     {{"PRIMARY KEY (serie, numero)", "a chave de validadas (uma cartela só uma vez)"},
      {"CHECK (((serie >= 'A'::bpchar) AND (serie <= 'L'::bpchar)))", "a regra das séries de validadas (A a L)"},
      {"CHECK (((numero >= 1) AND (numero <= 2000)))", "a regra dos números de validadas (1 a 2000)"}}},
    {"cartoes",
     "serie character(1) not null, cartao integer not null, cartela integer not null",
     "cartoes_changed",
     {{"PRIMARY KEY (serie, cartao)", "a chave de cartoes (um cartão só uma vez)"},
      {"FOREIGN KEY (serie, cartela) REFERENCES validadas(serie, numero) ON DELETE CASCADE",
       "a ligação de cartoes com validadas (só cartões de cartelas validadas, apagados com a cartela)"},
      {"CHECK (((serie >= 'A'::bpchar) AND (serie <= 'L'::bpchar)))", "a regra das séries de cartoes (A a L)"},
      {"CHECK (((cartao >= 1) AND (cartao <= 12000)))", "a regra dos números de cartoes (1 a 12000)"},
      {"CHECK ((cartela = ((cartao + 5) / 6)))", "a regra da cartela de cada cartão"}}},
};

// The server writes a rule with more or fewer parentheses and blanks from version to version.
QString plain(QString text)
{
    text.remove(QLatin1Char('(')).remove(QLatin1Char(')')).remove(QLatin1Char(' '));
    return text;
}

struct Statement {
    const char *name;
    const char *sql;
};

// Prepared on a connection when first used, so that connecting parses none of
// them: parsing a write to a table takes a lock on it.
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

const char *sqlOf(const char *name)
{
    for (const Statement &s : kStatements)
        if (qstrcmp(s.name, name) == 0)
            return s.sql;
    return nullptr;
}

QByteArray number(int n) { return QByteArray::number(n); }

QByteArray array(const QStringList &items) { return '{' + items.join(QLatin1Char(',')).toUtf8() + '}'; }

// The SQLSTATE in a verbose message of the server ("FATAL:  3D000: ..."), in any of its languages.
QByteArray sqlstateIn(const QString &message)
{
    // The code follows the severity; unlike the severity it holds a digit.
    static const QRegularExpression code(QStringLiteral(":\\s+((?=[0-9A-Z]{0,4}[0-9])[0-9A-Z]{5}):\\s"));
    return code.match(message).captured(1).toLatin1();
}

// Notices ("already exists, skipping") are not the operator's; and sending
// never blocks, so that a statement that cannot leave (a link that takes
// nothing more) is given up after the answer wait like one never answered.
void configure(PGconn *conn)
{
    PQsetNoticeProcessor(conn, [](void *, const char *) {}, nullptr);
    PQsetnonblocking(conn, 1);
}

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
    bool null(int row, int col) const { return PQgetisnull(res, row, col); }
    int integer(int row, int col) const { return atoi(PQgetvalue(res, row, col)); }
};

// Marks an entry: a failure inside it tells the operator that nothing was registered.
class ServerRegistry::Writing {
public:
    explicit Writing(bool &flag) : m_flag(flag), m_was(flag) { m_flag = true; }
    ~Writing() { m_flag = m_was; }

private:
    bool &m_flag;
    bool m_was;
};

ServerRegistry::ServerRegistry(RegistryLocation location) : m_location(std::move(location)) {}

ServerRegistry::~ServerRegistry() { disconnectFromServer(); }

QString ServerRegistry::told(const QString &cause, bool transient) const
{
    QString text = QStringLiteral("O servidor do registro de validação (%1) %2.").arg(m_location.host, cause);
    if (m_writing)
        text += QStringLiteral(" Nada foi registrado.");
    if (transient)
        text += QStringLiteral(" O programa volta a usar o servidor sozinho assim que ele responder.");
    return text;
}

QString ServerRegistry::unreachableText() const { return told(QStringLiteral("não pode ser alcançado"), true); }

int ServerRegistry::waitFor(int fd, short events, int ms) const
{
    const QDeadlineTimer deadline(ms);
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {m_cancel, POLLIN, 0}};
        const int ready = ::poll(fds, m_cancel >= 0 ? 2 : 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (m_cancel >= 0 && fds[1].revents)
            return -1;
        return ready == 0 ? 0 : 1; // a failed poll shows in the next libpq call
    }
}

void ServerRegistry::lostConnection(const QString &english)
{
    disconnectFromServer();
    throw DatasetError(QStringLiteral("registry server %1:%2: %3").arg(m_location.host).arg(m_location.port).arg(english),
                       DatasetError::Kind::Unavailable, unreachableText());
}

void ServerRegistry::giveUp(const char *what)
{
    // The server took the statement but sends no answer: a frozen machine, or
    // a link the system has not noticed is dead. Dropping the connection ends
    // its transaction on the server, so nothing uncommitted stays; only a
    // commit already sent may or may not have been done.
    const bool maybeDone = qstrcmp(what, "commit") == 0 && m_writing;
    m_gaveUp = true; // a server that does not answer is not asked again at once
    disconnectFromServer();
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

void ServerRegistry::refused(const QByteArray &sqlstate, const QString &english)
{
    const QString user = m_location.user.isEmpty() && m_conn ? QString::fromUtf8(PQuser(m_conn)) : m_location.user;
    const QString database = m_location.database;
    // A transaction the refusal broke is ended by dropping the connection,
    // which can neither wait nor fail.
    if (m_conn && PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        disconnectFromServer();
    QString cause;
    bool transient = true;
    DatasetError::Kind kind = DatasetError::Kind::Other;
    const QByteArray type = sqlstate.left(2);
    if (sqlstate == "53100") {
        cause = QStringLiteral("não pôde gravar: o disco do servidor está cheio. Libere espaço nele");
    } else if (sqlstate == "55P03") {
        cause = QStringLiteral("não pôde fazer a operação agora: o registro está ocupado por outra mesa, que pode ter "
                               "perdido a conexão no meio de uma operação (o servidor a libera em alguns segundos)");
    } else if (sqlstate == "57014") {
        cause = QStringLiteral("não terminou a operação a tempo: o servidor está sobrecarregado");
    } else if (sqlstate == "40001" || sqlstate == "40P01") {
        cause = QStringLiteral("desfez a operação por um conflito com outra mesa: tente de novo");
    } else if (sqlstate == "53200") {
        cause = QStringLiteral("está sem memória");
    } else if (sqlstate == "53300" || sqlstate == "53000") {
        cause = QStringLiteral("não aceita mais conexões: há conexões demais abertas nele");
    } else if (sqlstate == "25006") {
        cause = QStringLiteral("só aceita leituras agora (banco somente leitura, ou um servidor réplica)");
    } else if (sqlstate == "3D000") {
        cause = QStringLiteral("não tem o banco %1: confira o endereço do registro").arg(database);
        transient = false;
    } else if (sqlstate == "28000") {
        cause = QStringLiteral("não aceita o usuário %1 deste computador no banco %2: confira o usuário no endereço "
                               "do registro e o arquivo pg_hba.conf do servidor")
                    .arg(user, database);
        transient = false;
    } else if (sqlstate == "42501" && m_makingTables) {
        cause = QStringLiteral("não deixa o usuário %1 criar as tabelas do registro no banco %2 (sem permissão no "
                               "esquema public): crie o banco com esse usuário como dono (createdb --owner %1 %2) "
                               "ou dê a ele essa permissão")
                    .arg(user, database);
        transient = false;
    } else if (sqlstate == "42501") {
        cause = QStringLiteral("não deixa o usuário %1 %2 o registro no banco %3 (sem permissão nas tabelas "
                               "validadas e cartoes)")
                    .arg(user, m_writing ? QStringLiteral("alterar") : QStringLiteral("ler"), database);
        transient = false;
    } else if (sqlstate == "42P01" || sqlstate == "42703") {
        cause = QStringLiteral("não tem mais as tabelas do registro no banco %1 como o programa as fez (foram "
                               "apagadas ou alteradas)")
                    .arg(database);
        transient = false;
        disconnectFromServer(); // they are checked again at the next connection
    } else if (type == "08" || sqlstate.startsWith("57P")) {
        lostConnection(english); // shut down, restarting, or the link broke
    } else if (type == "58" || type == "XX") {
        cause = QStringLiteral("teve um erro interno (código %1)").arg(QString::fromLatin1(sqlstate));
    } else if (type == "23") {
        cause = QStringLiteral("recusou os dados por uma regra das tabelas (código %1)").arg(QString::fromLatin1(sqlstate));
        transient = false;
    } else {
        cause = QStringLiteral("recusou a operação (código %1)")
                    .arg(sqlstate.isEmpty() ? QStringLiteral("desconhecido") : QString::fromLatin1(sqlstate));
    }
    throw DatasetError(QStringLiteral("registry server %1:%2: %3").arg(m_location.host).arg(m_location.port).arg(english.trimmed()),
                       kind, told(cause, transient));
}

void ServerRegistry::failWith(const Result &r)
{
    const QString english = QString::fromUtf8(m_conn ? PQresultErrorMessage(r.res) : "no connection");
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK)
        lostConnection(english);
    refused(r.state(), english);
}

PGconn *ServerRegistry::open()
{
    if (!m_location.isValid())
        throw DatasetError(m_location.error, DatasetError::Kind::Unavailable,
                           QStringLiteral("O endereço do registro não é válido: %1. A forma é "
                                          "postgresql://USUÁRIO@SERVIDOR:PORTA/BANCO (linha registro= de %2 ou %3).")
                               .arg(m_location.errorPortuguese, QLatin1String(RegistryLocation::kConfFile),
                                    QLatin1String(RegistryLocation::kEnvironment)));
    PGconn *conn = PQconnectStart(m_location.conninfo().toUtf8().constData());
    if (!conn) {
        const QString missing = libpqLoadError();
        if (missing.isEmpty())
            throw DatasetError(QStringLiteral("out of memory"), DatasetError::Kind::Unavailable, unreachableText());
        throw DatasetError(QStringLiteral("libpq cannot be loaded: %1").arg(missing), DatasetError::Kind::Unavailable,
                           QStringLiteral("O registro de validação no servidor %1 não pode ser usado: a biblioteca "
                                          "do PostgreSQL (libpq5) não pôde ser carregada (%2).")
                               .arg(m_location.host, missing));
    }
    // The server's refusals then carry their SQLSTATE, whatever its language.
    PQsetErrorVerbosity(conn, PQERRORS_VERBOSE);
    const QDeadlineTimer deadline(m_location.connectTimeoutSeconds() * 1000);
    PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
    while (PQstatus(conn) != CONNECTION_BAD) {
        const int ready = waitFor(PQsocket(conn), polling == PGRES_POLLING_READING ? POLLIN : POLLOUT,
                                  int(deadline.remainingTime()));
        if (ready < 0) {
            PQfinish(conn);
            throw DatasetError(QStringLiteral("connection abandoned"), DatasetError::Kind::Unavailable, unreachableText());
        }
        if (ready == 0) {
            PQfinish(conn);
            lostConnection(QStringLiteral("no connection within %1 s").arg(m_location.connectTimeoutSeconds()));
        }
        polling = PQconnectPoll(conn);
        if (polling == PGRES_POLLING_OK)
            return conn;
        if (polling == PGRES_POLLING_FAILED)
            break;
    }
    const QString why = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    // The server answered but wants a password, or refused the one given:
    // the network is fine, the desk's set-up is not.
    const bool noPassword = PQconnectionNeedsPassword(conn);
    const bool passwordRefused = !noPassword && PQconnectionUsedPassword(conn);
    const QString user = QString::fromUtf8(PQuser(conn));
    const QByteArray sqlstate = sqlstateIn(why);
    PQfinish(conn);
    const QString english = QStringLiteral("registry server %1:%2: %3").arg(m_location.host).arg(m_location.port).arg(why);
    if (noPassword || passwordRefused || sqlstate == "28P01")
        throw DatasetError(english, DatasetError::Kind::Unavailable,
                           told(noPassword ? QStringLiteral("pede a senha do usuário %1, que não está neste computador: "
                                                            "ponha-a em ~/.pgpass ou em PGPASSWORD")
                                                 .arg(user)
                                           : QStringLiteral("recusou a senha do usuário %1: confira ~/.pgpass ou "
                                                            "PGPASSWORD")
                                                 .arg(user),
                                false));
    if (sqlstate.isEmpty())
        lostConnection(why); // no server answered: refused, timed out, no route, no such name
    refused(sqlstate, why);
}

void ServerRegistry::connectToServer()
{
    if (m_conn)
        return;
    PGconn *conn = open();
    configure(conn);
    m_conn = conn;
    m_prepared.clear();
    try {
        checkTables();
    } catch (...) {
        disconnectFromServer();
        throw;
    }
}

void ServerRegistry::checkTables(bool made)
{
    // Read from the catalog: nothing written, no lock on the tables taken.
    QStringList faults;
    bool missing = false;
    {
        const Result r = runText(kCatalog);
        for (int i = 0; i < r.rows() && i < int(std::size(kTables)); ++i) {
            const TableRules &table = kTables[i];
            const QString name = QLatin1String(table.name);
            if (r.null(i, 1)) {
                missing = true;
                continue;
            }
            if (r.text(i, 1) != QLatin1String("r")) {
                faults << QStringLiteral("%1 não é uma tabela").arg(name);
                continue;
            }
            if (r.text(i, 2) != QLatin1String(table.columns))
                faults << QStringLiteral("as colunas de %1 não são as do programa (%2)")
                              .arg(name, QString::fromLatin1(table.columns).remove(QStringLiteral(" not null")));
            QStringList found = r.text(i, 3).split(QLatin1Char('|'), Qt::SkipEmptyParts);
            for (QString &f : found)
                f = plain(f);
            for (const auto &[rule, told] : table.constraints)
                if (!found.removeOne(plain(QLatin1String(rule))))
                    faults << QStringLiteral("falta %1").arg(QString::fromUtf8(told));
            if (!found.isEmpty())
                faults << QStringLiteral("%1 tem regras que o programa não conhece").arg(name);
            if (!r.text(i, 4).split(QLatin1Char('|')).contains(QLatin1String(table.trigger)))
                missing = true; // made below: the other computers hear of changes through it
        }
    }
    if (missing && made)
        faults << QStringLiteral("as tabelas feitas pelo programa não são encontradas (confira o search_path do "
                                 "usuário)");
    if (!faults.isEmpty())
        refuseTables(faults);
    if (missing) {
        makeTables();
        checkTables(true);
    }
}

void ServerRegistry::makeTables()
{
    // Only in a database without them (or without their triggers), once.
    m_makingTables = true;
    try {
        runText("BEGIN");
        for (const char *sql : kSchema)
            runText(sql);
        runText("COMMIT");
    } catch (...) {
        m_makingTables = false;
        throw;
    }
    m_makingTables = false;
}

void ServerRegistry::refuseTables(const QStringList &faults)
{
    disconnectFromServer();
    throw DatasetError(
        QStringLiteral("registry server %1:%2: the tables validadas and cartoes of database %3 lack the keys and rules "
                       "of the registry (%4)")
            .arg(m_location.host)
            .arg(m_location.port)
            .arg(m_location.database, faults.join(QStringLiteral("; "))),
        DatasetError::Kind::Other,
        QStringLiteral("O banco %1 do servidor do registro de validação (%2) tem tabelas validadas e cartoes que não "
                       "foram feitas por este programa: %3. Para que nenhuma cartela seja registrada duas vezes, o "
                       "registro não é usado: corrija as tabelas ou use um banco vazio, onde o programa as faz.")
            .arg(m_location.database, m_location.host, faults.join(QStringLiteral("; "))));
}

void ServerRegistry::disconnectFromServer()
{
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
    m_prepared.clear();
}

ServerRegistry::Result ServerRegistry::answer(int sent, const char *what)
{
    if (!sent)
        lostConnection(QString::fromUtf8(PQerrorMessage(m_conn)));
    const QDeadlineTimer deadline(m_answerWait);
    // A large statement goes out in parts; what the server says meanwhile is taken in.
    for (int pending = PQflush(m_conn); pending == 1; pending = PQflush(m_conn)) {
        if (waitFor(PQsocket(m_conn), POLLIN | POLLOUT, int(deadline.remainingTime())) <= 0)
            giveUp(what);
        if (!PQconsumeInput(m_conn))
            break;
    }
    while (PQisBusy(m_conn)) {
        const int ready = waitFor(PQsocket(m_conn), POLLIN, int(deadline.remainingTime()));
        if (ready <= 0)
            giveUp(what);
        if (!PQconsumeInput(m_conn))
            break; // PQgetResult reports the broken connection without waiting
    }
    Result r(PQgetResult(m_conn));
    while (PGresult *more = PQgetResult(m_conn))
        PQclear(more);
    if (!r.ok() && PQstatus(m_conn) != CONNECTION_OK)
        lostConnection(QString::fromUtf8(PQerrorMessage(m_conn)));
    return r;
}

ServerRegistry::Result ServerRegistry::runText(const char *sql)
{
    // Fixed statements without parameters only: the catalog, the tables, LISTEN.
    Result r = answer(PQsendQueryParams(m_conn, sql, 0, nullptr, nullptr, nullptr, nullptr, 0), sql);
    if (!r.ok())
        failWith(r);
    return r;
}

ServerRegistry::Result ServerRegistry::must(const char *name, const std::vector<QByteArray> &params)
{
    Result r = run(name, params);
    if (!r.ok())
        failWith(r);
    return r;
}

ServerRegistry::Result ServerRegistry::run(const char *name, const std::vector<QByteArray> &params)
{
    // A connection the server closed since the last statement (a restart, a
    // shutdown) is replaced before this statement is sent; a statement that
    // begins an operation is sent once more on a new connection when the old
    // one proves dead. Once an operation is under way, a failure is the caller's.
    const bool begins = qstrcmp(name, "begin") == 0 || qstrcmp(name, "begin_snapshot") == 0;
    const PGTransactionStatusType state = m_conn ? PQtransactionStatus(m_conn) : PQTRANS_UNKNOWN;
    if (m_conn && (state == PQTRANS_IDLE || state == PQTRANS_UNKNOWN)) {
        bool stale = !PQconsumeInput(m_conn) || PQstatus(m_conn) != CONNECTION_OK;
        // Anything the server said while the connection was idle is its goodbye.
        while (!stale && !PQisBusy(m_conn)) {
            PGresult *said = PQgetResult(m_conn);
            if (!said)
                break;
            PQclear(said);
            stale = true;
        }
        if (stale)
            disconnectFromServer();
    }
    if (begins && m_conn && PQtransactionStatus(m_conn) == PQTRANS_IDLE) {
        try {
            return send(name, params);
        } catch (const DatasetError &e) {
            if (e.kind() != DatasetError::Kind::Unavailable || m_conn || m_gaveUp)
                throw;
            // the connection was dead: once more on a new one
        }
    }
    connectToServer();
    return send(name, params);
}

ServerRegistry::Result ServerRegistry::send(const char *name, const std::vector<QByteArray> &params)
{
    m_gaveUp = false;
    if (!m_prepared.contains(name)) {
        const Result prepared = answer(PQsendPrepare(m_conn, name, sqlOf(name), 0, nullptr), name);
        if (!prepared.ok())
            failWith(prepared);
        m_prepared.insert(name);
    }
    std::vector<const char *> values;
    for (const QByteArray &p : params)
        values.push_back(p.constData());
    return answer(PQsendQueryPrepared(m_conn, name, int(values.size()), values.data(), nullptr, nullptr, 0), name);
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
    const Writing entry(m_writing);
    const Result r = write("add_card", {serie.toUtf8(), number(card)});
    if (r.ok())
        return true;
    if (r.state() == "23505") // unique_violation: entered meanwhile, maybe by another desk
        return false;
    failWith(r);
}

bool ServerRegistry::removeCard(const QString &serie, int card)
{
    const Writing entry(m_writing);
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
    const Writing entry(m_writing);
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
    const Writing entry(m_writing);
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
    const Writing entry(m_writing);
    const Result r = write("remove_ticket", {serie.toUtf8(), number(ticket)});
    if (!r.ok())
        failWith(r);
    return r.affected() > 0;
}

void ServerRegistry::clear()
{
    const Writing entry(m_writing);
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
    const Writing entry(m_writing);
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

void ServerRegistry::listen()
{
    connectToServer();
    runText("LISTEN bolaris_registro");
}

void ServerRegistry::ping()
{
    connectToServer();
    runText("SELECT 1");
}

int ServerRegistry::socket() const { return m_conn ? PQsocket(m_conn) : -1; }

int ServerRegistry::backendPid() const { return m_conn ? PQbackendPID(m_conn) : 0; }

bool ServerRegistry::takeChanges(int ignoredSession)
{
    if (!m_conn || !PQconsumeInput(m_conn) || PQstatus(m_conn) != CONNECTION_OK)
        lostConnection(m_conn ? QString::fromUtf8(PQerrorMessage(m_conn)) : QStringLiteral("no connection"));
    bool heard = false;
    while (PGnotify *n = PQnotifies(m_conn)) {
        heard = heard || (qstrcmp(n->relname, kChannel) == 0 && n->be_pid != ignoredSession);
        PQfreemem(n);
    }
    return heard;
}

} // namespace bolaris
