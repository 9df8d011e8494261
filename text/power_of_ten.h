#pragma once

#include <array>
#include <cstdint>

#include "text/extended.h"

namespace vornset {

// value × 10^exponent for exponent >= 0, value ÷ 10^-exponent otherwise. The power is
// built from exact small powers and the table below, rounding after every product, so
// powers up to 10^27 (5^27 < 2^64) are exact and the result is rounded once.
Extended scale_by_power_of_ten(const Extended& value, int exponent);

// 10^(8·2^i) for i = 0..9, each the nearest value with a 64-bit significand:
// significand × 2^(exponent - 63).
struct PowerOfTenEntry {
  std::uint64_t significand;
  std::int32_t exponent;
};
extern const std::array<PowerOfTenEntry, 10> kBinaryPowersOfTen;

}  // namespace vornset
