#include "text/number_parser.h"

#include <algorithm>
#include <cstdint>

#include "text/power_of_ten.h"
#include "text/radix_number.h"

namespace vornset {
namespace {

// Digits beyond the 18th only scale the value: 10^18 < 2^64, so 18 digits are exact.
constexpr int kKeptDigits = 18;
constexpr std::uint16_t kLargestExponent = 9999;
// Decimal magnitudes (0.d1d2... × 10^magnitude) from here on give 2^127 or 0.
constexpr int kMagnitudeLimit = 4933;
// Digit counts saturate here, far beyond the magnitude limit, so that absurdly long texts
// still give 2^127 or 0 instead of overflowing the counts.
constexpr int kCountLimit = 1 << 20;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

Extended signed_result(bool negative, const Extended& magnitude) {
  return negative ? magnitude.negated() : magnitude;
}

Extended scan_decimal_number(std::string_view text) {
  std::size_t position = 0;
  bool negative = false;
  if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
    negative = text[position] == '-';
    ++position;
  }

  std::uint64_t significand = 0;
  bool any_digit = false;
  int significant_digits = 0;
  bool point_seen = false;
  int point_position = 0;
  for (; position < text.size(); ++position) {
    const char c = text[position];
    if (c == '.') {
      if (point_seen) break;
      point_seen = true;
      point_position = significant_digits;
    } else if (is_digit(c)) {
      any_digit = true;
      if (c == '0' && significant_digits == 0) {
        // Zeros in front of the first significant digit only move the point.
        if (point_seen) point_position = std::max(point_position - 1, -kCountLimit);
      } else {
        if (significant_digits < kKeptDigits) significand = significand * 10u + static_cast<unsigned>(c - '0');
        significant_digits = std::min(significant_digits + 1, kCountLimit);
      }
    } else {
      break;
    }
  }
  if (!any_digit) return Extended::zero(negative);
  if (!point_seen) point_position = significant_digits;

  int exponent = 0;
  if (position < text.size() && (text[position] == 'E' || text[position] == 'e' ||
                                 text[position] == 'D' || text[position] == 'd')) {
    ++position;
    bool exponent_negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
      exponent_negative = text[position] == '-';
      ++position;
    }
    for (; position < text.size() && is_digit(text[position]); ++position) {
      exponent = std::min(exponent * 10 + (text[position] - '0'), int{kLargestExponent});
    }
    if (exponent_negative) exponent = -exponent;
  }

  if (significant_digits == 0) return Extended::zero(negative);
  const int magnitude = point_position + exponent;
  if (magnitude >= kMagnitudeLimit) return signed_result(negative, Extended::from_parts(false, 1, 127));
  if (magnitude <= -kMagnitudeLimit) return Extended::zero(negative);

  const int kept = std::min(significant_digits, kKeptDigits);
  const Extended value = scale_by_power_of_ten(Extended::from_uint64(significand), magnitude - kept);
  return signed_result(negative, value);
}

}  // namespace

Extended parse_number(std::string_view text) {
  // A plain loop: find_first_not_of would call memchr once per character it passes.
  std::size_t start = 0;
  while (start < text.size() && is_blank(text[start])) ++start;
  const std::string_view number = text.substr(start);
  if (number.empty()) return Extended::zero(false);
  if (number.front() == '&') return scan_radix_number(number);
  return scan_decimal_number(number);
}

double parse_number_to_double(std::string_view text) { return parse_number(text).to_double(); }

}  // namespace vornset
