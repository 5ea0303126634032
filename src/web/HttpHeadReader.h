#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace bolaris {

// What the server acts on in one request head; every other field is read,
// checked and forgotten.
struct HttpHead {
    QByteArray method;
    QByteArray target;
    int minorVersion = 1;     // HTTP/1.0 or HTTP/1.1
    qint64 contentLength = -1; // from Content-Length; -1 when absent
    bool transferEncoding = false;
    QByteArray connection; // the Connection fields, joined by commas, lower case
    QByteArray upgrade;    // the Upgrade field, lower case
    QByteArray webSocketKey;
    QByteArray webSocketVersion;

    // The client means to send a body after the head.
    bool hasBody() const { return contentLength > 0 || transferEncoding; }
    // The connection stays open after the answer: HTTP/1.1 without "close".
    bool keepAlive() const;
    // Asks for a WebSocket: "Upgrade: websocket" and "Connection: upgrade".
    bool wantsWebSocket() const;
};

// Reads request heads as their bytes arrive, keeping no more of them than
// the current line and the fields above: a head whose line or whole size is
// over the limits, or that breaks the message syntax, ends with an error
// status to answer with. Blank lines before a request line are part of its
// head and count towards its size.
class HttpHeadReader {
public:
    enum class Status { Reading, Complete, Failed };

    HttpHeadReader(int maxLine, int maxHead) : m_maxLine(maxLine), m_maxHead(maxHead) {}

    // Takes bytes up to the end of the head (or the fault) and returns how
    // many it took; what follows the head is left to the caller.
    qsizetype read(QByteArrayView data);
    Status status() const { return m_status; }
    // 400, 414 (request line too long) or 431 (a field or the head too large) once Failed.
    int errorStatus() const { return m_error; }
    // Some byte of a head has been taken.
    bool started() const { return m_size > 0; }
    const HttpHead &head() const { return m_head; }
    // Ready for the next head of the connection.
    void reset();
    // Bytes kept now.
    qsizetype held() const;

private:
    void endLine();
    void requestLine(QByteArrayView line);
    void field(QByteArrayView line);
    void fail(int status);

    int m_maxLine;
    int m_maxHead;
    QByteArray m_line; // the line being read, without its line end
    qsizetype m_size = 0;
    bool m_seenRequestLine = false;
    HttpHead m_head;
    Status m_status = Status::Reading;
    int m_error = 0;
};

} // namespace bolaris
