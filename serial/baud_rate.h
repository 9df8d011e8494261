#pragma once

#include <cstdint>
#include <string_view>

namespace vornset {

// The baud text read as a number, rounded half to even to a 64-bit integer whose low
// 32 bits are the rate. Text that is no number, or a number beyond 64 bits, gives 0.
std::uint32_t baud_rate_for_text(std::string_view baud_text);

}  // namespace vornset
