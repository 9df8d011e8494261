#include "text/power_of_ten.h"

namespace vornset {

// Each significand is the top 64 bits of the exact integer 10^n, rounded to nearest
// (ties cannot occur: the bits below are not 1000...0); the exponent is the index of
// the top bit of 10^n. Up to 10^16 (5^16 < 2^64) the value is exact. The bits below
// the significand are written in hexadecimal, truncated where long.
const std::array<PowerOfTenEntry, 10> kBinaryPowersOfTen = {{
    {0xBEBC200000000000u, 26},     // 10^8    = 0x5F5E100, exact
    {0x8E1BC9BF04000000u, 53},     // 10^16   = 0x2386F26FC10000, exact
    {0x9DC5ADA82B70B59Eu, 106},    // 10^32:   rest 0x781_0000_0000 of 2^43, rounded up
    {0xC2781F49FFCFA6D5u, 212},    // 10^64:   rest 0x797ED6E3... of 2^149, rounded down
    {0x93BA47C980E98CE0u, 425},    // 10^128:  rest 0x319BCCDB... of 2^362, rounded up
    {0xAA7EEBFB9DF9DE8Eu, 850},    // 10^256:  rest 0x6EDDC80D... of 2^787, rounded up
    {0xE319A0AEA60E91C7u, 1700},   // 10^512:  rest 0x198CAB8A... of 2^1637, rounded up
    {0xC976758681750C17u, 3401},   // 10^1024: rest 0x19434F4A... of 2^3338, rounded down
    {0x9E8B3B5DC53D5DE5u, 6803},   // 10^2048: rest 0xA74D28CE... of 2^6740, rounded up
    {0xC46052028A20979Bu, 13606},  // 10^4096: rest 0x64A60A9F... of 2^13543, rounded up
}};

namespace {

Extended table_power(std::size_t index) {
  const PowerOfTenEntry& entry = kBinaryPowersOfTen[index];
  return Extended::from_parts(false, entry.significand, entry.exponent - 63);
}

}  // namespace

Extended scale_by_power_of_ten(const Extended& value, int exponent) {
  if (exponent == 0) return value;  // an integer as typed: nothing to build
  constexpr std::uint32_t kSmallPowers[8] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
  const bool divide = exponent < 0;
  std::uint32_t rest = divide ? 0u - static_cast<std::uint32_t>(exponent) : static_cast<std::uint32_t>(exponent);
  Extended scaled = value;
  // The table ends at 10^4096; larger powers take it out whole first.
  while (rest > 4096) {
    scaled = divide ? scaled / table_power(9) : scaled * table_power(9);
    rest -= 4096;
  }
  Extended power = Extended::from_uint64(kSmallPowers[rest % 8]);
  std::uint32_t table_bits = rest / 8;
  for (std::size_t index = 0; table_bits != 0; ++index, table_bits >>= 1) {
    if ((table_bits & 1u) != 0) power = power * table_power(index);
  }
  return divide ? scaled / power : scaled * power;
}

}  // namespace vornset
