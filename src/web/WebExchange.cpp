#include "WebExchange.h"

#include "WebSite.h"

#include <QUrl>

namespace bolaris {

namespace {

QByteArrayView reason(int status)
{
    switch (status) {
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 414: return "URI Too Long";
    case 426: return "Upgrade Required";
    case 431: return "Request Header Fields Too Large";
    default: return "Error";
    }
}

QByteArray closeCode(int code)
{
    const char bytes[] = {char(code >> 8), char(code & 0xff)};
    return QByteArray(bytes, 2);
}

} // namespace

QByteArray WebExchange::answerHead(int status, QByteArrayView contentType, qsizetype length, bool close,
                                   bool allowHeader)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status).toByteArray() + "\r\n";
    head += "Content-Type: " + contentType.toByteArray() + "\r\n";
    head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    head += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
    if (allowHeader)
        head += "Allow: GET, HEAD\r\n";
    if (status == 426)
        head += "Sec-WebSocket-Version: 13\r\n";
    if (close)
        head += "Connection: close\r\n";
    return head + "\r\n";
}

qsizetype WebExchange::receive(QByteArrayView data, Reply &reply)
{
    if (m_phase == Phase::Ended)
        return 0;
    if (m_phase == Phase::Live) {
        WsInput input;
        const qsizetype taken = m_frames.read(data, input);
        if (input.ping && !input.failure)
            reply.chunks << WsFrameReader::frame(WsFrameReader::Pong, input.pingPayload);
        if (input.failure || input.close) {
            reply.chunks << WsFrameReader::frame(WsFrameReader::Close,
                                                 input.failure ? closeCode(input.failure) : input.closePayload);
            reply.close = true;
            m_phase = Phase::Ended;
        }
        return taken;
    }
    const qsizetype taken = m_head.read(data);
    if (m_head.status() == HttpHeadReader::Status::Failed) {
        refuse(m_head.errorStatus(), reply);
    } else if (m_head.status() == HttpHeadReader::Status::Complete) {
        const HttpHead head = m_head.head();
        m_head.reset();
        answer(head, reply);
    }
    return taken;
}

void WebExchange::refuse(int status, Reply &reply, bool allowHeader)
{
    static const QByteArray texts[] = {"Pedido inválido.\n", "Método não permitido.\n"};
    const QByteArray &body = texts[status == 405 ? 1 : 0];
    reply.chunks << answerHead(status, "text/plain; charset=utf-8", body.size(), true, allowHeader) + body;
    reply.close = true;
    m_phase = Phase::Ended;
}

void WebExchange::answer(const HttpHead &head, Reply &reply)
{
    const bool readOnly = head.method == "GET" || head.method == "HEAD";
    // A body is never read: the connection ends after the answer, so that
    // whatever the client goes on sending is not taken for a request.
    if (!readOnly && head.hasBody())
        return refuse(405, reply, true);
    if (head.hasBody())
        return refuse(400, reply);
    const QUrl url = QUrl::fromEncoded(head.target);
    if (head.wantsWebSocket()) {
        if (url.path(QUrl::FullyEncoded) != QLatin1String(WebSite::kLivePath) || head.method != "GET") {
            const QByteArray body = "Página não encontrada.\n";
            reply.chunks << answerHead(404, "text/plain; charset=utf-8", body.size(), true, false) + body;
            reply.close = true;
            m_phase = Phase::Ended;
            return;
        }
        if (head.webSocketVersion != "13") {
            reply.chunks << answerHead(426, "text/plain; charset=utf-8", 0, true, false);
            reply.close = true;
            m_phase = Phase::Ended;
            return;
        }
        if (head.minorVersion != 1 || !WsFrameReader::isValidKey(head.webSocketKey))
            return refuse(400, reply);
        reply.chunks << "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                        "Sec-WebSocket-Accept: " +
                            WsFrameReader::acceptKey(head.webSocketKey) + "\r\n\r\n";
        reply.upgraded = true;
        m_phase = Phase::Live;
        return;
    }
    const WebReply site = m_site.reply(head.method, url);
    const bool close = !head.keepAlive();
    reply.chunks << answerHead(site.status, site.contentType, site.body.size(), close, site.status == 405);
    if (head.method != "HEAD" && !site.body.isEmpty())
        reply.chunks << site.body; // shared with the site, not copied
    if (close) {
        reply.close = true;
        m_phase = Phase::Ended;
    }
}

} // namespace bolaris
