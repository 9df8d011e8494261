// Any finite double in printed form: at most 24 characters, a sign position, at most 15
// significant digits in plain or exponent notation, one blank behind, and read back it
// lies within one unit of the 15th digit. Any extended value at any digit count stays
// within the 32 characters the formatter promises.
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "text/number_formatter.h"
#include "text/number_parser.h"

static_assert(LDBL_MANT_DIG == 64, "the oracle needs an x87 long double");

namespace {

using vornset::Extended;

constexpr std::size_t kLongestPrintedNumber = 24;
constexpr std::size_t kFormatCapacity = 32;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::size_t count_digits(std::string_view text) {
  std::size_t count = 0;
  while (count < text.size() && is_digit(text[count])) ++count;
  return count;
}

// Whether `text` is the full form: '-' or blank, the number, one blank; and at most
// `digits` significant digits. Plain: '0', an integer, or a fraction without trailing
// zeros (".5", "7.05"). Exponent: one digit, optionally a fraction, 'E', a sign and a
// power other than 0 without leading zeros.
bool has_full_form(std::string_view text, std::size_t digits) {
  if (text.size() < 3 || (text.front() != ' ' && text.front() != '-') || text.back() != ' ') {
    return false;
  }
  std::string_view number = text.substr(1, text.size() - 2);
  if (number == "0") return text.front() == ' ';
  const std::size_t exponent_at = number.find('E');
  std::string_view mantissa = number.substr(0, exponent_at);
  const std::size_t integer_digits = count_digits(mantissa);
  if (integer_digits > 0 && mantissa.front() == '0') return false;
  std::string_view fraction = mantissa.substr(integer_digits);
  std::size_t significant = integer_digits;
  if (!fraction.empty()) {
    if (fraction.front() != '.' || fraction.size() < 2) return false;
    fraction.remove_prefix(1);
    if (count_digits(fraction) != fraction.size() || fraction.back() == '0') return false;
    significant = integer_digits + fraction.size();
    if (integer_digits == 0) significant -= fraction.find_first_not_of('0');
  } else if (integer_digits == 0) {
    return false;
  }
  if (significant == 0 || significant > digits) return false;
  if (exponent_at == std::string_view::npos) {
    // A plain integer holds trailing zeros only within the digit count.
    return fraction.empty() ? integer_digits <= digits : true;
  }
  if (integer_digits != 1) return false;
  std::string_view power = number.substr(exponent_at + 1);
  if (power.size() < 2 || (power.front() != '+' && power.front() != '-')) return false;
  power.remove_prefix(1);
  return count_digits(power) == power.size() && power.front() != '0';
}

long double to_long_double(const Extended& value) {
  if (!value.is_finite_nonzero()) return 0.0L;
  const long double magnitude =
      std::ldexp(static_cast<long double>(value.significand()), value.exponent() - 63);
  return value.is_negative() ? -magnitude : magnitude;
}

// One unit of the 15th significant digit of `magnitude` > 0.
long double unit_of_fifteenth_digit(long double magnitude) {
  int power = static_cast<int>(std::floor(std::log10(magnitude)));
  while (std::pow(10.0L, power) > magnitude) --power;
  while (std::pow(10.0L, power + 1) <= magnitude) ++power;
  return std::pow(10.0L, power - 14);
}

void check_printed_form(double value) {
  char out[vornset::kPrintedNumberCapacity];
  const std::size_t length = vornset::format_printed_number(value, out);
  FUZZ_CHECK(length <= kLongestPrintedNumber);
  const std::string_view text(out, length);
  FUZZ_CHECK(has_full_form(text, vornset::kPrintedDigits));
  FUZZ_CHECK(vornset::format_number_text(Extended::from_double(value)) == text.substr(0, length - 1));

  const long double back = to_long_double(vornset::parse_number(text));
  if (value == 0) {
    FUZZ_CHECK(back == 0);
    return;
  }
  FUZZ_CHECK((text.front() == '-') == (value < 0));
  const long double exact = value;
  FUZZ_CHECK(std::fabs(back - exact) <= unit_of_fifteenth_digit(std::fabs(exact)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < sizeof(double)) return 0;
  double value = 0;
  std::memcpy(&value, data, sizeof value);
  if (std::isfinite(value)) check_printed_form(value);

  // An extended value of any exponent at any digit count, written into exactly the room
  // the formatter asks for, so that one byte too many is an overflow.
  if (size < sizeof(double) + 8 + 4 + 1) return 0;
  std::uint64_t significand = 0;
  std::int32_t power = 0;
  std::memcpy(&significand, data + 8, sizeof significand);
  std::memcpy(&power, data + 16, sizeof power);
  const int digits = static_cast<int>(data[20] % 20);  // 0 and 19 are clamped
  const bool negative = (data[20] & 0x80) != 0;
  const Extended wide = Extended::from_parts(negative, significand, power % 20000);
  const auto room = std::make_unique<char[]>(kFormatCapacity);
  const std::size_t length = vornset::format_number(wide, digits, room.get());
  FUZZ_CHECK(length <= kFormatCapacity);
  const std::size_t clamped = static_cast<std::size_t>(digits < 1 ? 1 : digits > 18 ? 18 : digits);
  FUZZ_CHECK(has_full_form({room.get(), length}, clamped));
  return 0;
}
