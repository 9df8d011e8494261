#include "text/number_formatter.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "text/number_parser.h"

namespace vornset {
namespace {

std::string printed(double value) {
  char out[kPrintedNumberCapacity];
  const std::size_t length = format_printed_number(value, out);
  return std::string(out, length);
}

double from_bits(std::uint64_t bits) { return std::bit_cast<double>(bits); }

struct PrintedCase {
  double value;
  std::string_view full_form;
};

TEST(FormatNumber, PrintedForms) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  const PrintedCase table[] = {
      {7.05, " 7.05 "}, {14.2, " 14.2 "}, {0.1375, " .1375 "}, {144, " 144 "}, {1e-7, " .0000001 "},
      {2345.5, " 2345.5 "}, {0.5, " .5 "}, {-7.05, "-7.05 "}, {0, " 0 "}, {-0.0, " 0 "},
      {0.1, " .1 "}, {2.0 / 3.0, " .666666666666667 "}, {1.0 / 3.0, " .333333333333333 "},
      {123456789012345, " 123456789012345 "}, {1e15, " 1E+15 "},
      {1234567890123456, " 1.23456789012346E+15 "}, {1e-15, " .000000000000001 "},
      {1e-16, " 1E-16 "}, {1.5e-15, " 1.5E-15 "}, {0.000123456789012345, " 1.23456789012345E-4 "},
      {1e300, " 1E+300 "}, {std::numeric_limits<double>::max(), " 1.79769313486232E+308 "},
      {kInfinity, " 9.99999999999999E+998 "}, {-kInfinity, "-9.99999999999999E+998 "},
      {std::numeric_limits<double>::quiet_NaN(), " 0 "},
      {999999999999999, " 999999999999999 "}, {999999999999999.5, " 1E+15 "},
      {100, " 100 "}, {-0.001, "-.001 "}, {12.5e-300, " 1.25E-299 "},
      // 4.9406564584124654E-324: the 16th digit is 5, the 15th even.
      {from_bits(1), " 4.94065645841246E-324 "},
      // The 16th digit alone rounds, ties to an even 15th digit.
      {1.000000000000025, " 1.00000000000002 "}, {1.000000000000045, " 1.00000000000004 "},
      {7.050000000000005, " 7.05 "}, {1.000000000000035, " 1.00000000000004 "},
  };
  for (const PrintedCase& row : table) {
    EXPECT_EQ(printed(row.value), row.full_form) << row.value;
  }
}

// The decimal exponent estimate is one too high just above 2^-681 and 2^-877; the value
// must still come out with all its digits and the right exponent.
TEST(FormatNumber, EstimateTooHighForSmallValuesStillGivesEighteenDigits) {
  const PrintedCase table[] = {
      {std::ldexp(1.0, -681), " 9.96719495109757E-206 "},
      {9.99e-206, " 9.99E-206 "},
      {9.9999999999999E-206, " 9.9999999999999E-206 "},
      {std::ldexp(1.0, -877), " 9.9241610332961E-265 "},
      {9.95e-265, " 9.95E-265 "},
      {9.96719495109758e-206, " 9.96719495109758E-206 "},
  };
  for (const PrintedCase& row : table) {
    EXPECT_EQ(printed(row.value), row.full_form) << row.value;
  }
}

struct TextCase {
  Extended value;
  std::string_view text;
};

TEST(FormatNumberText, DropsTheTrailingBlankAndWritesEveryInt32Exactly) {
  const TextCase table[] = {
      {Extended::from_int64(2147483647), " 2147483647"}, {Extended::from_int64(-2147483648LL), "-2147483648"},
      {Extended::from_int64(7050000), " 7050000"}, {Extended::from_int64(-5), "-5"},
      {Extended::from_int64(0), " 0"}, {Extended::from_int64(145000000), " 145000000"},
  };
  for (const TextCase& row : table) {
    EXPECT_EQ(format_number_text(row.value), row.text);
  }
}

TEST(FormatNumber, OtherDigitCounts) {
  char out[32];
  struct Row {
    Extended value;
    int digits;
    std::string_view full_form;
  };
  const Row table[] = {
      {Extended::from_uint64(123456789012345678u), 18, " 123456789012345678 "},
      {Extended::from_uint64(1) / Extended::from_uint64(3), 18, " .333333333333333333 "},
      {Extended::from_uint64(25), 1, " 2E+1 "},
      {Extended::from_uint64(35), 1, " 4E+1 "},
      {Extended::from_parts(false, 1, -1), 1, " .5 "},
      {Extended::from_parts(false, 1, 16383), 15, " 5.94865747678616E+4931 "},
      {Extended::from_parts(false, 1, 16384), 15, " 9.99999999999999E+998 "},
      {Extended::from_parts(true, 1, -16382), 15, "-3.36210314311209E-4932 "},
      {Extended::from_parts(true, 1, -16383), 15, " 0 "},
  };
  for (const Row& row : table) {
    EXPECT_EQ(std::string_view(out, format_number(row.value, row.digits, out)), row.full_form) << row.full_form;
  }
}

// Every finite double prints within one unit of its 15th digit: a wrong decimal exponent
// or a lost digit would be off by far more. Half the values lie just below a power of
// ten, where the decimal exponent estimate goes wrong.
TEST(FormatNumber, PrintedFormParsesBackWithinOneUnitOfTheLastDigit) {
  std::mt19937_64 random(4242);
  for (int i = 0; i < 100000; ++i) {
    double value = from_bits(random());
    if (i % 2 == 0) {
      const int power = static_cast<int>(random() % 631) - 323;
      const double just_above = parse_number_to_double("1E" + std::to_string(power));
      value = from_bits(std::bit_cast<std::uint64_t>(just_above) - 1u - random() % (std::uint64_t{1} << 44));
    }
    if (!std::isfinite(value)) continue;
    const std::string text = printed(value);
    ASSERT_LE(text.size(), 24u);
    ASSERT_TRUE(value == 0 || text[1] != '0') << text;  // no leading zero, no digit lost to it
    const double back = parse_number_to_double(text);
    const double tolerance = std::max(std::abs(value) * 1e-14, from_bits(1));
    ASSERT_LE(std::abs(back - value), tolerance) << text << " for " << std::hexfloat << value;
  }
}

}  // namespace
}  // namespace vornset
