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
    QString error; // why the text given is no usable registry URL (English)

    bool isServer() const { return !url.isEmpty(); }
    bool isValid() const { return error.isEmpty(); }
    // "Registro: servidor HOST", "Registro: arquivos locais", or
    // "Registro: endereço inválido" for a URL that names no server.
    QString caption() const;
    // The libpq connection string, with a bounded connect timeout.
    QString conninfo() const;

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
