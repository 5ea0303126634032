#include "WsFrameReader.h"

#include <QCryptographicHash>

namespace bolaris {

namespace {

constexpr int kProtocolError = 1002;
constexpr int kTooBig = 1009;

bool isControl(int opcode) { return opcode >= 8; }

} // namespace

QByteArray WsFrameReader::frame(Opcode opcode, QByteArrayView payload)
{
    QByteArray out;
    const qsizetype size = payload.size();
    out.reserve(size + 10);
    out += char(0x80 | opcode);
    if (size < 126) {
        out += char(size);
    } else if (size <= 0xffff) {
        out += char(126);
        out += char(size >> 8);
        out += char(size & 0xff);
    } else {
        out += char(127);
        for (int shift = 56; shift >= 0; shift -= 8)
            out += char((quint64(size) >> shift) & 0xff);
    }
    out += payload;
    return out;
}

QByteArray WsFrameReader::acceptKey(QByteArrayView key)
{
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    sha1.addData(key);
    sha1.addData(QByteArrayView("258EAFA5-E914-47DA-95CA-C5AB0DC85B11"));
    return sha1.result().toBase64();
}

bool WsFrameReader::isValidKey(QByteArrayView key)
{
    if (key.size() != 24)
        return false;
    const auto decoded =
        QByteArray::fromBase64Encoding(key.toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    return decoded.decodingStatus == QByteArray::Base64DecodingStatus::Ok && decoded.decoded.size() == 16;
}

bool WsFrameReader::headerComplete()
{
    if (m_headerSize < 2)
        return false;
    const int lengthCode = m_header[1] & 0x7f;
    const int lengthBytes = lengthCode == 126 ? 2 : lengthCode == 127 ? 8 : 0;
    return m_headerSize == 2 + lengthBytes + 4;
}

qsizetype WsFrameReader::read(QByteArrayView data, WsInput &input)
{
    qsizetype taken = 0;
    while (!m_done && taken < data.size()) {
        if (!m_inPayload) {
            m_header[size_t(m_headerSize++)] = static_cast<unsigned char>(data[taken++]);
            if (m_headerSize == 2) {
                const unsigned char first = m_header[0], second = m_header[1];
                m_fin = first & 0x80;
                m_opcode = first & 0x0f;
                const bool known = m_opcode <= Binary || (m_opcode >= Close && m_opcode <= Pong);
                if ((first & 0x70) || !known || !(second & 0x80) ||
                    (isControl(m_opcode) && (!m_fin || (second & 0x7f) > 125))) {
                    input.failure = kProtocolError; // reserved bits, unknown opcode, unmasked, bad control frame
                    m_done = true;
                    break;
                }
                if (m_opcode == Continuation ? !m_inMessage : (m_opcode <= Binary && m_inMessage)) {
                    input.failure = kProtocolError; // a message continued that never began, or begun twice
                    m_done = true;
                    break;
                }
            }
            if (!headerComplete())
                continue;
            const int lengthCode = m_header[1] & 0x7f;
            quint64 length = quint64(lengthCode);
            int at = 2;
            if (lengthCode >= 126) {
                length = 0;
                for (int i = 0; i < (lengthCode == 126 ? 2 : 8); ++i)
                    length = (length << 8) | m_header[size_t(at++)];
            }
            for (int i = 0; i < 4; ++i)
                m_mask[size_t(i)] = m_header[size_t(at + i)];
            if (!isControl(m_opcode)) {
                m_messageSize = (m_opcode == Continuation ? m_messageSize : 0) + length;
                if (length > quint64(m_maxMessage) || m_messageSize > quint64(m_maxMessage)) {
                    input.failure = kTooBig;
                    m_done = true;
                    break;
                }
                m_inMessage = !m_fin;
            }
            m_remaining = length;
            m_maskOffset = 0;
            m_headerSize = 0;
            m_inPayload = true;
            m_control.clear();
        }
        const qsizetype part = qsizetype(std::min<quint64>(m_remaining, quint64(data.size() - taken)));
        if (isControl(m_opcode)) {
            for (qsizetype i = 0; i < part; ++i)
                m_control += char(static_cast<unsigned char>(data[taken + i]) ^ m_mask[(m_maskOffset++) % 4]);
        }
        taken += part;
        m_remaining -= quint64(part);
        if (m_remaining == 0)
            endFrame(input);
    }
    return taken;
}

void WsFrameReader::endFrame(WsInput &input)
{
    m_inPayload = false;
    if (m_opcode == Ping) {
        input.ping = true;
        input.pingPayload = m_control;
    } else if (m_opcode == Close) {
        if (m_control.size() == 1) {
            input.failure = kProtocolError;
        } else {
            input.close = true;
            input.closePayload = m_control.left(2); // the code; the reason is not echoed
        }
        m_done = true;
    }
    m_control.clear();
}

} // namespace bolaris
