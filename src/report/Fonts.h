#pragma once

#include <QFont>

namespace bolaris {

// The faces the layouts and windows name, mapped to metric-compatible fonts
// from Debian's packages: "Arial" to Liberation Sans (or Arimo), "Courier New"
// and "Courier" to Liberation Mono (or Cousine), "Impact" to Bebas Neue, and
// "MS Sans Serif" to Liberation Sans.
void installFontSubstitutes();

// The weight a named face prints in. Impact is a heavy face, and Bebas
// Neue's regular weights are light ones: it prints in Bebas Neue's bold.
QFont::Weight printWeight(const QString &family, bool bold);

} // namespace bolaris
