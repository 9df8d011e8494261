// Any bytes as number text: the parser must not fault, must skip leading blanks, must
// round once to double, and where a decimal text is rounded only once (at most 18
// significant digits scaled by at most 10^±27, whose powers are exact) it must agree bit
// for bit with strtold, whose x86 long double has the same 64-bit significand.
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "text/number_parser.h"

static_assert(LDBL_MANT_DIG == 64, "the oracle needs an x87 long double");

namespace {

using vornset::Extended;

// Exponents of the x87 format: between them a value is a normal long double.
constexpr int kSmallestNormalExponent = -16382;
constexpr int kLargestExponent = 16383;

long double to_long_double(const Extended& value) {
  if (!value.is_finite_nonzero()) return value.is_negative() ? -0.0L : 0.0L;
  const long double magnitude =
      std::ldexp(static_cast<long double>(value.significand()), value.exponent() - 63);
  return value.is_negative() ? -magnitude : magnitude;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The decimal number at the start of `text` when it lies in the exactly rounded range,
// spelled for strtold ('D' exponents as 'E'); empty otherwise.
std::string exactly_rounded_decimal(std::string_view text) {
  std::string spelled;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) spelled += text[i++];
  int significant = 0;
  int point_position = 0;
  bool point = false;
  bool any_digit = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
      point_position = significant;
    } else if (is_digit(c)) {
      any_digit = true;
      if (c == '0' && significant == 0) {
        if (point) --point_position;
      } else if (++significant > 18) {
        return {};
      }
    } else {
      break;
    }
    spelled += c;
  }
  if (!any_digit || significant == 0) return {};
  if (!point) point_position = significant;
  int exponent = 0;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
    std::string exponent_text = "E";
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      negative = text[i] == '-';
      exponent_text += text[i++];
    }
    for (; i < text.size() && is_digit(text[i]); ++i) {
      exponent = exponent * 10 + (text[i] - '0');
      if (exponent > 1000) return {};  // far outside the exact range; also no overflow
      exponent_text += text[i];
    }
    if (negative) exponent = -exponent;
    spelled += exponent_text;
  }
  const int scale = point_position + exponent - significant;
  if (scale < -27 || scale > 27) return {};
  return spelled;
}

bool same_value(long double a, long double b) {
  return a == b && std::signbit(a) == std::signbit(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Extended value = vornset::parse_number(text);
  FUZZ_CHECK(value.kind() != Extended::Kind::nan);
  FUZZ_CHECK(!value.is_finite_nonzero() || (value.significand() >> 63) == 1);

  // Blanks in front change nothing.
  const std::string padded = " \t\r\n" + std::string(text);
  FUZZ_CHECK(same_bits(vornset::parse_number(padded), value));

  // One rounding from the 64-bit significand to double, overflow to infinity.
  const double rounded = vornset::parse_number_to_double(text);
  if (!value.is_finite_nonzero() ||
      (value.exponent() >= kSmallestNormalExponent && value.exponent() <= kLargestExponent)) {
    const double expected = static_cast<double>(to_long_double(value));
    FUZZ_CHECK(rounded == expected && std::signbit(rounded) == std::signbit(expected));
  } else {
    FUZZ_CHECK(value.exponent() < kSmallestNormalExponent ? rounded == 0 : std::isinf(rounded));
    FUZZ_CHECK(std::signbit(rounded) == value.is_negative());
  }

  const std::size_t start = std::min(text.find_first_not_of(" \t\r\n"), text.size());
  const std::string decimal = exactly_rounded_decimal(text.substr(start));
  if (!decimal.empty()) {
    FUZZ_CHECK(same_value(to_long_double(value), std::strtold(decimal.c_str(), nullptr)));
  }
  return 0;
}
