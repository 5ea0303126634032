#pragma once

namespace bolaris {

// The faces the layouts and windows name, mapped to metric-compatible fonts
// from Debian's packages: "Arial" to Liberation Sans (or Arimo), "Courier New"
// and "Courier" to Liberation Mono (or Cousine), "Impact" to Bebas Neue, and
// "MS Sans Serif" to Liberation Sans.
void installFontSubstitutes();

} // namespace bolaris
