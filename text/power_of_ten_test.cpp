#include "text/power_of_ten.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vornset {
namespace {

// Just enough of a big unsigned integer to hold 10^5000 exactly.
class BigInteger {
 public:
  explicit BigInteger(std::uint32_t value) : limbs_{value} {}

  void multiply(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : limbs_) {
      const std::uint64_t product = std::uint64_t{limb} * factor + carry;
      limb = static_cast<std::uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) limbs_.push_back(static_cast<std::uint32_t>(carry));
  }

  int bit_length() const {
    int bits = static_cast<int>(limbs_.size() - 1) * 32;
    for (std::uint32_t top = limbs_.back(); top != 0; top >>= 1) ++bits;
    return bits;
  }

  bool bit(int index) const {
    return ((limbs_[static_cast<std::size_t>(index / 32)] >> (index % 32)) & 1u) != 0;
  }

  // The nearest value with a 64-bit significand, ties to even.
  Extended nearest_extended() const {
    const int top = bit_length() - 1;
    std::uint64_t significand = 0;
    for (int i = top; i > top - 64; --i) significand = (significand << 1) | (i >= 0 && bit(i) ? 1u : 0u);
    const int first_dropped = top - 64;
    bool round_up = false;
    if (first_dropped >= 0 && bit(first_dropped)) {
      bool sticky = false;
      for (int i = 0; i < first_dropped && !sticky; ++i) sticky = bit(i);
      round_up = sticky || (significand & 1u) != 0;
    }
    std::int32_t exponent = top;
    if (round_up && ++significand == 0) {
      significand = std::uint64_t{1} << 63;
      ++exponent;
    }
    return Extended::from_parts(false, significand, exponent - 63);
  }

 private:
  std::vector<std::uint32_t> limbs_;  // least significant first
};

// Every power of ten from 10^0 to 10^last, exact and then rounded.
std::vector<Extended> nearest_powers_of_ten(int last) {
  std::vector<Extended> powers;
  BigInteger power(1);
  for (int n = 0; n <= last; ++n) {
    powers.push_back(power.nearest_extended());
    power.multiply(10);
  }
  return powers;
}

const std::vector<Extended>& powers() {
  static const std::vector<Extended> all = nearest_powers_of_ten(5000);
  return all;
}

TEST(PowerOfTenTable, HoldsTheNearestValues) {
  for (std::size_t i = 0; i < kBinaryPowersOfTen.size(); ++i) {
    const std::size_t n = std::size_t{8} << i;
    const Extended table = Extended::from_parts(false, kBinaryPowersOfTen[i].significand,
                                                kBinaryPowersOfTen[i].exponent - 63);
    EXPECT_TRUE(same_bits(table, powers()[n])) << "10^" << n;
  }
}

// 5^27 < 2^64: every power up to 10^27 is exact, so scaling by it rounds only once.
TEST(ScaleByPowerOfTen, IsExactUpTo10To27) {
  const Extended seven = Extended::from_uint64(7);
  for (int p = 0; p <= 27; ++p) {
    const Extended exact = powers()[static_cast<std::size_t>(p)];
    EXPECT_TRUE(same_bits(scale_by_power_of_ten(seven, p), seven * exact)) << p;
    EXPECT_TRUE(same_bits(scale_by_power_of_ten(seven, -p), seven / exact)) << -p;
  }
}

// Larger powers are products of rounded table values: within a few units of the truth,
// also beyond 10^4096, where the largest table value is taken out first.
TEST(ScaleByPowerOfTen, LargePowersStayWithinAFewUnits) {
  for (int p : {28, 100, 999, 4096, 4097, 4931, 5000}) {
    const Extended scaled = scale_by_power_of_ten(Extended::from_uint64(1), p);
    const Extended exact = powers()[static_cast<std::size_t>(p)];
    ASSERT_EQ(scaled.exponent(), exact.exponent()) << p;
    const std::uint64_t distance = scaled.significand() > exact.significand()
                                       ? scaled.significand() - exact.significand()
                                       : exact.significand() - scaled.significand();
    EXPECT_LE(distance, 8u) << p;
    const Extended back = scale_by_power_of_ten(scale_by_power_of_ten(Extended::from_uint64(3), -p), p);
    EXPECT_EQ(back.round_to_int64(), 3) << p;
  }
}

}  // namespace
}  // namespace vornset
