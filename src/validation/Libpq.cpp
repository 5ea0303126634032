// The libpq functions the programs call, defined here under libpq's own
// declarations: libpq (with Kerberos, LDAP and TLS behind it) is loaded on
// the first call, so a start that keeps its registry in the working folder
// never loads it. Without the library every call fails as on a connection
// that cannot be made, and PQerrorMessage tells why.

#include "Libpq.h"

#include <libpq-fe.h>

#include <dlfcn.h>

#include <string>

namespace {

#define BOLARIS_LIBPQ_FUNCTIONS(X)                                                                                    \
    X(PQconnectdb)                                                                                                    \
    X(PQconnectStart)                                                                                                 \
    X(PQconnectPoll)                                                                                                  \
    X(PQfinish)                                                                                                       \
    X(PQstatus)                                                                                                       \
    X(PQtransactionStatus)                                                                                            \
    X(PQerrorMessage)                                                                                                 \
    X(PQsocket)                                                                                                       \
    X(PQbackendPID)                                                                                                   \
    X(PQconnectionNeedsPassword)                                                                                      \
    X(PQconnectionUsedPassword)                                                                                       \
    X(PQuser)                                                                                                         \
    X(PQsetNoticeProcessor)                                                                                           \
    X(PQsetErrorVerbosity)                                                                                            \
    X(PQsetnonblocking)                                                                                               \
    X(PQflush)                                                                                                        \
    X(PQexec)                                                                                                         \
    X(PQsendQueryParams)                                                                                              \
    X(PQsendPrepare)                                                                                                  \
    X(PQsendQueryPrepared)                                                                                            \
    X(PQgetResult)                                                                                                    \
    X(PQisBusy)                                                                                                       \
    X(PQconsumeInput)                                                                                                 \
    X(PQnotifies)                                                                                                     \
    X(PQresultStatus)                                                                                                 \
    X(PQresultErrorMessage)                                                                                           \
    X(PQresultErrorField)                                                                                             \
    X(PQntuples)                                                                                                      \
    X(PQgetvalue)                                                                                                     \
    X(PQgetisnull)                                                                                                    \
    X(PQcmdTuples)                                                                                                    \
    X(PQclear)                                                                                                        \
    X(PQfreemem)

struct Libpq {
#define BOLARIS_POINTER(name) decltype(&::name) name = nullptr;
    BOLARIS_LIBPQ_FUNCTIONS(BOLARIS_POINTER)
#undef BOLARIS_POINTER
    std::string error; // why it could not be loaded
};

// Loaded once, on the first call from any thread; all its functions or none.
const Libpq &libpq()
{
    static const Libpq loaded = [] {
        Libpq l;
        void *handle = dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char *why = dlerror();
            l.error = std::string(why ? why : "libpq.so.5 could not be loaded") + "\n";
            return l;
        }
        bool all = true;
#define BOLARIS_LOAD(name)                                                                                            \
    l.name = reinterpret_cast<decltype(l.name)>(dlsym(handle, #name));                                                \
    all = all && l.name;
        BOLARIS_LIBPQ_FUNCTIONS(BOLARIS_LOAD)
#undef BOLARIS_LOAD
        if (!all) {
            l = Libpq();
            l.error = "libpq.so.5 lacks functions this program calls\n";
        }
        return l;
    }();
    return loaded;
}

char *noText() { return const_cast<char *>(""); }

} // namespace

// Without the library no connection or result ever exists: each function
// answers as libpq does for a connection that failed or for none at all.
extern "C" {

PGconn *PQconnectdb(const char *conninfo)
{
    return libpq().PQconnectdb ? libpq().PQconnectdb(conninfo) : nullptr;
}

PGconn *PQconnectStart(const char *conninfo)
{
    return libpq().PQconnectStart ? libpq().PQconnectStart(conninfo) : nullptr;
}

PostgresPollingStatusType PQconnectPoll(PGconn *conn)
{
    return libpq().PQconnectPoll ? libpq().PQconnectPoll(conn) : PGRES_POLLING_FAILED;
}

void PQfinish(PGconn *conn)
{
    if (libpq().PQfinish)
        libpq().PQfinish(conn);
}

ConnStatusType PQstatus(const PGconn *conn) { return libpq().PQstatus ? libpq().PQstatus(conn) : CONNECTION_BAD; }

PGTransactionStatusType PQtransactionStatus(const PGconn *conn)
{
    return libpq().PQtransactionStatus ? libpq().PQtransactionStatus(conn) : PQTRANS_UNKNOWN;
}

char *PQerrorMessage(const PGconn *conn)
{
    return libpq().PQerrorMessage ? libpq().PQerrorMessage(conn) : const_cast<char *>(libpq().error.c_str());
}

int PQsocket(const PGconn *conn) { return libpq().PQsocket ? libpq().PQsocket(conn) : -1; }

int PQbackendPID(const PGconn *conn) { return libpq().PQbackendPID ? libpq().PQbackendPID(conn) : 0; }

int PQconnectionNeedsPassword(const PGconn *conn)
{
    return libpq().PQconnectionNeedsPassword ? libpq().PQconnectionNeedsPassword(conn) : 0;
}

int PQconnectionUsedPassword(const PGconn *conn)
{
    return libpq().PQconnectionUsedPassword ? libpq().PQconnectionUsedPassword(conn) : 0;
}

char *PQuser(const PGconn *conn) { return libpq().PQuser ? libpq().PQuser(conn) : nullptr; }

PQnoticeProcessor PQsetNoticeProcessor(PGconn *conn, PQnoticeProcessor proc, void *arg)
{
    return libpq().PQsetNoticeProcessor ? libpq().PQsetNoticeProcessor(conn, proc, arg) : nullptr;
}

PGVerbosity PQsetErrorVerbosity(PGconn *conn, PGVerbosity verbosity)
{
    return libpq().PQsetErrorVerbosity ? libpq().PQsetErrorVerbosity(conn, verbosity) : PQERRORS_DEFAULT;
}

int PQsetnonblocking(PGconn *conn, int arg) { return libpq().PQsetnonblocking ? libpq().PQsetnonblocking(conn, arg) : -1; }

int PQflush(PGconn *conn) { return libpq().PQflush ? libpq().PQflush(conn) : -1; }

PGresult *PQexec(PGconn *conn, const char *query) { return libpq().PQexec ? libpq().PQexec(conn, query) : nullptr; }

int PQsendQueryParams(PGconn *conn, const char *command, int nParams, const Oid *paramTypes,
                      const char *const *paramValues, const int *paramLengths, const int *paramFormats,
                      int resultFormat)
{
    return libpq().PQsendQueryParams ? libpq().PQsendQueryParams(conn, command, nParams, paramTypes, paramValues,
                                                                  paramLengths, paramFormats, resultFormat)
                                     : 0;
}

int PQsendPrepare(PGconn *conn, const char *stmtName, const char *query, int nParams, const Oid *paramTypes)
{
    return libpq().PQsendPrepare ? libpq().PQsendPrepare(conn, stmtName, query, nParams, paramTypes) : 0;
}

int PQsendQueryPrepared(PGconn *conn, const char *stmtName, int nParams, const char *const *paramValues,
                        const int *paramLengths, const int *paramFormats, int resultFormat)
{
    return libpq().PQsendQueryPrepared ? libpq().PQsendQueryPrepared(conn, stmtName, nParams, paramValues,
                                                                      paramLengths, paramFormats, resultFormat)
                                       : 0;
}

PGresult *PQgetResult(PGconn *conn) { return libpq().PQgetResult ? libpq().PQgetResult(conn) : nullptr; }

int PQisBusy(PGconn *conn) { return libpq().PQisBusy ? libpq().PQisBusy(conn) : 0; }

int PQconsumeInput(PGconn *conn) { return libpq().PQconsumeInput ? libpq().PQconsumeInput(conn) : 0; }

PGnotify *PQnotifies(PGconn *conn) { return libpq().PQnotifies ? libpq().PQnotifies(conn) : nullptr; }

ExecStatusType PQresultStatus(const PGresult *res)
{
    return libpq().PQresultStatus ? libpq().PQresultStatus(res) : PGRES_FATAL_ERROR;
}

char *PQresultErrorMessage(const PGresult *res)
{
    return libpq().PQresultErrorMessage ? libpq().PQresultErrorMessage(res) : noText();
}

char *PQresultErrorField(const PGresult *res, int fieldcode)
{
    return libpq().PQresultErrorField ? libpq().PQresultErrorField(res, fieldcode) : nullptr;
}

int PQntuples(const PGresult *res) { return libpq().PQntuples ? libpq().PQntuples(res) : 0; }

char *PQgetvalue(const PGresult *res, int tup_num, int field_num)
{
    return libpq().PQgetvalue ? libpq().PQgetvalue(res, tup_num, field_num) : noText();
}

int PQgetisnull(const PGresult *res, int tup_num, int field_num)
{
    return libpq().PQgetisnull ? libpq().PQgetisnull(res, tup_num, field_num) : 1;
}

char *PQcmdTuples(PGresult *res) { return libpq().PQcmdTuples ? libpq().PQcmdTuples(res) : noText(); }

void PQclear(PGresult *res)
{
    if (libpq().PQclear)
        libpq().PQclear(res);
}

void PQfreemem(void *ptr)
{
    if (libpq().PQfreemem)
        libpq().PQfreemem(ptr);
}

} // extern "C"

QString bolaris::libpqLoadError() { return QString::fromLocal8Bit(libpq().error).trimmed(); }
