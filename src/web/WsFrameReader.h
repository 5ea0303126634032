#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>

namespace bolaris {

// What a live client's frames ask of the server, read so far.
struct WsInput {
    bool ping = false;
    QByteArray pingPayload; // of the latest ping: one pong answers them all
    bool close = false;
    QByteArray closePayload;
    int failure = 0; // the close code to end the connection with, 0 while all is well
};

// Reads the frames a WebSocket client sends. Phones have nothing to say on
// the live feed: messages are checked and thrown away as they arrive, never
// gathered; only pings and the closing frame are answered. A frame that
// breaks the protocol, or a message longer than maxMessage, ends the
// connection.
class WsFrameReader {
public:
    enum Opcode { Continuation = 0, Text = 1, Binary = 2, Close = 8, Ping = 9, Pong = 10 };

    explicit WsFrameReader(int maxMessage) : m_maxMessage(maxMessage) {}

    // Takes frames until data ends, a closing frame or a fault; returns how many bytes it took.
    qsizetype read(QByteArrayView data, WsInput &input);
    // Bytes kept now.
    qsizetype held() const { return m_control.capacity(); }

    // A frame from the server (never masked).
    static QByteArray frame(Opcode opcode, QByteArrayView payload);
    // Sec-WebSocket-Accept for a client's Sec-WebSocket-Key.
    static QByteArray acceptKey(QByteArrayView key);
    // The key is 16 bytes in base64, as the protocol requires.
    static bool isValidKey(QByteArrayView key);

private:
    bool headerComplete();
    void endFrame(WsInput &input);

    int m_maxMessage;
    std::array<unsigned char, 14> m_header{};
    int m_headerSize = 0;
    bool m_inPayload = false;
    int m_opcode = 0;
    bool m_fin = false;
    quint64 m_remaining = 0;
    std::array<unsigned char, 4> m_mask{};
    quint64 m_maskOffset = 0;
    QByteArray m_control; // the payload of a ping or close, at most 125 bytes
    bool m_inMessage = false;
    quint64 m_messageSize = 0;
    bool m_done = false;
};

} // namespace bolaris
