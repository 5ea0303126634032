#pragma once

#include <QImage>
#include <QString>

namespace bolaris {

// The QR code of a text: one pixel per module, black on white, with the quiet
// zone of four modules around it. A null image when the text cannot be encoded.
QImage qrCode(const QString &text);

} // namespace bolaris
