#include "WebSite.h"

#include "cards/CardStore.h"
#include "cards/UnitCart.h"
#include "dataset/StrictInt.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

namespace bolaris {

namespace {

struct Resource {
    const char *path;
    const char *file;
    const char *type;
};

// Every file the page is made of; nothing outside this table is served.
constexpr Resource kResources[] = {
    {"/", "index.html", "text/html; charset=utf-8"},
    {"/cartela", "cartela.html", "text/html; charset=utf-8"},
    {"/bolaris.css", "bolaris.css", "text/css; charset=utf-8"},
    {"/sorteio.js", "sorteio.js", "text/javascript; charset=utf-8"},
    {"/cartela.js", "cartela.js", "text/javascript; charset=utf-8"},
    {"/aovivo.js", "aovivo.js", "text/javascript; charset=utf-8"},
    {"/LiberationSans-Bold.ttf", "LiberationSans-Bold.ttf", "font/ttf"},
};

WebReply text(int status, const char *message)
{
    return {status, "text/plain; charset=utf-8", QByteArray(message)};
}

} // namespace

WebSite::WebSite(std::shared_ptr<const std::vector<std::string>> cards) : m_cards(std::move(cards)) {}

std::shared_ptr<const std::vector<std::string>> WebSite::snapshot(const CartelaTable &cards)
{
    auto copy = std::make_shared<std::vector<std::string>>(size_t(kCardCount + 1));
    for (int i = 1; i <= kCardCount; ++i)
        (*copy)[size_t(i)] = std::string(cards.entry(i));
    return copy;
}

WebReply WebSite::reply(QByteArrayView method, const QUrl &url) const
{
    if (method != "GET" && method != "HEAD")
        return text(405, "Método não permitido.\n");
    const QString path = url.path(QUrl::FullyEncoded);
    if (path == QLatin1String("/estado"))
        return {200, "application/json", m_state};
    if (path == QLatin1String("/cartela.json")) {
        const QUrlQuery query(url);
        const QByteArray card = cardJson(query.queryItemValue(QStringLiteral("serie"), QUrl::FullyDecoded),
                                         query.queryItemValue(QStringLiteral("numero"), QUrl::FullyDecoded));
        if (card.isEmpty())
            return {404, "application/json", QByteArray("{\"erro\":\"Cartela não encontrada.\"}")};
        return {200, "application/json", card};
    }
    // The files are read once; every answer shares those bytes, so a client
    // that asks for the font a thousand times costs no more than one copy.
    static const std::vector<QByteArray> bodies = [] {
        std::vector<QByteArray> read;
        for (const Resource &r : kResources) {
            QFile file(QStringLiteral(":/bolaris/web/") + QLatin1String(r.file));
            read.push_back(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
        }
        return read;
    }();
    for (size_t i = 0; i < std::size(kResources); ++i)
        if (path == QLatin1String(kResources[i].path) && !bodies[i].isEmpty())
            return {200, kResources[i].type, bodies[i]};
    return text(404, "Página não encontrada.\n");
}

QByteArray WebSite::cardJson(const QString &series, const QString &number) const
{
    if (!m_cards || series.size() != 1)
        return {};
    const char letter = series.at(0).toUpper().toLatin1();
    const std::optional<int> card = parseStrictInt(number);
    if (!IsSeriesLetter(letter) || !card || *card < 1 || *card > kCardsPerSeries)
        return {};
    const std::string &entry = (*m_cards)[size_t(CardIndex(letter, *card))];
    if (!IsReadableCard(entry))
        return {};
    QJsonArray tickets;
    for (int position = 1; position <= 6; ++position) {
        const Grid3x9 grid = TicketGrid(entry, position);
        QJsonArray rows;
        for (const auto &row : grid) {
            QJsonArray places;
            for (std::string_view cell : row)
                places.append(cell.empty() ? 0 : CellNumber(cell));
            rows.append(places);
        }
        tickets.append(QJsonObject{{QStringLiteral("cartao"), TicketNumber(*card, position)},
                                   {QStringLiteral("linhas"), rows}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("serie"), QString(QChar(letter))},
                                     {QStringLiteral("numero"), *card},
                                     {QStringLiteral("cartoes"), tickets}})
        .toJson(QJsonDocument::Compact);
}

} // namespace bolaris
