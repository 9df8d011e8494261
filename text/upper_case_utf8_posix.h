#pragma once

#include <string>
#include <string_view>

namespace vornset {

// Upper-cases UTF-8 text by Unicode simple case mapping, one character at a time (the
// byte length may change). ASCII letters are mapped without consulting any locale;
// other letters as far as the C library's UTF-8 locale knows them. Bytes that are not
// valid UTF-8 pass through unchanged.
std::string upper_case_utf8(std::string_view text);

}  // namespace vornset
