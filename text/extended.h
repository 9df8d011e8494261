#pragma once

#include <cstdint>
#include <optional>

namespace vornset {

// A binary floating-point number with a 64-bit significand, the precision in which all
// number conversion is done. Every operation rounds once, to nearest with ties to even,
// so results are the same on every machine whatever its `long double` is.
//
// A finite nonzero value is significand × 2^(exponent - 63) with the top significand bit
// set, so 2^exponent <= |value| < 2^(exponent + 1). The exponent is wide: results that a
// 15-bit hardware exponent could not hold stay finite here, which only matters for
// values far outside the double range.
class Extended {
 public:
  enum class Kind : std::uint8_t { zero, finite, infinity, nan };

  // Positive zero.
  constexpr Extended() = default;

  // significand × 2^power_of_two, exact; the significand need not be normalized (0 gives
  // zero of that sign).
  static Extended from_parts(bool negative, std::uint64_t significand, std::int32_t power_of_two);
  static Extended from_uint64(std::uint64_t value);
  static Extended from_int64(std::int64_t value);
  static Extended from_double(double value);
  static Extended zero(bool negative);
  static Extended infinity(bool negative);
  static Extended nan();

  Kind kind() const { return kind_; }
  bool is_finite_nonzero() const { return kind_ == Kind::finite; }
  bool is_negative() const { return negative_; }
  // Only meaningful for finite nonzero values.
  std::uint64_t significand() const { return significand_; }
  std::int32_t exponent() const { return exponent_; }

  Extended negated() const;
  Extended magnitude() const;

  // Rounded once to double: subnormals are formed directly (no double rounding), values
  // beyond the largest double become infinity.
  double to_double() const;

  // Rounded to the nearest integer, ties to even. Empty for infinity, NaN and results
  // outside the signed (unsigned) 64-bit range.
  std::optional<std::int64_t> round_to_int64() const;
  std::optional<std::uint64_t> round_magnitude_to_uint64() const;

  friend Extended operator*(const Extended& a, const Extended& b);
  friend Extended operator/(const Extended& a, const Extended& b);

  // Same kind, sign, significand and exponent (NaNs compare equal; +0 and -0 do not).
  friend bool same_bits(const Extended& a, const Extended& b);

 private:
  // Exponents beyond these saturate to infinity or zero; they are far outside anything
  // that decimal texts of sane length produce, and keep exponent sums free of overflow.
  static constexpr std::int32_t kLargestExponent = 1 << 24;
  static constexpr std::int32_t kSmallestExponent = -(1 << 24);

  static Extended finite(bool negative, std::uint64_t significand, std::int64_t exponent);

  Kind kind_ = Kind::zero;
  bool negative_ = false;
  std::uint64_t significand_ = 0;
  std::int32_t exponent_ = 0;
};

}  // namespace vornset
