#pragma once

#include <cstdint>

#include "serial/serial_platform.h"

namespace vornset {

// How each byte goes on the line: a start bit, its data bits, a parity bit unless there
// is no parity, and its stop bits.
struct LineFormat {
  std::uint8_t data_bits = 8;
  Parity parity = Parity::none;
  StopBits stop_bits = StopBits::one;
};

// The time `bytes` take on the line at `rate` baud in `format`, in milliseconds rounded
// up; 0 at rate 0, which is no rate. Every kind of port and the link take it from here.
// Inline, so that the link's 8N1 costs a local run no more than a constant would.
constexpr std::uint64_t line_time_ms(std::uint64_t bytes, std::uint32_t rate, LineFormat format = {}) {
  if (rate == 0) return 0;
  // Counted in half bits, for one and a half stop bits: 8N1 is 20, 8E2 is 24 at most.
  const std::uint64_t stop_halves = format.stop_bits == StopBits::two            ? 4
                                    : format.stop_bits == StopBits::one_and_half ? 3
                                                                                 : 2;
  const std::uint64_t half_bits =
      2 * (1 + std::uint64_t{format.data_bits} + (format.parity == Parity::none ? 0 : 1)) + stop_halves;
  const std::uint64_t half_bit_rate = 2 * std::uint64_t{rate};
  return (bytes * half_bits * 1000 + half_bit_rate - 1) / half_bit_rate;
}

}  // namespace vornset
