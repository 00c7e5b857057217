#pragma once

#include <QString>

#include <cstdint>

namespace platform {

// Float to integer as the run time converts: to the nearest integer, halves
// to the even neighbour; outside the target's range (or not a number) raises
// the overflow error.
std::int16_t toInt16(double value);
std::int32_t toInt32(double value);

// A byte count written with the pattern "###,###,##0": at least one digit,
// grouped by threes with the user's group separator.
QString formatGroupedNumber(std::int64_t value);

// Text without the blanks around it (tabs and other white space stay).
QString Trim(const QString& text);

}  // namespace platform
