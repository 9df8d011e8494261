#pragma once

#include <string_view>

#include "text/extended.h"

namespace vornset {

// Reads an integer in base 2, 8 or 16 written behind an ampersand ('&H1F', '&B101',
// '&O17', '&17'), with its optional type suffix. `text` starts at the '&'. Never fails:
// no digit, or more than 64 bits, gives 0.
Extended scan_radix_number(std::string_view text);

}  // namespace vornset
