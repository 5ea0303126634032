#pragma once

// Hostile clients of the hall's web server, for its tests and benchmarks.

#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bolaris::test {

// A client socket driven byte by byte, as a hostile phone would: a receive
// buffer as small as the system allows, from any loopback address, and
// never blocking.
class RawClient {
public:
    explicit RawClient(quint16 port, int receiveBuffer = 0, const char *from = "127.0.0.1")
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from, &local.sin_addr);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(port);
        ::inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
        m_connected = ::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) == 0 &&
                      ::connect(m_fd, reinterpret_cast<sockaddr *>(&server), sizeof server) == 0;
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    }
    ~RawClient() { ::close(m_fd); }
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;

    bool connected() const { return m_connected; }
    // Drops the connection with a reset, as a phone that lost the network does.
    void reset()
    {
        const linger abort{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(m_fd);
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0); // closed by the destructor, never connected
    }
    void setReceiveBuffer(int bytes) { ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes); }
    // Sends what the system takes now: the bytes taken, or -1 once the connection is gone.
    qint64 send(QByteArrayView data)
    {
        const ssize_t n = ::send(m_fd, data.data(), size_t(data.size()), MSG_NOSIGNAL);
        if (n >= 0)
            return n;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
    }
    // Appends what has come; false once the server has closed or reset the connection.
    bool read(QByteArray &into)
    {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                into.append(buffer, n);
                continue;
            }
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
    }
    // Reads until the server ends the connection; false when it is still open after ms.
    bool endsWithin(int ms, QByteArray &into)
    {
        QDeadlineTimer deadline(ms);
        while (read(into)) {
            if (deadline.hasExpired())
                return false;
            pollfd p{m_fd, POLLIN, 0};
            ::poll(&p, 1, 20);
        }
        return true;
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

// The resident memory of this process, in bytes.
inline qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

// Under AddressSanitizer freed memory is held back on purpose, so the
// process's size says nothing of what the server keeps.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentSizeMeaningful = false;
#else
constexpr bool kResidentSizeMeaningful = true;
#endif
constexpr qint64 kMemoryAboveIdle = 64 << 20;

// A WebSocket frame as a client sends it: masked.
inline QByteArray clientFrame(int opcode, const QByteArray &payload, bool fin = true, bool masked = true)
{
    QByteArray frame;
    frame += char((fin ? 0x80 : 0) | opcode);
    const char maskBit = masked ? char(0x80) : char(0);
    if (payload.size() < 126) {
        frame += char(maskBit | payload.size());
    } else {
        frame += char(maskBit | 126);
        frame += char(payload.size() >> 8);
        frame += char(payload.size() & 0xff);
    }
    const char mask[4] = {0x12, 0x34, 0x56, 0x78};
    if (masked)
        frame.append(mask, 4);
    for (qsizetype i = 0; i < payload.size(); ++i)
        frame += masked ? char(payload[i] ^ mask[i % 4]) : payload[i];
    return frame;
}

inline const QByteArray kUpgrade = "GET /ao-vivo HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";

} // namespace bolaris::test
