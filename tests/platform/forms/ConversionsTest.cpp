// Float-to-integer and text-to-number conversion as the run time does them,
// and grouped byte counts.
#include "platform/forms/Conversions.h"
#include "platform/forms/TextToNumber.h"
#include "support/RaisedError.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

namespace {

// Halves go to the even neighbour; beyond 32 bits, or no number, overflows.
TEST(Conversions, ToInt32RoundsHalvesToEvenAndOverflowsAtItsEdges) {
  constexpr int Overflow = platform::errors::Overflow;
  const std::tuple<double, std::int32_t, int> cases[] = {  // the value, the result, the error raised
      {2.5, 2, 0},
      {-3.5, -4, 0},
      {32767.5, 32768, 0},
      {2147483647.4, 2147483647, 0},
      {-2147483648.5, -2147483647 - 1, 0},
      {2147483647.5, 0, Overflow},
      {-2147483648.6, 0, Overflow},
      {std::numeric_limits<double>::infinity(), 0, Overflow},
      {std::numeric_limits<double>::quiet_NaN(), 0, Overflow},
  };
  for (const auto& [value, expected, error] : cases) {
    std::int32_t result = 0;
    EXPECT_EQ(raisedError([&, value = value] { result = platform::toInt32(value); }), error) << value;
    EXPECT_EQ(result, expected) << value;
  }
}

// The grouping in the tests' English is the size label's (PreviewPane).
TEST(Conversions, GroupedNumberUsesTheUsersSeparator) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(platform::formatGroupedNumber(1234567), QStringLiteral("1.234.567"));
  QLocale::setDefault(before);
}

// Decimal text, blanks around it, halves rounded to even, within 16 bits.
TEST(TextToNumber, ConvertsDecimalTextRoundingHalvesToEven) {
  constexpr int Mismatch = platform::errors::TypeMismatch, Overflow = platform::errors::Overflow;
  const struct {
    const char* text;
    int value, error;
  } cases[] = {
      {"-1", -1, 0},
      {" 5 ", 5, 0},
      {"\t+7", 7, 0},
      {"2.5", 2, 0},
      {"3.5", 4, 0},
      {".5", 0, 0},
      {"5.", 5, 0},
      {"-32768", -32768, 0},
      {"32767.4", 32767, 0},
      {"", 0, Mismatch},
      {"1 2", 0, Mismatch},
      {"1e3", 0, Mismatch},
      {"0x10", 0, Mismatch},
      {"--1", 0, Mismatch},
      {"32767.5", 0, Overflow},
      {"-32769", 0, Overflow},
      {"99999999999999999999999", 0, Overflow},
  };
  for (const auto& c : cases) {
    int result = 0;
    EXPECT_EQ(raisedError([&] { result = platform::textToInt16(QString::fromLatin1(c.text)); }), c.error)
        << '"' << c.text << '"';
    EXPECT_EQ(result, c.value) << '"' << c.text << '"';
  }
}

}  // namespace
