#include "text/number_parser.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace vornset {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
const double k2To127 = std::bit_cast<double>(std::uint64_t{0x47E0000000000000});

struct DecimalCase {
  std::string_view text;
  double expected;
};

TEST(ParseNumber, DecimalTexts) {
  const DecimalCase table[] = {
      // Blanks in front; text behind the number is ignored.
      {"14.2 HF", 14.2}, {"  7.05MHz", 7.05}, {"\t7.05", 7.05}, {"\n\r 7.05", 7.05},
      {" 7.1", 7.1}, {"7.1", 7.1}, {"9600", 9600}, {" 9600", 9600}, {"9600 ; comment", 9600},
      // Nothing that starts a number.
      {"=7.1", 0}, {"=9600", 0}, {"", 0}, {"   ", 0}, {".", 0}, {"+", 0}, {"-", 0},
      {"E5", 0}, {"$5", 0}, {"x1", 0}, {"\f7", 0}, {"\v7", 0}, {"+-5", 0},
      // The mantissa ends at anything but digits and the first point.
      {"7,05", 7}, {"7 .05", 7}, {"1.2.3", 1.2}, {"1,000", 1},
      {".5", 0.5}, {"5.", 5}, {"+.5e1", 5}, {"0.001", 0.001}, {"-7.05", -7.05},
      {"000123.4500", 123.45}, {"0.000", 0}, {"00", 0},
      // Exponents, with 'D' as well as 'E'.
      {"1e-7", 1e-7}, {"1D3", 1000}, {"1d3", 1000}, {"12e", 12}, {"12E+", 12}, {"12ex", 12},
      {"2.5E-3", 0.0025}, {"-1.5e+2", -150}, {"1E4", 10000},
      {"145000000", 145000000},
      // Digits beyond the 18th count for the magnitude only.
      {"1234567890123456789012345", 1234567890123456789e6},
      {"0.0000000000000000000001234", 1.234e-22},
      // Magnitude limits: 2^127 at 10^4933 and above, 0 at 10^-4933 and below.
      {"1E400", kInfinity}, {"-1E400", -kInfinity}, {"1E5000", k2To127}, {"-1E5000", -k2To127},
      {"1E99999", k2To127}, {"1E4932", k2To127}, {"1E4931", kInfinity}, {"0.1E4933", k2To127},
      {"1E-5000", 0}, {"1E-400", 0}, {"4.9406564584124654E-324", std::bit_cast<double>(std::uint64_t{1})},
      {"1.7976931348623157E308", std::numeric_limits<double>::max()},
  };
  for (const DecimalCase& row : table) {
    EXPECT_EQ(parse_number_to_double(row.text), row.expected) << '"' << row.text << '"';
  }
}

TEST(ParseNumber, KeepsEighteenDigitsExactAndTruncatesTheRest) {
  EXPECT_EQ(parse_number("12345678901234567890").round_magnitude_to_uint64(), 12345678901234567800u);
  EXPECT_EQ(parse_number("123456789012345678").round_magnitude_to_uint64(), 123456789012345678u);
  EXPECT_EQ(parse_number("999999999999999999999").round_magnitude_to_uint64(), std::nullopt);
}

TEST(ParseNumber, NegativeZeroForASignWithoutValue) {
  for (std::string_view text : {"-0", "-", "-.", "-0.000E7", "-1E-5000"}) {
    const Extended value = parse_number(text);
    EXPECT_EQ(value.kind(), Extended::Kind::zero) << text;
    EXPECT_TRUE(value.is_negative()) << text;
  }
  EXPECT_FALSE(parse_number("0").is_negative());
}

// The baud rate is rounded to an integer, half to even.
TEST(ParseNumber, RoundsToIntegerHalfToEven) {
  EXPECT_EQ(parse_number("9600.5").round_to_int64(), 9600);
  EXPECT_EQ(parse_number("9601.5").round_to_int64(), 9602);
  EXPECT_EQ(parse_number("19200").round_to_int64(), 19200);
}

struct RadixCase {
  std::string_view text;
  std::int64_t expected;
};

TEST(ParseNumber, RadixTexts) {
  const RadixCase table[] = {
      {"&H1F", 31}, {"&h1f", 31}, {"&B101", 5}, {"&O17", 15}, {"&Q17", 15}, {"&17", 15},
      {"&o17", 15}, {"&q17", 15}, {"&B102", 2}, {"&18", 1}, {" &H10 rest", 16},
      {"&", 0}, {"&H", 0}, {"&8", 0}, {"&HG", 0}, {"-&H10", 0}, {"&Hz", 0},
      // Widths and suffixes decide how the bits read as a signed number.
      {"&HFFFF", -1}, {"&H0FFFF", 65535}, {"&HFFFF&", 65535}, {"&HFFFF?", 65535},
      {"&HFFFF%", -1}, {"&H8000%", -32768}, {"&H7FFF", 32767}, {"&H10000", 65536},
      {"&HFFFFFFFF", -1}, {"&HFFFFFFFF&", -1}, {"&HFFFFFFFF&&", 4294967295},
      {"&H0FFFFFFFF", 4294967295}, {"&H80000000", -2147483648}, {"&H100000000", 4294967296},
      {"&HFFFFFFFFFFFFFFFF", -1}, {"&HFFFFFFFFFFFFFFFF?", 0}, {"&HFFFFFFFFFFFFFFFF??", 0},
      {"&H7FFFFFFFFFFFFFFF???", std::numeric_limits<std::int64_t>::max()},
      {"&H8000000000000000", std::numeric_limits<std::int64_t>::min()},
      {"&H10000000000000000", 0}, {"&H00000000000000001", 1},
      {"&O1777777777777777777777", -1}, {"&O2000000000000000000000", 0},
      {"&B1111111111111111", -1}, {"&B11111111111111111111111111111111111111111111111111111111111111111", 0},
  };
  for (const RadixCase& row : table) {
    EXPECT_EQ(parse_number(row.text).round_to_int64(), row.expected) << '"' << row.text << '"';
  }
}

}  // namespace
}  // namespace vornset
