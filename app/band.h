#pragma once

#include <cstdint>

namespace vornset {

// The instrument's three bands; the numbering is the one the run state holds.
enum class Band : std::uint8_t { hf = 0, vhf = 1, lf = 2 };

}  // namespace vornset
