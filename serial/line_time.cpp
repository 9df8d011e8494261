#include "serial/line_time.h"

namespace vornset {

std::uint64_t line_time_ms(std::uint64_t bytes, std::uint32_t rate, LineFormat format) {
  if (rate == 0) return 0;
  // Counted in half bits, for one and a half stop bits: 8N1 is 20, 8E2 is 24 at most.
  const std::uint64_t stop_halves = format.stop_bits == StopBits::two ? 4 : format.stop_bits == StopBits::one_and_half ? 3 : 2;
  const std::uint64_t half_bits = 2 * (1 + std::uint64_t{format.data_bits} + (format.parity == Parity::none ? 0 : 1)) + stop_halves;
  const std::uint64_t half_bit_rate = 2 * std::uint64_t{rate};
  return (bytes * half_bits * 1000 + half_bit_rate - 1) / half_bit_rate;
}

}  // namespace vornset
