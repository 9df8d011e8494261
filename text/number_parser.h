#pragma once

#include <string_view>

#include "text/extended.h"

namespace vornset {

// Reads the number at the start of `text` after any spaces, tabs, CRs and LFs: a decimal
// number with optional sign, fraction and exponent ('E' or 'D'), or an '&' radix integer.
// Never fails: text that does not begin with a number gives 0, and whatever follows the
// number is ignored ('14.2 HF' gives 14.2, '=7.1' gives 0).
Extended parse_number(std::string_view text);

// parse_number rounded once to double; too large a value becomes infinity.
double parse_number_to_double(std::string_view text);

}  // namespace vornset
