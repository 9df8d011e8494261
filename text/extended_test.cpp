#include "text/extended.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace vornset {
namespace {

constexpr std::uint64_t kTop = std::uint64_t{1} << 63;

Extended integer(std::uint64_t value) { return Extended::from_uint64(value); }

double double_from_bits(std::uint64_t bits) { return std::bit_cast<double>(bits); }
std::uint64_t bits_of(double value) { return std::bit_cast<std::uint64_t>(value); }

// Expected results worked out with exact rational arithmetic.
struct ExactCase {
  const char* name;
  std::uint64_t a;
  std::uint64_t b;
  std::uint64_t significand;
  std::int32_t exponent;
};

TEST(ExtendedMultiply, RoundsOnceToNearestEven) {
  const ExactCase table[] = {
      {"tie, even stays", 0x8000000080000000u, 0x8000000080000000u, 0x8000000100000000u, 126},
      {"tie, odd rounds up", 0x8000000080000000u, 0x8000000180000000u, 0x8000000200000002u, 126},
      {"round-up carries into the exponent", 0xFFFFFFFF80000000u, 0x8000000040000000u, kTop, 127},
      {"largest significands", ~std::uint64_t{0}, ~std::uint64_t{0}, 0xFFFFFFFFFFFFFFFEu, 127},
      {"above half rounds up", 0xC000000000000001u, 0xAAAAAAAAAAAAAAABu, 0x8000000000000001u, 127},
  };
  for (const ExactCase& row : table) {
    const Extended product = integer(row.a) * integer(row.b);
    EXPECT_EQ(product.significand(), row.significand) << row.name;
    EXPECT_EQ(product.exponent(), row.exponent) << row.name;
  }
}

TEST(ExtendedDivide, RoundsOnceToNearest) {
  const ExactCase table[] = {
      {"1/3", 1, 3, 0xAAAAAAAAAAAAAAABu, -2},
      {"2/3", 2, 3, 0xAAAAAAAAAAAAAAABu, -1},
      {"quotient just below 2", ~std::uint64_t{0}, 0x8000000000000001u, 0xFFFFFFFFFFFFFFFDu, 0},
      {"quotient just above 1/2", kTop, ~std::uint64_t{0}, 0x8000000000000001u, -1},
      {"10^18 / (10^17 + 3)", 1'000'000'000'000'000'000u, 100'000'000'000'000'003u, 0x9FFFFFFFFFFFFEA6u, 3},
  };
  for (const ExactCase& row : table) {
    const Extended quotient = integer(row.a) / integer(row.b);
    EXPECT_EQ(quotient.significand(), row.significand) << row.name;
    EXPECT_EQ(quotient.exponent(), row.exponent) << row.name;
  }
}

TEST(ExtendedSpecialValues, FollowTheUsualRules) {
  using Kind = Extended::Kind;
  const Extended one = integer(1);
  const Extended zero = Extended::zero(false);
  const Extended infinity = Extended::infinity(false);
  struct Row {
    const char* name;
    Extended result;
    Kind kind;
    bool negative;
  };
  const Row table[] = {
      {"inf * 0", infinity * zero, Kind::nan, false},
      {"inf / inf", infinity / infinity, Kind::nan, false},  // NOLINT(misc-redundant-expression)
      {"0 / 0", zero / zero, Kind::nan, false},              // NOLINT(misc-redundant-expression)
      {"nan * 1", Extended::nan() * one, Kind::nan, false},
      {"-1 / 0", one.negated() / zero, Kind::infinity, true},
      {"1 / -inf", one / infinity.negated(), Kind::zero, true},
      {"-0 * 1", zero.negated() * one, Kind::zero, true},
      {"-inf * -1", infinity.negated() * one.negated(), Kind::infinity, false},
      {"huge * huge", Extended::from_parts(false, 1, (1 << 23) + 1) * Extended::from_parts(false, 1, 1 << 23),
       Kind::infinity, false},
      {"tiny * tiny", Extended::from_parts(true, 1, -(1 << 23) - 1) * Extended::from_parts(false, 1, -(1 << 23)),
       Kind::zero, true},
  };
  for (const Row& row : table) {
    EXPECT_EQ(row.result.kind(), row.kind) << row.name;
    if (row.kind != Kind::nan) {
      EXPECT_EQ(row.result.is_negative(), row.negative) << row.name;
    }
  }
}

TEST(ExtendedFromDouble, IsExactForEveryKindOfDouble) {
  const std::uint64_t table[] = {
      0x0000000000000001u,  // smallest subnormal
      0x000FFFFFFFFFFFFFu,  // largest subnormal
      0x0010000000000000u,  // smallest normal
      0x7FEFFFFFFFFFFFFFu,  // largest double
      0x3FF0000000000001u,  // 1 + 2^-52
      0xC01C333333333333u,  // -7.05
      0x8000000000000000u,  // -0
      0xFFF0000000000000u,  // -infinity
  };
  for (std::uint64_t bits : table) {
    EXPECT_EQ(bits_of(Extended::from_double(double_from_bits(bits)).to_double()), bits) << std::hex << bits;
  }
  const Extended smallest = Extended::from_double(double_from_bits(1));
  EXPECT_EQ(smallest.significand(), kTop);
  EXPECT_EQ(smallest.exponent(), -1074);
  EXPECT_EQ(Extended::from_double(std::numeric_limits<double>::quiet_NaN()).kind(), Extended::Kind::nan);
}

TEST(ExtendedToDouble, RoundsOnceIncludingSubnormals) {
  struct Row {
    const char* name;
    Extended value;
    std::uint64_t bits;
  };
  const Row table[] = {
      {"tie below 1 + 2^-52 goes to even 1", Extended::from_parts(false, kTop | (1u << 10), -63), 0x3FF0000000000000u},
      {"tie above odd goes up", Extended::from_parts(false, kTop | (3u << 10), -63), 0x3FF0000000000002u},
      {"just above a tie goes up", Extended::from_parts(false, kTop | (1u << 10) | 1u, -63), 0x3FF0000000000001u},
      {"carry into the exponent", Extended::from_parts(false, ~std::uint64_t{0}, -63), 0x4000000000000000u},
      {"largest double", Extended::from_parts(false, 0xFFFFFFFFFFFFF800u, 1024 - 64), 0x7FEFFFFFFFFFFFFFu},
      {"halfway past the largest overflows", Extended::from_parts(false, 0xFFFFFFFFFFFFFC00u, 1024 - 64),
       0x7FF0000000000000u},
      {"2^1024", Extended::from_parts(false, 1, 1024), 0x7FF0000000000000u},
      {"half the smallest subnormal ties to 0", Extended::from_parts(true, 1, -1075), 0x8000000000000000u},
      {"above half the smallest subnormal", Extended::from_parts(false, kTop | 1u, -1075 - 63), 1},
      {"1.5 smallest subnormals ties to 2", Extended::from_parts(false, 3, -1075), 2},
      {"2.5 smallest subnormals ties to 2", Extended::from_parts(false, 5, -1075), 2},
      {"largest subnormal rounds up to smallest normal",
       Extended::from_parts(false, ~std::uint64_t{0}, -1022 - 64), 0x0010000000000000u},
      {"far below the subnormals", Extended::from_parts(false, 1, -5000), 0},
  };
  for (const Row& row : table) {
    EXPECT_EQ(bits_of(row.value.to_double()), row.bits) << row.name;
  }
  EXPECT_TRUE(std::isnan(Extended::nan().to_double()));
}

TEST(ExtendedRoundToInt64, TiesToEvenAndReportsWhatDoesNotFit) {
  struct Row {
    const char* name;
    Extended value;
    std::optional<std::int64_t> expected;
  };
  const Row table[] = {
      {"9600.5", Extended::from_parts(false, 19201, -1), 9600},
      {"9601.5", Extended::from_parts(false, 19203, -1), 9602},
      {"-2.5", Extended::from_parts(true, 5, -1), -2},
      {"0.5", Extended::from_parts(false, 1, -1), 0},
      {"just above 0.5", Extended::from_parts(false, kTop | 1u, -64), 1},
      {"0.25", Extended::from_parts(false, 1, -2), 0},
      {"-0", Extended::zero(true), 0},
      {"-2^63", Extended::from_int64(std::numeric_limits<std::int64_t>::min()),
       std::numeric_limits<std::int64_t>::min()},
      {"2^63 - 1", Extended::from_int64(std::numeric_limits<std::int64_t>::max()),
       std::numeric_limits<std::int64_t>::max()},
      {"2^63", Extended::from_parts(false, 1, 63), std::nullopt},
      {"2^63 - 0.5 rounds to 2^63", Extended::from_parts(false, ~std::uint64_t{0}, -1), std::nullopt},
      {"-2^63 - 1", Extended::from_parts(true, kTop | 1u, 0), std::nullopt},
      {"infinity", Extended::infinity(false), std::nullopt},
      {"nan", Extended::nan(), std::nullopt},
  };
  for (const Row& row : table) {
    EXPECT_EQ(row.value.round_to_int64(), row.expected) << row.name;
  }
  EXPECT_EQ(Extended::from_parts(false, ~std::uint64_t{0}, 0).round_magnitude_to_uint64(), ~std::uint64_t{0});
  EXPECT_EQ(Extended::from_parts(false, 1, 64).round_magnitude_to_uint64(), std::nullopt);
}

}  // namespace
}  // namespace vornset
