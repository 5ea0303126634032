// The hall's web server's reading of what a client sends, and its answers.
// Any bytes, as a request line for the site's answers, and as the stream one
// connection receives, taken whole and in pieces:
//   - only GET and HEAD get anything, only the page's own files, the state
//     and existing cards answer 200, and a card answer holds only the six
//     printed tickets;
//   - every answer is a well-formed head with a known status, the bytes kept
//     stay within the limits, and nothing is answered once the exchange ended;
//   - the answers do not depend on how the bytes were cut into pieces.
#include "FuzzSupport.h"

#include "cards/CardStore.h"
#include "web/WebExchange.h"
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

void checkRequestLine(const QByteArray &bytes)
{
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
}

struct Heard {
    QByteArrayList statuses; // of the answer heads, in order
    bool closeFrame = false;
    WebExchange::Phase phase = WebExchange::Phase::Requests;
};

// The bytes fed step bytes at a time, as a connection would, with small limits.
Heard converse(QByteArrayView bytes, qsizetype step)
{
    WebLimits limits;
    limits.maxLine = 256;
    limits.maxHead = 1024;
    limits.maxFrame = 64;
    WebExchange exchange(site(), limits);
    Heard heard;
    for (qsizetype at = 0; at < bytes.size();) {
        WebExchange::Reply reply;
        const WebExchange::Phase before = exchange.phase();
        const qsizetype taken = exchange.receive(bytes.sliced(at, std::min(step, bytes.size() - at)), reply);
        FUZZ_CHECK(taken >= 0 && taken <= step, "took more than it was given");
        FUZZ_CHECK(exchange.held() <= 3 * limits.maxLine + 4 * 256 + 200, "kept more than the limits allow");
        if (before == WebExchange::Phase::Ended) {
            FUZZ_CHECK(taken == 0 && reply.chunks.isEmpty(), "took or said something after the end");
            break;
        }
        FUZZ_CHECK(taken > 0 || exchange.phase() == WebExchange::Phase::Ended, "took nothing and did not end");
        for (const QByteArray &chunk : std::as_const(reply.chunks)) {
            if (chunk.startsWith("HTTP/1.1 ")) {
                const QByteArray status = chunk.mid(9, 3);
                static const QByteArrayList known = {"101", "200", "400", "404", "405", "414", "426", "431"};
                FUZZ_CHECK(known.contains(status), QStringLiteral("status %1").arg(QString::fromLatin1(status)));
                FUZZ_CHECK(chunk.contains("\r\n\r\n"), "an answer head without its end");
                FUZZ_CHECK(before == WebExchange::Phase::Requests, "an answer head on the live feed");
                heard.statuses << status;
            } else if (before == WebExchange::Phase::Live) {
                FUZZ_CHECK(chunk.size() >= 2 && (uchar(chunk[0]) == 0x8a || uchar(chunk[0]) == 0x88),
                           "a live frame other than a pong or a close");
                heard.closeFrame = heard.closeFrame || uchar(chunk[0]) == 0x88;
            }
        }
        FUZZ_CHECK(!reply.close || exchange.phase() == WebExchange::Phase::Ended, "closing but not ended");
        at += taken;
    }
    heard.phase = exchange.phase();
    return heard;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    checkRequestLine(bytes);
    if (bytes.isEmpty())
        return 0;
    // The first byte cuts the rest into pieces of 1 to 16 bytes.
    const QByteArrayView stream = QByteArrayView(bytes).sliced(1);
    const Heard whole = converse(stream, std::max<qsizetype>(stream.size(), 1));
    const Heard pieces = converse(stream, 1 + uchar(bytes[0]) % 16);
    FUZZ_CHECK(whole.statuses == pieces.statuses, "the answers depend on how the bytes came");
    FUZZ_CHECK(whole.phase == pieces.phase && whole.closeFrame == pieces.closeFrame,
               "the end depends on how the bytes came");
    return 0;
}
