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
std::uint64_t line_time_ms(std::uint64_t bytes, std::uint32_t rate, LineFormat format = {});

}  // namespace vornset
