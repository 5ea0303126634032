#include "RegistryLocation.h"

#include "dataset/WorkDir.h"

#include <QFile>
#include <QUrl>
#include <QUrlQuery>

namespace bolaris {

namespace {

// The libpq options a URL may carry; the rest would be surprises.
// host= in the query names a local socket folder instead of the URL's host.
const QStringList kAllowedOptions = {QStringLiteral("host"), QStringLiteral("sslmode"), QStringLiteral("sslrootcert"),
                                     QStringLiteral("connect_timeout"), QStringLiteral("application_name")};

QString quoted(const QString &value)
{
    QString v = value;
    v.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

} // namespace

RegistryLocation RegistryLocation::parse(const QString &text)
{
    RegistryLocation loc;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return loc;
    loc.url = trimmed;
    const QUrl url(trimmed, QUrl::StrictMode);
    auto fail = [&](const QString &why) {
        loc.error = QStringLiteral("registry URL %1: %2").arg(trimmed, why);
        return loc;
    };
    if (!url.isValid() || (url.scheme() != QLatin1String("postgresql") && url.scheme() != QLatin1String("postgres")))
        return fail(QStringLiteral("not of the form postgresql://USER@HOST:PORT/DATABASE"));
    if (!url.password().isEmpty())
        return fail(QStringLiteral("holds a password; put it in ~/.pgpass or PGPASSWORD instead"));
    loc.host = url.host();
    loc.user = url.userName();
    loc.database = url.path().mid(1);
    if (loc.host.isEmpty())
        return fail(QStringLiteral("no server named"));
    if (loc.database.isEmpty() || loc.database.contains(QLatin1Char('/')))
        return fail(QStringLiteral("no database named"));
    if (url.port() == 0)
        return fail(QStringLiteral("port 0"));
    if (url.port() > 0)
        loc.port = url.port();
    const QUrlQuery query(url);
    for (const auto &item : query.queryItems(QUrl::FullyDecoded))
        if (!kAllowedOptions.contains(item.first))
            return fail(QStringLiteral("unknown option %1").arg(item.first));
    return loc;
}

QString RegistryLocation::caption() const
{
    if (!isServer())
        return QStringLiteral("Registro: arquivos locais");
    return isValid() ? QStringLiteral("Registro: servidor %1").arg(host) : QStringLiteral("Registro: endereço inválido");
}

QString RegistryLocation::conninfo() const
{
    QStringList parts{QStringLiteral("host=") + quoted(host), QStringLiteral("port=%1").arg(port),
                      QStringLiteral("dbname=") + quoted(database)};
    if (!user.isEmpty())
        parts << QStringLiteral("user=") + quoted(user);
    // No desk waits long for a server that is gone: a bounded connect, and
    // keepalives that notice a lost connection within seconds. The URL's own
    // options come later and win.
    parts << QStringLiteral("connect_timeout=3 keepalives_idle=5 keepalives_interval=2 keepalives_count=2 "
                            "tcp_user_timeout=5000 application_name=bolaris");
    for (const auto &item : QUrlQuery(QUrl(url)).queryItems(QUrl::FullyDecoded))
        parts << item.first + QLatin1Char('=') + quoted(item.second);
    return parts.join(QLatin1Char(' '));
}

QString RegistryLocation::fromConfFile(const QString &dir)
{
    if (!WorkDir::exists(dir, QLatin1String(kConfFile)))
        return {};
    QFile file(WorkDir::resolve(dir, QLatin1String(kConfFile)));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QString found;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == QLatin1String("registro"))
            found = line.mid(eq + 1).trimmed(); // the last line counts
    }
    return found;
}

RegistryLocation RegistryLocation::choose(const QString &dir, const QString &option)
{
    if (!option.isEmpty())
        return parse(option);
    const QString env = qEnvironmentVariable(kEnvironment);
    if (!env.trimmed().isEmpty())
        return parse(env);
    return parse(fromConfFile(dir));
}

} // namespace bolaris
