#pragma once

#include <cstddef>
#include <string>

#include "text/extended.h"

namespace vornset {

inline constexpr std::size_t kPrintedNumberCapacity = 64;
// Digits the program writes; the digit generator supports up to 18.
inline constexpr int kPrintedDigits = 15;

// The full form: a sign position ('-' or blank), at most `significant_digits` digits
// (1 to 18) in plain or exponent notation, and one blank behind: ' 7.05 ', '-5 ',
// ' 1E+15 ', ' .0000001 '. Returns its length; `out` holds at least 32 characters.
std::size_t format_number(const Extended& value, int significant_digits, char* out);

// The form of a number in a print statement: the full form with 15 digits.
std::size_t format_printed_number(double value, char (&out)[kPrintedNumberCapacity]);

// The form of a number as a text value: the full form with 15 digits without the blank
// behind (' 7050000', '-5').
std::string format_number_text(const Extended& value);

}  // namespace vornset
