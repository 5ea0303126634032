#include "RegistryLocation.h"

#include "dataset/WorkDir.h"

#include <QFile>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

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
    // The text shown back is cut short: an address may be any length.
    const QString shown = trimmed.size() > 80 ? trimmed.left(80) + QStringLiteral("…") : trimmed;
    auto fail = [&](const QString &why, const QString &porque) {
        loc.error = QStringLiteral("registry URL %1: %2").arg(shown, why);
        loc.errorPortuguese = QStringLiteral("%1 (%2)").arg(porque, shown);
        loc.host.clear();
        return loc;
    };
    if (!url.isValid() || (url.scheme() != QLatin1String("postgresql") && url.scheme() != QLatin1String("postgres")))
        return fail(QStringLiteral("not of the form postgresql://USER@HOST:PORT/DATABASE"),
                    QStringLiteral("não está na forma postgresql://USUÁRIO@SERVIDOR:PORTA/BANCO"));
    if (!url.password().isEmpty())
        return fail(QStringLiteral("holds a password; put it in ~/.pgpass or PGPASSWORD instead"),
                    QStringLiteral("traz uma senha, que deve ficar em ~/.pgpass ou em PGPASSWORD"));
    loc.host = url.host();
    loc.user = url.userName();
    loc.database = url.path().mid(1);
    if (loc.host.isEmpty())
        return fail(QStringLiteral("no server named"), QStringLiteral("não diz o servidor"));
    if (loc.database.isEmpty() || loc.database.contains(QLatin1Char('/')))
        return fail(QStringLiteral("no database named"), QStringLiteral("não diz o banco"));
    if (url.port() == 0)
        return fail(QStringLiteral("port 0"), QStringLiteral("a porta 0 não existe"));
    if (url.port() > 0)
        loc.port = url.port();
    // The server takes names of up to 63 bytes and no control characters.
    const auto unusable = [](const QString &name) {
        return name.toUtf8().size() > 63 ||
               std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
    };
    if (unusable(loc.database))
        return fail(QStringLiteral("the database name is over 63 bytes or holds a control character"),
                    QStringLiteral("o nome do banco passa de 63 letras ou tem um caractere de controle"));
    if (unusable(loc.user))
        return fail(QStringLiteral("the user name is over 63 bytes or holds a control character"),
                    QStringLiteral("o nome do usuário passa de 63 letras ou tem um caractere de controle"));
    const QUrlQuery query(url);
    for (const auto &item : query.queryItems(QUrl::FullyDecoded)) {
        if (!kAllowedOptions.contains(item.first))
            return fail(QStringLiteral("unknown option %1").arg(item.first),
                        QStringLiteral("a opção %1 não é aceita").arg(item.first.left(40)));
        if (std::any_of(item.second.cbegin(), item.second.cend(), [](QChar c) { return c.unicode() < 0x20; }) ||
            item.second.size() > 1024)
            return fail(QStringLiteral("option %1 holds a control character or is too long").arg(item.first),
                        QStringLiteral("a opção %1 tem um caractere de controle ou é longa demais").arg(item.first));
        bool ok = true;
        if (item.first == QLatin1String("connect_timeout") && (item.second.toInt(&ok) < 1 || !ok))
            return fail(QStringLiteral("connect_timeout is not a number of seconds"),
                        QStringLiteral("connect_timeout não é um número de segundos"));
    }
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
    // keepalives that notice a lost connection within seconds. The server is
    // told the same of the session, so that it drops a session whose desk has
    // vanished (mid-entry too) within seconds, not after the system's two
    // hours, and no statement or lock wait holds a desk long. The URL's own
    // options come later and win.
    parts << QStringLiteral("connect_timeout=3 keepalives=1 keepalives_idle=5 keepalives_interval=2 "
                            "keepalives_count=2 tcp_user_timeout=5000 application_name=bolaris")
          << QStringLiteral("options='-c idle_in_transaction_session_timeout=5000 -c statement_timeout=3000 "
                            "-c lock_timeout=2000 -c tcp_keepalives_idle=5 -c tcp_keepalives_interval=2 "
                            "-c tcp_keepalives_count=2 -c tcp_user_timeout=5000'");
    for (const auto &item : QUrlQuery(QUrl(url)).queryItems(QUrl::FullyDecoded))
        parts << item.first + QLatin1Char('=') + quoted(item.second);
    return parts.join(QLatin1Char(' '));
}

int RegistryLocation::connectTimeoutSeconds() const
{
    const QString given = QUrlQuery(QUrl(url)).queryItemValue(QStringLiteral("connect_timeout"));
    return given.isEmpty() ? 3 : std::clamp(given.toInt(), 1, 60);
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
