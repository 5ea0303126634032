#include "MediaMark.h"

namespace bolaris::MediaMark {

namespace {

quint32 le32(const QByteArray &b, qsizetype at)
{
    const auto *u = reinterpret_cast<const unsigned char *>(b.constData() + at);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

QByteArray le32Bytes(quint32 v)
{
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = char((v >> (8 * i)) & 0xFF);
    return out;
}

// One INFO item: its id, size and zero-ended text, padded to an even length.
QByteArray infoItem(const char *id, const QByteArray &text)
{
    QByteArray value = text + '\0';
    QByteArray item = QByteArray(id) + le32Bytes(quint32(value.size())) + value;
    if (value.size() & 1)
        item += '\0';
    return item;
}

QByteArray comment(const QString &making) { return QByteArray(kMaker) + ": " + making.toUtf8(); }

} // namespace

QByteArray markWav(const QByteArray &wav, const QString &making)
{
    if (wav.size() < 12 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE")
        return wav;
    const QByteArray info = "INFO" + infoItem("ISFT", kMaker) + infoItem("ICMT", making.toUtf8());
    const QByteArray list = "LIST" + le32Bytes(quint32(info.size())) + info;
    // Put before the sound's data chunk, after the format, as players expect.
    qsizetype at = 12;
    while (at + 8 <= wav.size() && wav.mid(at, 4) != "data")
        at += 8 + qsizetype(le32(wav, at + 4)) + (le32(wav, at + 4) & 1);
    if (at + 8 > wav.size())
        return wav;
    QByteArray out = wav.left(at) + list + wav.mid(at);
    out.replace(4, 4, le32Bytes(quint32(out.size() - 8)));
    return out;
}

QByteArray markJpeg(const QByteArray &jpeg, const QString &making)
{
    if (!jpeg.startsWith("\xFF\xD8"))
        return jpeg;
    const QByteArray text = comment(making);
    const auto length = quint16(text.size() + 2);
    QByteArray segment("\xFF\xFE", 2);
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    return jpeg.left(2) + segment + text + jpeg.mid(2);
}

std::optional<QString> makingOf(const QByteArray &bytes)
{
    if (bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WAVE") {
        for (qsizetype at = 12; at + 8 <= bytes.size();) {
            const qsizetype size = le32(bytes, at + 4);
            if (bytes.mid(at, 4) == "data" || at + 8 + size > bytes.size())
                break;
            if (bytes.mid(at, 4) == "LIST" && bytes.mid(at + 8, 4) == "INFO") {
                std::optional<QString> software, making;
                for (qsizetype item = at + 12; item + 8 <= at + 8 + size;) {
                    const qsizetype length = le32(bytes, item + 4);
                    if (item + 8 + length > at + 8 + size)
                        break;
                    const QString text = QString::fromUtf8(bytes.mid(item + 8, length).split('\0').first());
                    if (bytes.mid(item, 4) == "ISFT")
                        software = text;
                    else if (bytes.mid(item, 4) == "ICMT")
                        making = text;
                    item += 8 + length + (length & 1);
                }
                if (software == QLatin1String(kMaker) && making)
                    return making;
            }
            at += 8 + size + (size & 1);
        }
        return std::nullopt;
    }
    if (bytes.startsWith("\xFF\xD8")) {
        // The segments before the picture's data.
        const QByteArray prefix = QByteArray(kMaker) + ": ";
        for (qsizetype at = 2; at + 4 <= bytes.size() && quint8(bytes[at]) == 0xFF;) {
            const auto marker = quint8(bytes[at + 1]);
            const qsizetype length = quint8(bytes[at + 2]) << 8 | quint8(bytes[at + 3]);
            if (marker == 0xDA || length < 2) // start of scan
                break;
            if (marker == 0xFE) {
                const QByteArray text = bytes.mid(at + 4, length - 2);
                if (text.startsWith(prefix))
                    return QString::fromUtf8(text.mid(prefix.size()));
            }
            at += 2 + length;
        }
    }
    return std::nullopt;
}

} // namespace bolaris::MediaMark
