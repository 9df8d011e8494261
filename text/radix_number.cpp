#include "text/radix_number.h"

#include <cstdint>

namespace vornset {
namespace {

enum class Suffix : std::uint8_t { none, percent, ampersand, double_ampersand, question };

// Worth of a digit character: '0'-'9' are 0-9, letters in either case 10-35.
int digit_worth(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return 99;
}

// The radix letter behind the '&'; anything else means octal and is read as a digit.
int take_radix(std::string_view text, std::size_t& position) {
  if (position < text.size()) {
    switch (text[position]) {
      case 'B': case 'b': ++position; return 2;
      case 'H': case 'h': ++position; return 16;
      case 'O': case 'o': case 'Q': case 'q': ++position; return 8;
      default: break;
    }
  }
  return 8;
}

Suffix take_suffix(std::string_view rest) {
  if (rest.starts_with('%')) return Suffix::percent;
  if (rest.starts_with("&&")) return Suffix::double_ampersand;
  if (rest.starts_with('&')) return Suffix::ampersand;
  if (rest.starts_with('?')) return Suffix::question;  // '??' and '???' read the same
  return Suffix::none;
}

// The accumulated bits read as a signed integer, by the width they fit.
std::int64_t signed_value(std::uint64_t bits, bool leading_zero, Suffix suffix) {
  constexpr std::uint64_t k2To63 = std::uint64_t{1} << 63;
  constexpr std::uint64_t k2To32 = std::uint64_t{1} << 32;
  if (suffix == Suffix::question) return bits >= k2To63 ? 0 : static_cast<std::int64_t>(bits);
  // Two's complement reinterpretation; well defined from C++20 on.
  const auto as_64_bits = static_cast<std::int64_t>(bits);
  if (leading_zero || suffix == Suffix::double_ampersand || bits >= k2To32) return as_64_bits;
  if (bits >= 65536 && (bits & 0x80000000u) != 0) return as_64_bits - static_cast<std::int64_t>(k2To32);
  if (bits < 65536 && (bits & 0x8000u) != 0 && suffix != Suffix::ampersand) return as_64_bits - 65536;
  return as_64_bits;
}

}  // namespace

Extended scan_radix_number(std::string_view text) {
  std::size_t position = 1;  // behind the '&'
  const int radix = take_radix(text, position);
  const int shift = radix == 2 ? 1 : radix == 8 ? 3 : 4;
  const std::uint64_t overflow_mask = ~(~std::uint64_t{0} >> shift);

  const std::size_t first_digit = position;
  std::uint64_t bits = 0;
  bool overflow = false;
  for (; position < text.size(); ++position) {
    const int worth = digit_worth(text[position]);
    if (worth >= radix) break;
    overflow = overflow || (bits & overflow_mask) != 0;
    bits = (bits << shift) | static_cast<std::uint64_t>(worth);
  }
  if (position == first_digit || overflow) return Extended::zero(false);

  const bool leading_zero = text[first_digit] == '0';
  const Suffix suffix = take_suffix(text.substr(position));
  return Extended::from_int64(signed_value(bits, leading_zero, suffix));
}

}  // namespace vornset
