#pragma once

#include <string_view>

#include "app/band.h"
#include "app/band_selection.h"

namespace vornset {

class ConsoleOutput;

// The line that names the band, the state of the low-pass filter and the output in use.
std::string_view band_line(Band band);

// Tells the user what the run is about to do: the band line and, when a frequency was
// given, the frequency in megahertz.
void print_console_report(ConsoleOutput& console, const BandSelection& selection);

}  // namespace vornset
