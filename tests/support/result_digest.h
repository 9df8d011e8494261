#pragma once

#include <cfloat>
#include <cstdint>

#include "text/extended.h"

namespace vornset {

// `long double` is the x87 format, with the same 64-bit significand as Extended.
#if LDBL_MANT_DIG == 64 && (defined(__x86_64__) || defined(__i386__))
inline constexpr bool long_double_is_x87 = true;
#else
inline constexpr bool long_double_is_x87 = false;
#endif

// FNV-1a over the bits of every result a test computes: two builds with the same digest
// computed every result alike, bit for bit. Where a build has no exact oracle (no x87
// unit), the digest of the x86-64 build, which checked each result against its oracle,
// stands in for it.
class ResultDigest {
 public:
  void add(std::uint64_t word) {
    for (int shift = 0; shift < 64; shift += 8) value_ = (value_ ^ ((word >> shift) & 0xFFu)) * 0x100000001B3u;
  }
  void add(const Extended& value) {
    add(static_cast<std::uint64_t>(value.kind()) << 1 | (value.is_negative() ? 1u : 0u));
    add(value.significand());
    add(static_cast<std::uint64_t>(static_cast<std::int64_t>(value.exponent())));
  }
  std::uint64_t value() const { return value_; }

 private:
  std::uint64_t value_ = 0xCBF29CE484222325u;  // FNV-1a's 64-bit offset basis
};

}  // namespace vornset
