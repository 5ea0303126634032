#include "QrCode.h"

#include <qrencode.h>

#include <memory>

namespace bolaris {

QImage qrCode(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(utf8.constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
    if (!code)
        return {};
    constexpr int kQuiet = 4;
    const int width = code->width;
    QImage image(width + 2 * kQuiet, width + 2 * kQuiet, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < width; ++y)
        for (int x = 0; x < width; ++x)
            if (code->data[y * width + x] & 1)
                image.setPixel(x + kQuiet, y + kQuiet, qRgb(0, 0, 0));
    return image;
}

} // namespace bolaris
