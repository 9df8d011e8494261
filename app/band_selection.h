#pragma once

#include <cstdint>
#include <string_view>

#include "app/band.h"

namespace vornset {

// What the command text asks of the instrument.
struct BandSelection {
  double frequency_mhz = 0;        // as typed, in megahertz (hertz values converted)
  std::int64_t frequency_hz = 0;   // 0: no frequency given
  Band band = Band::hf;
  // The frequency is not finite, or its hertz count has more than the 11 digits the
  // instrument's frequency command carries. Nothing may be sent for it.
  bool out_of_range = false;

  // The hertz count as 11 digits with leading zeros; empty when no frequency was given.
  std::string_view frequency_digits() const { return {digits_, digits_length_}; }

  char digits_[12] = {};
  std::size_t digits_length_ = 0;
};

// The band keywords are searched in the command text as bytes; the text arrives
// upper-cased, so they match in any letter case.
BandSelection select_band_and_frequency(std::string_view command_text);

}  // namespace vornset
