#include "HttpHeadReader.h"

#include <QByteArrayList>

#include <cstring>

namespace bolaris {

namespace {

constexpr qsizetype kMaxKeptField = 256; // the fields kept are short in any real client

bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool isToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text)
        if (c == 0 || !isTokenChar(c))
            return false;
    return true;
}

// A field value: visible characters, blanks, tabs and bytes above 127; no other control character.
bool isFieldValue(QByteArrayView text)
{
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && u != '\t') || u == 0x7f)
            return false;
    }
    return true;
}

// The comma-separated list holds token (compared in lower case).
bool listHas(const QByteArray &list, QByteArrayView token)
{
    for (const QByteArray &item : list.split(','))
        if (item.trimmed() == token)
            return true;
    return false;
}

} // namespace

bool HttpHead::keepAlive() const { return minorVersion == 1 && !listHas(connection, "close"); }

bool HttpHead::wantsWebSocket() const { return listHas(upgrade, "websocket") && listHas(connection, "upgrade"); }

void HttpHeadReader::reset()
{
    m_line.clear();
    m_size = 0;
    m_seenRequestLine = false;
    m_head = HttpHead();
    m_status = Status::Reading;
    m_error = 0;
}

qsizetype HttpHeadReader::held() const
{
    return m_line.capacity() + m_head.method.size() + m_head.target.size() + m_head.connection.size() +
           m_head.upgrade.size() + m_head.webSocketKey.size() + m_head.webSocketVersion.size();
}

void HttpHeadReader::fail(int status)
{
    m_status = Status::Failed;
    m_error = status;
    m_line = QByteArray(); // nothing of it is kept
}

qsizetype HttpHeadReader::read(QByteArrayView data)
{
    qsizetype taken = 0;
    while (m_status == Status::Reading && taken < data.size()) {
        const char *start = data.data() + taken;
        const qsizetype left = data.size() - taken;
        const void *newline = std::memchr(start, '\n', size_t(left));
        const qsizetype part = newline ? static_cast<const char *>(newline) - start : left;
        const qsizetype use = newline ? part + 1 : part;
        // The limit a byte at a time would meet first, whatever pieces the bytes came in.
        const qsizetype headRoom = m_maxHead - m_size;
        const qsizetype lineRoom = m_maxLine - m_line.size();
        if (headRoom < use && (lineRoom >= part || headRoom <= lineRoom)) {
            fail(431);
            return taken + use;
        }
        if (lineRoom < part) {
            fail(m_seenRequestLine ? 431 : 414);
            return taken + use;
        }
        m_line.append(start, part);
        m_size += use;
        taken += use;
        if (newline)
            endLine();
    }
    return taken;
}

void HttpHeadReader::endLine()
{
    QByteArrayView line(m_line);
    if (line.endsWith('\r'))
        line.chop(1);
    if (!m_seenRequestLine) {
        if (!line.isEmpty()) // blank lines before a request are let through
            requestLine(line);
    } else if (line.isEmpty()) {
        m_status = Status::Complete;
    } else {
        field(line);
    }
    if (m_status != Status::Failed)
        m_line.clear();
}

void HttpHeadReader::requestLine(QByteArrayView line)
{
    m_seenRequestLine = true;
    const qsizetype first = line.indexOf(' ');
    const qsizetype last = line.lastIndexOf(' ');
    if (first <= 0 || last <= first + 1)
        return fail(400);
    const QByteArrayView method = line.first(first);
    const QByteArrayView target = line.sliced(first + 1, last - first - 1);
    const QByteArrayView version = line.sliced(last + 1);
    if (!isToken(method) || !target.startsWith('/'))
        return fail(400);
    for (char c : target)
        if (c <= ' ' || c == 0x7f) // also the second blank of "GET / x HTTP/1.1"
            return fail(400);
    if (version == "HTTP/1.1")
        m_head.minorVersion = 1;
    else if (version == "HTTP/1.0")
        m_head.minorVersion = 0;
    else
        return fail(400);
    m_head.method = method.toByteArray();
    m_head.target = target.toByteArray();
}

void HttpHeadReader::field(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || !isToken(line.first(colon))) // also a folded line, which starts with a blank
        return fail(400);
    const QByteArray name = line.first(colon).toByteArray().toLower();
    const QByteArrayView value = line.sliced(colon + 1).trimmed();
    if (!isFieldValue(value))
        return fail(400);
    auto keep = [&](QByteArray &into, bool join, bool lower) {
        if (!into.isEmpty() && !join)
            return fail(400); // given twice
        if (into.size() + value.size() + 1 > kMaxKeptField)
            return fail(431);
        if (!into.isEmpty())
            into += ',';
        into += lower ? value.toByteArray().toLower() : value.toByteArray();
    };
    if (name == "content-length") {
        bool ok = false;
        const qint64 length = value.size() <= 18 ? value.toByteArray().toLongLong(&ok) : -1;
        bool digits = !value.isEmpty();
        for (char c : value)
            digits = digits && c >= '0' && c <= '9';
        if (!ok || !digits || (m_head.contentLength >= 0 && m_head.contentLength != length))
            return fail(400);
        m_head.contentLength = length;
    } else if (name == "transfer-encoding") {
        m_head.transferEncoding = true;
    } else if (name == "connection") {
        keep(m_head.connection, true, true);
    } else if (name == "upgrade") {
        keep(m_head.upgrade, true, true);
    } else if (name == "sec-websocket-key") {
        keep(m_head.webSocketKey, false, false);
    } else if (name == "sec-websocket-version") {
        keep(m_head.webSocketVersion, false, false);
    }
}

} // namespace bolaris
