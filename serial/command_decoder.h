#pragma once

#include <string>
#include <string_view>

namespace vornset {

// What one command received on the line means, in the words of the band report:
// "LP1;" is "low-pass filter in", "FA00007050000;" is "frequency 7050000 Hz". Anything
// else is "malformed: " and the bytes, with unprintable ones escaped as \xNN.
// `command` holds one command with its ';' (or the bytes left when the line went quiet).
std::string describe_command(std::string_view command);

// The bytes made visible: printable ASCII as it is, everything else as \xNN.
std::string escape_bytes(std::string_view bytes);

}  // namespace vornset
