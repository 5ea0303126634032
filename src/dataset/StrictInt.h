#pragma once

#include <QString>
#include <optional>

namespace bolaris {

// Reads an integer typed by the operator: optional leading blanks, an optional
// sign and decimal digits, with nothing after them. Empty text, trailing
// blanks, other characters and values outside int fail.
std::optional<int> parseStrictInt(QStringView text);

// The same, counting any failure as 0.
inline int strictIntOrZero(QStringView text) { return parseStrictInt(text).value_or(0); }

} // namespace bolaris
