#pragma once

#include <QString>

#include <cstdint>

namespace platform {

// Text to a 16-bit number as the run time converts stored values: blanks
// around it allowed, an optional sign, decimal digits with an optional
// fraction, rounded to nearest with halves to even. Empty text or anything
// else raises the type mismatch error; a number outside -32768 to 32767
// raises the overflow error.
std::int16_t textToInt16(const QString& text);

// A 16-bit number as plain decimal text ("-1", "0", "1").
QString int16ToText(std::int16_t value);

}  // namespace platform
