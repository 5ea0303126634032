#include "WebConnection.h"

#include <array>
#include <cerrno>

#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace bolaris {

namespace {

constexpr qsizetype kReadSize = 16 * 1024;
constexpr int kMaxIov = 64;

} // namespace

WebConnection::WebConnection(int fd, QByteArray address, const WebSite &site, const WebLimits &limits,
                             WebLoop &loop)
    : m_fd(fd), m_address(std::move(address)), m_limits(limits), m_loop(loop), m_exchange(site, limits)
{
}

WebConnection::~WebConnection()
{
    if (!m_ended) {
        onEnded = nullptr;
        end();
    }
}

bool WebConnection::start(qint64 now)
{
    m_lastActivity = now;
    m_headSince = now; // a new connection owes its first request as soon as a head is due
    m_reading = m_loop.add(m_fd, this, true, false);
    if (!m_reading)
        end();
    return m_reading;
}

qint64 WebConnection::held() const { return m_queued + m_unread.size() + m_exchange.held(); }

void WebConnection::watch(bool read, bool write)
{
    if (m_ended || (read == m_reading && write == m_writing))
        return;
    m_reading = read;
    m_writing = write;
    m_loop.change(m_fd, this, read, write);
}

void WebConnection::ready(std::uint32_t events)
{
    if (m_ended)
        return; // ended by an earlier event of the same wake
    const bool failed = events & (EPOLLERR | EPOLLHUP);
    if (m_writing && (events & EPOLLOUT || failed))
        writable();
    if (!m_ended && m_reading && (events & EPOLLIN || failed))
        readable();
    // Told whether or not it was asked: a socket that has failed while
    // neither reading nor writing would be told again and again.
    if (!m_ended && failed && !m_reading && !m_writing)
        end();
}

void WebConnection::readable()
{
    if (m_lingerSince < 0) {
        pump();
        return;
    }
    // Lingering: what comes now is dropped unread, up to a bound.
    std::array<char, kReadSize> buffer;
    const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    m_discarded += n > 0 ? n : 0;
    if (n <= 0 || m_discarded > m_limits.maxDiscard)
        end();
}

void WebConnection::writable()
{
    if (!flush())
        return;
    if (m_queue.empty() && m_closing) {
        m_peerClosed ? end() : linger();
        return;
    }
    if (m_answersQueued == 0)
        pump();
}

void WebConnection::pump()
{
    if (m_inPump || m_ended)
        return;
    m_inPump = true;
    while (!m_ended && !m_closing) {
        if (m_answersQueued > 0) {
            setReading(false); // the client has not read the last answer: its next request waits
            break;
        }
        if (!m_unread.isEmpty()) {
            const QByteArray unread = std::exchange(m_unread, {});
            take(unread);
            continue;
        }
        std::array<char, kReadSize> buffer;
        const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
        if (n > 0) {
            take(QByteArrayView(buffer.data(), n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            setReading(true);
            break;
        }
        // The client has closed its side (or the socket failed): what it was
        // sent still goes, then the connection ends.
        m_peerClosed = true;
        m_closing = true;
        if (n < 0 || m_queue.empty())
            end();
    }
    // A connection that takes nothing more is not read until it lingers:
    // what waits on its socket would wake this again and again.
    if (m_closing && m_lingerSince < 0)
        setReading(false);
    m_inPump = false;
}

void WebConnection::take(QByteArrayView data)
{
    while (!data.isEmpty() && !m_closing && !m_ended && m_answersQueued == 0) {
        WebExchange::Reply reply;
        const qsizetype taken = m_exchange.receive(data, reply);
        data = data.sliced(taken);
        if (m_exchange.headInProgress()) {
            if (m_headSince < 0)
                m_headSince = WebLoop::clock();
        } else {
            m_headSince = -1;
        }
        for (const QByteArray &chunk : std::as_const(reply.chunks))
            queue(chunk, true);
        if (!reply.chunks.isEmpty())
            m_lastActivity = WebLoop::clock();
        if (reply.upgraded && onUpgraded)
            onUpgraded(this);
        if (reply.close)
            m_closing = true;
        if (!flush())
            return;
        if (m_closing && m_queue.empty()) {
            linger();
            return;
        }
        if (taken == 0)
            break; // the exchange takes nothing more (it has ended)
    }
    if (!m_closing && !data.isEmpty())
        m_unread = data.toByteArray(); // a pipelined request, taken once the answer before has gone
}

void WebConnection::queue(const QByteArray &bytes, bool answer)
{
    if (bytes.isEmpty())
        return;
    m_queue.push_back({bytes, answer});
    m_queued += bytes.size();
    if (answer)
        m_answersQueued += bytes.size();
}

bool WebConnection::sendLive(const QByteArray &frame)
{
    if (m_ended || m_closing)
        return !m_ended;
    if (m_queued > m_limits.maxQueuedBytes) {
        end();
        return false;
    }
    if (!m_queue.empty()) {
        queue(frame, false); // the socket is watched for writing: it goes after the rest
        return true;
    }
    // Written straight from the frame every phone shares; only what the
    // system does not take now is queued.
    ssize_t sent;
    do
        sent = ::send(m_fd, frame.constData(), size_t(frame.size()), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent == frame.size())
        return true;
    if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        end(); // reset by the client, or gone
        return false;
    }
    queue(frame, false);
    if (sent > 0) {
        m_sentOfFirst = sent;
        m_queued -= sent;
    }
    setWriting(true);
    return true;
}

bool WebConnection::flush()
{
    while (!m_queue.empty()) {
        std::array<iovec, kMaxIov> iov{};
        int count = 0;
        for (auto it = m_queue.begin(); it != m_queue.end() && count < kMaxIov; ++it, ++count) {
            const qsizetype skip = count == 0 ? m_sentOfFirst : 0;
            iov[size_t(count)].iov_base = const_cast<char *>(it->bytes.constData() + skip);
            iov[size_t(count)].iov_len = size_t(it->bytes.size() - skip);
        }
        msghdr message{};
        message.msg_iov = iov.data();
        message.msg_iovlen = size_t(count);
        const ssize_t sent = ::sendmsg(m_fd, &message, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                setWriting(true);
                return true;
            }
            end(); // reset by the client, or gone
            return false;
        }
        m_lastActivity = WebLoop::clock();
        qint64 left = sent;
        while (left > 0) {
            Chunk &first = m_queue.front();
            const qint64 rest = first.bytes.size() - m_sentOfFirst;
            if (left < rest) {
                m_sentOfFirst += left;
                m_queued -= left;
                if (first.answer)
                    m_answersQueued -= left;
                left = 0;
                break;
            }
            left -= rest;
            m_queued -= rest;
            if (first.answer)
                m_answersQueued -= rest;
            m_sentOfFirst = 0;
            m_queue.pop_front();
        }
    }
    setWriting(false);
    return true;
}

void WebConnection::linger()
{
    if (m_ended || m_lingerSince >= 0)
        return;
    if (m_peerClosed) {
        end();
        return;
    }
    ::shutdown(m_fd, SHUT_WR);
    m_lingerSince = WebLoop::clock();
    m_unread.clear();
    setReading(true);
}

void WebConnection::checkTime(qint64 now)
{
    if (m_ended)
        return;
    if (m_lingerSince >= 0) {
        if (now - m_lingerSince >= m_limits.lingerMs)
            end();
        return;
    }
    if (isLive() && !m_closing)
        return; // a phone watching the draw may be quiet for the whole evening
    // A blank line starts a head like any byte, and only a whole request or a
    // byte taken by the client counts as activity.
    if ((m_headSince >= 0 && now - m_headSince >= m_limits.headTimeoutMs) ||
        now - m_lastActivity >= m_limits.idleTimeoutMs)
        end();
}

void WebConnection::end(bool goingAway)
{
    if (m_ended)
        return;
    if (goingAway && isLive()) {
        // Said once and not waited for: the program is leaving.
        const char goingAwayCode[] = {char(1001 >> 8), char(1001 & 0xff)};
        const QByteArray bye = WsFrameReader::frame(WsFrameReader::Close, QByteArrayView(goingAwayCode, 2));
        if (m_queue.empty())
            ::send(m_fd, bye.constData(), size_t(bye.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    m_ended = true;
    m_loop.forget(m_fd);
    m_reading = m_writing = false;
    ::close(m_fd);
    m_queue.clear();
    m_queued = m_answersQueued = 0;
    m_unread.clear();
    if (onEnded)
        onEnded(this);
}

} // namespace bolaris
