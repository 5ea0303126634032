#pragma once

#include <QString>

namespace bolaris {

// Where the validation registry lives: the two files of the working folder,
// or a PostgreSQL database named by a URL
// "postgresql://USER@HOST:PORT/DATABASE?sslmode=...". Passwords are never
// part of it: libpq finds them in ~/.pgpass or PGPASSWORD.
struct RegistryLocation {
    QString url; // empty: the working folder's files
    QString host;
    int port = 5432;
    QString user;
    QString database;
    QString error;           // why the text given is no usable registry URL (English)
    QString errorPortuguese; // the same for the operator

    bool isServer() const { return !url.isEmpty(); }
    bool isValid() const { return error.isEmpty(); }
    // "Registro: servidor HOST", "Registro: arquivos locais", or
    // "Registro: endereço inválido" for a URL that names no server.
    QString caption() const;
    // The libpq connection string: a bounded connect, keepalives that notice
    // a lost link within seconds, and the session's limits on the server
    // (an idle transaction, a statement, a wait for a lock, the server's own
    // keepalives), so that a desk that vanishes mid-entry holds nothing long.
    QString conninfo() const;
    // How long a connection attempt may take (connect_timeout, 3 s unless the URL says otherwise).
    int connectTimeoutSeconds() const;

    static RegistryLocation parse(const QString &url);
    // The registry= line of "bolaris.conf" in dir; nothing when there is none.
    static QString fromConfFile(const QString &dir);
    // The first source that names a registry: the given URL (a command-line
    // option), BOLARIS_REGISTRY, then "bolaris.conf" in dir.
    static RegistryLocation choose(const QString &dir, const QString &option = {});

    static constexpr const char *kConfFile = "bolaris.conf";
    static constexpr const char *kEnvironment = "BOLARIS_REGISTRY";
};

} // namespace bolaris
