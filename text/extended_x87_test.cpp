// The x87 unit computes with the same 64-bit significand and rounds exactly, so where
// `long double` is that format it serves as the oracle for Extended. Every build also
// folds the results into a digest that must equal the x86-64 build's: the ARM builds,
// which have no such oracle, compute the same numbers bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>

#include "tests/support/result_digest.h"
#include "text/extended.h"

namespace vornset {
namespace {

constexpr std::uint64_t kTop = std::uint64_t{1} << 63;
constexpr int kCases = 100000;
// What the x86-64 build computes for each test's cases, each result checked there
// against the oracle.
constexpr std::uint64_t kMultiplyDigest = 0x718A339E528155F3u;
constexpr std::uint64_t kDivideDigest = 0x81D49A4EC36ECEECu;
constexpr std::uint64_t kToDoubleDigest = 0xFACE02B95B1119B8u;
constexpr std::uint64_t kFromDoubleDigest = 0x89F22FC379C98B0Fu;
constexpr std::uint64_t kRoundDigest = 0xFB20E1C89319F9DDu;

long double to_long_double(const Extended& value) {
  const long double magnitude = std::ldexp(static_cast<long double>(value.significand()), value.exponent() - 63);
  return value.is_negative() ? -magnitude : magnitude;
}

// Windows may start a process with the x87 unit rounding to 53 bits; ARM has no such unit.
bool hardware_rounds_to_64_bits() {
  if (!long_double_is_x87) return false;
  volatile long double one = 1.0L;
  volatile long double tiny = std::ldexp(1.0L, -63);
  const long double sum = one + tiny;
  return sum != one;
}
// The conversions need no x87 arithmetic, only a `long double` that holds every Extended
// exactly (the x87 format, or aarch64's 113-bit one).
bool long_double_holds_extended() { return LDBL_MANT_DIG >= 64 && LDBL_MAX_EXP >= 16384; }

class Generator {
 public:
  std::uint64_t bits() { return engine_(); }
  int between(int low, int high) { return low + static_cast<int>(engine_() % static_cast<std::uint64_t>(high - low + 1)); }
  bool coin() { return (engine_() & 1u) != 0; }
  std::uint64_t significand() { return engine_() | kTop; }
  // A normalized significand with only `count` significant bits.
  std::uint64_t short_significand(int count) { return (significand() >> (64 - count)) << (64 - count); }
  Extended value(std::uint64_t significand, int low_exponent, int high_exponent) {
    // Drawn one after the other: the compilers for x86-64 and ARM evaluate a call's
    // arguments in different orders, which would give each build other cases.
    const bool negative = coin();
    return Extended::from_parts(negative, significand, between(low_exponent, high_exponent) - 63);
  }

 private:
  std::mt19937_64 engine_{20240611};
};

std::uint64_t inverse_mod_2_to_64(std::uint64_t odd) {
  std::uint64_t inverse = odd;  // right to 3 bits; each Newton step doubles that
  for (int i = 0; i < 5; ++i) inverse *= 2u - odd * inverse;
  return inverse;
}

// residue / 2^count modulo an odd modulus, by halving: an odd residue first gets the
// modulus added, computed without overflowing 64 bits.
std::uint64_t divide_by_power_of_two_mod(std::uint64_t residue, int count, std::uint64_t modulus) {
  for (int i = 0; i < count; ++i) {
    residue = (residue & 1u) == 0 ? residue >> 1 : (residue >> 1) + (modulus >> 1) + 1u;
  }
  return residue;
}

// Significand pairs whose 128-bit product lies on, or a few units beside, a rounding
// tie: the low bits are solved for with the inverse modulo 2^64.
bool near_tie_product(Generator& random, std::uint64_t& a, std::uint64_t& b) {
  a = random.significand() | 1u;
  const std::uint64_t offset = static_cast<std::uint64_t>(random.between(-3, 3));
  const std::uint64_t targets[] = {kTop, kTop >> 1, kTop | (kTop >> 1), 0};
  b = (targets[random.between(0, 3)] + offset) * inverse_mod_2_to_64(a);
  return (b & kTop) != 0;
}

// Dividend and odd divisor whose quotient lies on a few units beside a rounding tie:
// a·2^count ≡ small (mod b) puts the scaled quotient's fraction next to 0 or 1/2.
bool near_tie_quotient(Generator& random, std::uint64_t& a, std::uint64_t& b) {
  b = random.significand() | 1u;
  const int small = random.between(-3, 3);
  const std::uint64_t residue = small >= 0 ? static_cast<std::uint64_t>(small) : b - static_cast<std::uint64_t>(-small);
  a = divide_by_power_of_two_mod(residue, random.coin() ? 64 : 65, b);
  if ((a & kTop) != 0) return true;
  if (a > ~b) return false;
  a += b;
  return (a & kTop) != 0;
}

void pick_operands(Generator& random, int family, bool divide, std::uint64_t& a, std::uint64_t& b) {
  for (;;) {
    switch (family) {
      case 0:
        a = random.significand();
        b = random.significand();
        return;
      case 1: {  // products of 64 to 66 bits: exact ties and exact results
        const int count = random.between(2, 63);
        a = random.short_significand(count);
        b = random.short_significand(65 - count + random.between(0, 1));
        return;
      }
      case 2:
        if (divide ? near_tie_quotient(random, a, b) : near_tie_product(random, a, b)) return;
        break;
      default:  // all ones and powers of two: carries out of the significand
        a = random.coin() ? ~std::uint64_t{0} - static_cast<std::uint64_t>(random.between(0, 3)) : kTop;
        b = random.coin() ? ~std::uint64_t{0} - static_cast<std::uint64_t>(random.between(0, 3)) : random.significand();
        return;
    }
  }
}

std::uint64_t compare_with_hardware(bool divide) {
  const bool oracle = hardware_rounds_to_64_bits();
  Generator random;
  ResultDigest digest;
  int mismatches = 0;
  for (int i = 0; i < kCases && mismatches < 10; ++i) {
    std::uint64_t a_bits = 0;
    std::uint64_t b_bits = 0;
    pick_operands(random, i % 4, divide, a_bits, b_bits);
    const Extended a = random.value(a_bits, -300, 300);
    const Extended b = random.value(b_bits, -300, 300);
    const Extended ours = divide ? a / b : a * b;
    digest.add(ours);
    if (!oracle) continue;
    const long double theirs = divide ? to_long_double(a) / to_long_double(b) : to_long_double(a) * to_long_double(b);
    if (to_long_double(ours) != theirs) {
      ++mismatches;
      ADD_FAILURE() << std::hex << a_bits << (divide ? " / " : " * ") << b_bits << " gave " << ours.significand();
    }
  }
  return digest.value();
}

TEST(ExtendedAgainstX87, MultiplyMatchesBitForBit) {
  EXPECT_EQ(compare_with_hardware(false), kMultiplyDigest);
}

TEST(ExtendedAgainstX87, DivideMatchesBitForBit) {
  EXPECT_EQ(compare_with_hardware(true), kDivideDigest);
}

// Values around the double range, with significands on or beside the tie for the
// precision that the result has there (53 bits, fewer for subnormals).
TEST(ExtendedAgainstX87, ToDoubleMatchesBitForBit) {
  const bool oracle = long_double_holds_extended();
  Generator random;
  ResultDigest digest;
  int mismatches = 0;
  for (int i = 0; i < kCases && mismatches < 10; ++i) {
    const int exponent = random.between(-1140, 1030);
    std::uint64_t significand = random.significand();
    if (i % 2 == 0) {
      const int dropped = std::min(exponent >= -1022 ? 11 : -1011 - exponent, 63);
      const std::uint64_t half = std::uint64_t{1} << (dropped - 1);
      const std::uint64_t low_mask = (half << 1) - 1u;
      significand = (significand & ~low_mask) + half + static_cast<std::uint64_t>(random.between(-2, 2));
      significand |= kTop;
    }
    const Extended value = Extended::from_parts(random.coin(), significand, exponent - 63);
    const std::uint64_t ours = std::bit_cast<std::uint64_t>(value.to_double());
    digest.add(ours);
    if (oracle && ours != std::bit_cast<std::uint64_t>(static_cast<double>(to_long_double(value)))) {
      ++mismatches;
      ADD_FAILURE() << std::hex << significand << std::dec << " · 2^" << exponent;
    }
  }
  EXPECT_EQ(digest.value(), kToDoubleDigest);
}

TEST(ExtendedAgainstX87, FromDoubleIsExact) {
  const bool oracle = long_double_holds_extended();
  Generator random;
  ResultDigest digest;
  for (int i = 0; i < kCases; ++i) {
    std::uint64_t bits = random.bits();
    if (i % 4 == 0) bits &= 0x800FFFFFFFFFFFFFu;  // subnormals
    const double value = std::bit_cast<double>(bits);
    if (std::isnan(value)) continue;
    const Extended ours = Extended::from_double(value);
    digest.add(ours);
    if (value == 0) {
      EXPECT_EQ(ours.kind(), Extended::Kind::zero);
    } else if (std::isinf(value)) {
      EXPECT_EQ(ours.kind(), Extended::Kind::infinity);
    } else if (oracle) {
      ASSERT_EQ(to_long_double(ours), static_cast<long double>(value)) << std::hex << bits;
    }
    ASSERT_EQ(ours.is_negative(), std::signbit(value));
  }
  EXPECT_EQ(digest.value(), kFromDoubleDigest);
}

TEST(ExtendedAgainstX87, RoundToInt64MatchesBitForBit) {
  const bool oracle = hardware_rounds_to_64_bits();
  Generator random;
  ResultDigest digest;
  for (int i = 0; i < kCases; ++i) {
    const int exponent = random.between(-3, 62);
    std::uint64_t significand = random.significand();
    if (i % 2 == 0 && exponent >= 0) {  // x.5 and its neighbours
      const std::uint64_t half = std::uint64_t{1} << (62 - exponent);
      const std::uint64_t low_mask = (half << 1) - 1u;
      significand = ((significand & ~low_mask) + half + static_cast<std::uint64_t>(random.between(-1, 1))) | kTop;
    }
    const Extended value = Extended::from_parts(random.coin(), significand, exponent - 63);
    const std::optional<std::int64_t> ours = value.round_to_int64();
    ASSERT_TRUE(ours.has_value());
    digest.add(static_cast<std::uint64_t>(*ours));
    if (oracle) {
      ASSERT_EQ(*ours, std::llrint(to_long_double(value))) << std::hex << significand << std::dec << " · 2^" << exponent;
    }
  }
  EXPECT_EQ(digest.value(), kRoundDigest);
}

}  // namespace
}  // namespace vornset
