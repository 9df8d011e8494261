#pragma once

#include <string_view>

#include "app/band.h"

namespace vornset {

class SerialLink;

// The instrument's commands: two letters, an argument and ';', each sent as one write.
namespace device_command {
inline constexpr std::string_view filter_out = "LP0;";
inline constexpr std::string_view filter_in = "LP1;";
inline constexpr std::string_view power_output = "TT0;";
inline constexpr std::string_view zero_dbm_output = "TT1;";
inline constexpr std::string_view set_frequency = "FA";  // then eleven digits of hertz and ';'
}  // namespace device_command

// The filter command, then the output command, for the band.
void send_band_commands(SerialLink& link, Band band);

// "FA", the frequency digits and ';' in one write; nothing when there are no digits.
void send_frequency_command(SerialLink& link, std::string_view frequency_digits);

}  // namespace vornset
