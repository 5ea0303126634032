// The answers of the hall's web page to any request line: only GET and HEAD
// get anything, only the page's own files, the state and existing cards answer
// 200, and a card answer never holds more than the six printed tickets.
#include "FuzzSupport.h"

#include "cards/CardStore.h"
#include "web/WebSite.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>

using namespace bolaris;

namespace {

const WebSite &site()
{
    static const WebSite s = [] {
        CartelaTable cards;
        cards.storeSeriesA();
        WebSite made(WebSite::snapshot(cards));
        made.setState(R"({"sorteio":1,"pedras":[7]})");
        return made;
    }();
    return s;
}

const QStringList kServed = {"/", "/cartela", "/bolaris.css", "/sorteio.js", "/cartela.js", "/aovivo.js",
                             "/LiberationSans-Bold.ttf", "/estado", "/cartela.json"};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray line = bytes.left(bytes.indexOf('\n')).trimmed();
    const qsizetype space = line.indexOf(' ');
    const QByteArray method = space < 0 ? line : line.left(space);
    const QByteArray target = space < 0 ? QByteArray("/") : line.mid(space + 1).split(' ').value(0);
    for (const QUrl &url : {QUrl::fromEncoded(target), QUrl(QString::fromUtf8(target))}) {
        const WebReply reply = site().reply(method, url);
        const bool readOnly = method == "GET" || method == "HEAD";
        FUZZ_CHECK(readOnly || reply.status == 405, "a method other than GET or HEAD got an answer");
        FUZZ_CHECK(reply.status == 200 || reply.status == 404 || reply.status == 405, "an unexpected status");
        if (reply.status != 200)
            continue;
        FUZZ_CHECK(kServed.contains(url.path(QUrl::FullyEncoded)), QStringLiteral("served %1").arg(url.path()));
        FUZZ_CHECK(!reply.body.isEmpty(), "an empty answer");
        if (url.path() == QLatin1String("/cartela.json")) {
            const QJsonObject card = QJsonDocument::fromJson(reply.body).object();
            FUZZ_CHECK(card.keys() == (QStringList{"cartoes", "numero", "serie"}), "a card answer with more than its tickets");
            FUZZ_CHECK(card.value("cartoes").toArray().size() == 6, "a card without six tickets");
        }
    }
    return 0;
}
