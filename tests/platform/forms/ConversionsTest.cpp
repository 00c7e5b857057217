// Float-to-integer conversion as the run time does it, and grouped byte counts.
#include "platform/forms/Conversions.h"
#include "support/RaisedError.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <limits>

using platform::formatGroupedNumber;
using platform::toInt16;
using platform::toInt32;

namespace {

constexpr int Overflow = platform::errors::Overflow;
constexpr double Infinity = std::numeric_limits<double>::infinity();
const double NotANumber = std::numeric_limits<double>::quiet_NaN();

TEST(Conversions, ToInt16RoundsHalvesToEvenWithinRange) {
  const struct {
    double value;
    std::int16_t result;
  } cases[] = {
      // Halves to the even neighbour, other fractions to the nearest.
      {0.5, 0},        {1.5, 2},        {2.5, 2},          {3.5, 4},
      {-0.5, 0},       {-1.5, -2},      {-2.5, -2},        {-3.5, -4},
      {0.49999, 0},    {2.50001, 3},    {-2.6, -3},
      // The edges of the range.
      {32767.4, 32767}, {32766.5, 32766}, {-32767.5, -32768}, {-32768.5, -32768},
  };
  for (const auto& c : cases) {
    std::int16_t result = 0;
    EXPECT_EQ(raisedError([&] { result = toInt16(c.value); }), 0) << c.value;
    EXPECT_EQ(result, c.result) << c.value;
  }
}

TEST(Conversions, ToInt16OutsideItsRangeOverflows) {
  for (const double value : {32767.5, 32768.0, -32768.6, -32769.0, 1e300, Infinity, -Infinity, NotANumber})
    EXPECT_EQ(raisedError([&] { toInt16(value); }), Overflow) << value;
}

TEST(Conversions, ToInt32RoundsHalvesToEvenAndOverflowsAtItsEdges) {
  const struct {
    double value;
    std::int32_t result;
  } cases[] = {
      {2.5, 2},
      {-2.5, -2},
      {32767.5, 32768},  // beyond 16 bits is fine here
      {2147483646.5, 2147483646},
      {2147483647.4, 2147483647},
      {-2147483648.5, -2147483647 - 1},
  };
  for (const auto& c : cases) {
    std::int32_t result = 0;
    EXPECT_EQ(raisedError([&] { result = toInt32(c.value); }), 0) << c.value;
    EXPECT_EQ(result, c.result) << c.value;
  }
  for (const double value : {2147483647.5, -2147483648.6, 3e9, Infinity, NotANumber})
    EXPECT_EQ(raisedError([&] { toInt32(value); }), Overflow) << value;
}

TEST(Conversions, GroupedNumberUsesTheUsersSeparator) {
  const struct {
    std::int64_t value;
    const char* text;
  } english[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {1234567, "1,234,567"},
      {3000000000, "3,000,000,000"},
      {-1234, "-1,234"},
      {-999, "-999"},
      {std::numeric_limits<std::int64_t>::min(), "-9,223,372,036,854,775,808"},
  };
  for (const auto& c : english) EXPECT_EQ(formatGroupedNumber(c.value), QLatin1String(c.text)) << c.value;

  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(formatGroupedNumber(1234567), QStringLiteral("1.234.567"));
  EXPECT_EQ(formatGroupedNumber(999), QStringLiteral("999"));
  QLocale::setDefault(before);
}

}  // namespace
