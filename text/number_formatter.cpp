#include "text/number_formatter.h"

#include <cstdint>

#include "text/power_of_ten.h"

namespace vornset {
namespace {

constexpr int kGeneratedDigits = 18;
constexpr std::uint64_t k10To17 = 100'000'000'000'000'000u;
constexpr std::uint64_t k10To18 = 1'000'000'000'000'000'000u;
// Binary exponents of the hardware extended format; beyond them a value is infinite,
// below them it is a denormal, which the digit generator writes as zero.
constexpr int kLargestBinaryExponent = 16383;
constexpr int kSmallestBinaryExponent = -16382;

// The value as 0.d1d2...dn × 10^decimal_exponent.
struct DigitRecord {
  bool negative = false;
  char digits[kGeneratedDigits + 2] = {};
  int decimal_exponent = 0;
};

// floor(binary_exponent × log10 2), estimated with 19728/65536 = 0.301025390625, just
// below log10 2: the estimate is one too low for some large values and one too high
// for some small ones. Arithmetic shift keeps the floor for negative exponents.
int estimate_decimal_exponent(int binary_exponent) { return (binary_exponent * 19728) >> 16; }

// |x| × 10^(17 - k) rounded to an integer; below 10^19 < 2^64 for any k not too small.
std::uint64_t scaled_integer(const Extended& magnitude, int k) {
  return scale_by_power_of_ten(magnitude, 17 - k).round_magnitude_to_uint64().value_or(0);
}

DigitRecord generate_digits(const Extended& value, int n) {
  DigitRecord record;
  const bool infinite = value.kind() == Extended::Kind::infinity ||
                        (value.is_finite_nonzero() && value.exponent() > kLargestBinaryExponent);
  if (infinite) {
    record.negative = value.is_negative();
    for (int i = 0; i < n; ++i) record.digits[i] = '9';
    record.decimal_exponent = 999;
    return record;
  }
  if (!value.is_finite_nonzero() || value.exponent() < kSmallestBinaryExponent) {
    // Zero, NaN and denormals: n zeros, positive.
    for (int i = 0; i < n; ++i) record.digits[i] = '0';
    return record;
  }
  record.negative = value.is_negative();

  // N, an 18-digit integer with |x| = N × 10^(k - 17) to within the rounding.
  const Extended magnitude = value.magnitude();
  int k = estimate_decimal_exponent(value.exponent());
  std::uint64_t n_digits = scaled_integer(magnitude, k);
  if (n_digits >= k10To18) {
    n_digits = (Extended::from_uint64(n_digits) / Extended::from_uint64(10)).round_magnitude_to_uint64().value_or(0);
    ++k;
  } else if (n_digits < k10To17) {
    // The estimate was one too high; rescale |x| itself, since ten times the rounded N
    // would end in a zero that stands for a lost digit.
    --k;
    n_digits = scaled_integer(magnitude, k);
  }

  char all_digits[kGeneratedDigits + 1];
  for (int i = kGeneratedDigits - 1; i >= 0; --i) {
    all_digits[i] = static_cast<char>('0' + n_digits % 10u);
    n_digits /= 10u;
  }
  all_digits[kGeneratedDigits] = '0';  // a 19th digit, asked for when n = 18

  // Digit n + 1 alone rounds the first n, ties to an even digit n.
  for (int i = 0; i < n; ++i) record.digits[i] = all_digits[i];
  const char rounding_digit = all_digits[n];
  const bool round_up =
      rounding_digit > '5' || (rounding_digit == '5' && ((record.digits[n - 1] - '0') & 1) != 0);
  if (round_up) {
    int i = n - 1;
    while (i >= 0 && record.digits[i] == '9') record.digits[i--] = '0';
    if (i >= 0) {
      ++record.digits[i];
    } else {
      record.digits[0] = '1';
      ++k;
    }
  }
  record.decimal_exponent = k + 1;
  return record;
}

std::size_t write_unsigned(unsigned value, char* out) {
  char reversed[10];
  std::size_t count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + value % 10u);
    value /= 10u;
  } while (value != 0);
  for (std::size_t i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
  return count;
}

std::size_t fill(char* out, char c, int count) {
  for (int i = 0; i < count; ++i) out[i] = c;
  return count > 0 ? static_cast<std::size_t>(count) : 0u;
}

std::size_t copy(char* out, const char* from, int count) {
  for (int i = 0; i < count; ++i) out[i] = from[i];
  return count > 0 ? static_cast<std::size_t>(count) : 0u;
}

}  // namespace

std::size_t format_number(const Extended& value, int significant_digits, char* out) {
  const int n = significant_digits < 1 ? 1 : significant_digits > kGeneratedDigits ? kGeneratedDigits : significant_digits;
  const DigitRecord record = generate_digits(value, n);
  int s = n;
  while (s > 0 && record.digits[s - 1] == '0') --s;
  const int e = record.decimal_exponent;

  std::size_t length = 0;
  out[length++] = record.negative ? '-' : ' ';
  const bool plain = s == 0 || (e >= s ? e <= n : s - e <= n);
  if (s == 0) {
    out[length++] = '0';
  } else if (plain && e >= s) {
    length += copy(out + length, record.digits, s);
    length += fill(out + length, '0', e - s);
  } else if (plain && e > 0) {
    length += copy(out + length, record.digits, e);
    out[length++] = '.';
    length += copy(out + length, record.digits + e, s - e);
  } else if (plain) {
    out[length++] = '.';
    length += fill(out + length, '0', -e);
    length += copy(out + length, record.digits, s);
  } else {
    out[length++] = record.digits[0];
    if (s > 1) {
      out[length++] = '.';
      length += copy(out + length, record.digits + 1, s - 1);
    }
    out[length++] = 'E';
    const int power = e - 1;  // never 0 here: 1 <= e <= n would have been plain
    out[length++] = power > 0 ? '+' : '-';
    length += write_unsigned(static_cast<unsigned>(power > 0 ? power : -power), out + length);
  }
  out[length++] = ' ';
  return length;
}

std::size_t format_printed_number(double value, char (&out)[kPrintedNumberCapacity]) {
  return format_number(Extended::from_double(value), kPrintedDigits, out);
}

std::string format_number_text(const Extended& value) {
  char full[kPrintedNumberCapacity];
  const std::size_t length = format_number(value, kPrintedDigits, full);
  return std::string(full, length - 1);
}

}  // namespace vornset
