#include "text/extended.h"

#include <bit>

namespace vornset {
namespace {

constexpr std::uint64_t kTopBit = std::uint64_t{1} << 63;

struct Wide {
  std::uint64_t high;
  std::uint64_t low;
};

// 64 × 64 → 128 bits from 32-bit halves: the 32-bit product build has no 128-bit type.
Wide multiply_wide(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t a_low = a & 0xFFFFFFFFu;
  const std::uint64_t a_high = a >> 32;
  const std::uint64_t b_low = b & 0xFFFFFFFFu;
  const std::uint64_t b_high = b >> 32;
  const std::uint64_t low_low = a_low * b_low;
  const std::uint64_t low_high = a_low * b_high;
  const std::uint64_t high_low = a_high * b_low;
  const std::uint64_t high_high = a_high * b_high;
  // Each term is below 2^64 - 2^33 + 1, so this middle sum cannot overflow.
  const std::uint64_t middle = (low_low >> 32) + (low_high & 0xFFFFFFFFu) + (high_low & 0xFFFFFFFFu);
  return {high_high + (low_high >> 32) + (high_low >> 32) + (middle >> 32),
          (middle << 32) | (low_low & 0xFFFFFFFFu)};
}

// (high·2^64 + low) / divisor in two steps of 32 quotient bits, each estimated from the
// divisor's top half and corrected (long division in base 2^32). Requires high <
// divisor, so the quotient fits 64 bits; the remainder is left in `high`.
std::uint64_t divide_wide(Wide& numerator, std::uint64_t divisor) {
  constexpr std::uint64_t kHalf = std::uint64_t{1} << 32;
  constexpr std::uint64_t kLowHalf = kHalf - 1u;
  // Normalized, the divisor's top half makes each estimate at most 2 too large.
  const int shift = std::countl_zero(divisor);
  const std::uint64_t v = divisor << shift;
  const std::uint64_t v_high = v >> 32;
  const std::uint64_t v_low = v & kLowHalf;
  const std::uint64_t top =
      shift == 0 ? numerator.high : (numerator.high << shift) | (numerator.low >> (64 - shift));
  const std::uint64_t low = numerator.low << shift;
  const std::uint64_t low_high = low >> 32;
  const std::uint64_t low_low = low & kLowHalf;

  // One quotient digit of `part`·2^32 + `next` over v, with `part` < v.
  const auto digit = [&](std::uint64_t part, std::uint64_t next) {
    std::uint64_t q = part / v_high;
    std::uint64_t r = part - q * v_high;
    while (q >= kHalf || q * v_low > ((r << 32) | next)) {
      --q;
      r += v_high;
      if (r >= kHalf) break;
    }
    return q;
  };
  const std::uint64_t q_high = digit(top, low_high);
  const std::uint64_t middle = ((top << 32) | low_high) - q_high * v;  // below v: exact mod 2^64
  const std::uint64_t q_low = digit(middle, low_low);
  numerator.high = (((middle << 32) | low_low) - q_low * v) >> shift;
  return (q_high << 32) | q_low;
}

// value / 2^shift rounded to nearest, ties to even; shift >= 1.
std::uint64_t shift_right_rounded(std::uint64_t value, int shift) {
  if (shift > 64) return 0;  // below a quarter
  if (shift == 64) return value > kTopBit ? 1u : 0u;  // a tie goes to the even 0
  const std::uint64_t quotient = value >> shift;
  const std::uint64_t rest = value & ((std::uint64_t{1} << shift) - 1u);
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  const bool up = rest > half || (rest == half && (quotient & 1u) != 0);
  return quotient + (up ? 1u : 0u);
}

}  // namespace

Extended Extended::finite(bool negative, std::uint64_t significand, std::int64_t exponent) {
  if (exponent > kLargestExponent) return infinity(negative);
  if (exponent < kSmallestExponent) return zero(negative);
  Extended result;
  result.kind_ = Kind::finite;
  result.negative_ = negative;
  result.significand_ = significand;
  result.exponent_ = static_cast<std::int32_t>(exponent);
  return result;
}

Extended Extended::from_parts(bool negative, std::uint64_t significand, std::int32_t power_of_two) {
  if (significand == 0) return zero(negative);
  const int leading_zeros = std::countl_zero(significand);
  return finite(negative, significand << leading_zeros, std::int64_t{power_of_two} + 63 - leading_zeros);
}

Extended Extended::from_uint64(std::uint64_t value) { return from_parts(false, value, 0); }

Extended Extended::from_int64(std::int64_t value) {
  const bool negative = value < 0;
  // Unsigned negation keeps -2^63 exact.
  const std::uint64_t magnitude =
      negative ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  return from_parts(negative, magnitude, 0);
}

Extended Extended::from_double(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const auto biased = static_cast<std::int32_t>((bits >> 52) & 0x7FFu);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1u);
  if (biased == 0x7FF) return fraction == 0 ? infinity(negative) : nan();
  // A double is fraction·2^-1074 (subnormal) or (2^52 + fraction)·2^(biased - 1075).
  if (biased == 0) return from_parts(negative, fraction, -1074);
  return from_parts(negative, fraction | (std::uint64_t{1} << 52), biased - 1075);
}

Extended Extended::zero(bool negative) {
  Extended result;
  result.negative_ = negative;
  return result;
}

Extended Extended::infinity(bool negative) {
  Extended result;
  result.kind_ = Kind::infinity;
  result.negative_ = negative;
  return result;
}

Extended Extended::nan() {
  Extended result;
  result.kind_ = Kind::nan;
  return result;
}

Extended Extended::negated() const {
  Extended result = *this;
  result.negative_ = !negative_;
  return result;
}

Extended Extended::magnitude() const {
  Extended result = *this;
  result.negative_ = false;
  return result;
}

double Extended::to_double() const {
  constexpr std::uint64_t kSignBit = kTopBit;
  constexpr std::uint64_t kInfinityBits = std::uint64_t{0x7FF} << 52;
  const std::uint64_t sign = negative_ ? kSignBit : 0u;
  switch (kind_) {
    case Kind::zero: return std::bit_cast<double>(sign);
    case Kind::infinity: return std::bit_cast<double>(sign | kInfinityBits);
    case Kind::nan: return std::bit_cast<double>(kInfinityBits | (std::uint64_t{1} << 51));
    case Kind::finite: break;
  }
  if (exponent_ > 1023) return std::bit_cast<double>(sign | kInfinityBits);
  // The double's unit in the last place is 2^(max(exponent, -1022) - 52); our own is
  // 2^(exponent - 63). Below -1022 the double loses a bit per step: a subnormal.
  const bool normal = exponent_ >= -1022;
  const int shift = (normal ? 11 : -1022 - exponent_ + 11);
  const std::uint64_t units = shift_right_rounded(significand_, shift);
  // units lies in [2^52, 2^53] for normal values: adding it to the biased exponent
  // minus one lets a carry to 2^53 step the exponent field, up to infinity. A subnormal
  // that rounds up to 2^52 becomes the smallest normal the same way.
  std::uint64_t bits = units;
  if (normal) bits += static_cast<std::uint64_t>(exponent_ + 1023 - 1) << 52;
  if (bits > kInfinityBits) bits = kInfinityBits;
  return std::bit_cast<double>(sign | bits);
}

std::optional<std::uint64_t> Extended::round_magnitude_to_uint64() const {
  if (kind_ == Kind::zero) return 0u;
  if (kind_ != Kind::finite || exponent_ > 63) return std::nullopt;
  if (exponent_ == 63) return significand_;
  return shift_right_rounded(significand_, 63 - exponent_);
}

std::optional<std::int64_t> Extended::round_to_int64() const {
  const std::optional<std::uint64_t> magnitude = round_magnitude_to_uint64();
  if (!magnitude) return std::nullopt;
  if (negative_) {
    if (*magnitude > kTopBit) return std::nullopt;
    // Two's complement negation, written to stay defined for 2^63.
    return static_cast<std::int64_t>(std::uint64_t{0} - *magnitude);
  }
  if (*magnitude >= kTopBit) return std::nullopt;
  return static_cast<std::int64_t>(*magnitude);
}

Extended operator*(const Extended& a, const Extended& b) {
  using Kind = Extended::Kind;
  const bool negative = a.negative_ != b.negative_;
  if (a.kind_ == Kind::nan || b.kind_ == Kind::nan) return Extended::nan();
  if (a.kind_ == Kind::infinity || b.kind_ == Kind::infinity) {
    if (a.kind_ == Kind::zero || b.kind_ == Kind::zero) return Extended::nan();
    return Extended::infinity(negative);
  }
  if (a.kind_ == Kind::zero || b.kind_ == Kind::zero) return Extended::zero(negative);

  // The product of two significands lies in [2^126, 2^128).
  const Wide product = multiply_wide(a.significand_, b.significand_);
  std::int64_t exponent = std::int64_t{a.exponent_} + b.exponent_;
  std::uint64_t significand = product.high;
  std::uint64_t rest = product.low;
  if ((product.high & kTopBit) != 0) {
    ++exponent;
  } else {
    significand = (product.high << 1) | (product.low >> 63);
    rest = product.low << 1;
  }
  if (rest > kTopBit || (rest == kTopBit && (significand & 1u) != 0)) {
    ++significand;
    if (significand == 0) {  // all ones rounded up to the next power of two
      significand = kTopBit;
      ++exponent;
    }
  }
  return Extended::finite(negative, significand, exponent);
}

Extended operator/(const Extended& a, const Extended& b) {
  using Kind = Extended::Kind;
  const bool negative = a.negative_ != b.negative_;
  if (a.kind_ == Kind::nan || b.kind_ == Kind::nan) return Extended::nan();
  if (a.kind_ == Kind::infinity) {
    return b.kind_ == Kind::infinity ? Extended::nan() : Extended::infinity(negative);
  }
  if (b.kind_ == Kind::infinity) return Extended::zero(negative);
  if (b.kind_ == Kind::zero) return a.kind_ == Kind::zero ? Extended::nan() : Extended::infinity(negative);
  if (a.kind_ == Kind::zero) return Extended::zero(negative);

  // Scale the dividend so that the quotient has exactly 64 bits: a/b lies in (1/2, 2).
  std::int64_t exponent = std::int64_t{a.exponent_} - b.exponent_;
  Wide numerator{a.significand_ >> 1, a.significand_ << 63};
  if (a.significand_ < b.significand_) {
    numerator = {a.significand_, 0};
    --exponent;
  }
  std::uint64_t quotient = divide_wide(numerator, b.significand_);
  const std::uint64_t remainder = numerator.high;
  // Compare 2·remainder with the divisor without overflowing. An exact tie cannot occur
  // (the quotient would need 65 significant bits), but the rule costs nothing.
  const std::uint64_t other_part = b.significand_ - remainder;
  if (remainder > other_part || (remainder == other_part && (quotient & 1u) != 0)) {
    ++quotient;
    if (quotient == 0) {
      quotient = kTopBit;
      ++exponent;
    }
  }
  return Extended::finite(negative, quotient, exponent);
}

bool same_bits(const Extended& a, const Extended& b) {
  if (a.kind_ != b.kind_) return false;
  if (a.kind_ == Extended::Kind::nan) return true;
  if (a.negative_ != b.negative_) return false;
  return a.kind_ != Extended::Kind::finite ||
         (a.significand_ == b.significand_ && a.exponent_ == b.exponent_);
}

}  // namespace vornset
