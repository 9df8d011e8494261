#pragma once

#include <cstdint>
#include <string_view>

namespace vornset {

// The baud text read as a number, rounded half to even to a 64-bit integer whose low
// 32 bits are the rate. Text that is no number, or a number beyond 64 bits, gives 0.
std::uint32_t baud_rate_for_text(std::string_view baud_text);

// Drivers round a rate they cannot make exactly; the kernel calls a rate within 2 % the
// same rate. Further off, the driver has not taken it.
bool rate_taken(std::uint32_t asked, std::uint32_t got);

}  // namespace vornset
