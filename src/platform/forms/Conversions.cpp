#include "platform/forms/Conversions.h"

#include "platform/desktop/RuntimeError.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace platform {

namespace {

template <class Int>
Int roundHalfEvenChecked(double value) {
  if (!std::isfinite(value)) raise(errors::Overflow);
  // nearbyint rounds in the current mode, which is to nearest, halves to even.
  const double rounded = std::nearbyint(value);
  if (rounded < static_cast<double>(std::numeric_limits<Int>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<Int>::max()))
    raise(errors::Overflow);
  return static_cast<Int>(rounded);
}

}  // namespace

std::int16_t toInt16(double value) { return roundHalfEvenChecked<std::int16_t>(value); }
std::int32_t toInt32(double value) { return roundHalfEvenChecked<std::int32_t>(value); }

QString formatGroupedNumber(std::int64_t value) {
  const QString separator = QLocale().groupSeparator();
  const bool negative = value < 0;
  // Work on the unsigned magnitude so that the smallest 64-bit value is safe.
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  const QString digits = QString::number(magnitude);
  QString grouped;
  grouped.reserve(digits.size() + digits.size() / 3 * separator.size() + 1);
  for (qsizetype i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += separator;
    grouped += digits.at(i);
  }
  return negative ? QLatin1Char('-') + grouped : grouped;
}

QString Trim(const QString& text) {
  qsizetype first = 0, last = text.size();
  while (first < last && text.at(first) == QLatin1Char(' ')) ++first;
  while (last > first && text.at(last - 1) == QLatin1Char(' ')) --last;
  return text.mid(first, last - first);
}

}  // namespace platform
