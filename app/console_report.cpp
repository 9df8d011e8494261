#include "app/console_report.h"

#include "frame/console_output.h"

namespace vornset {

std::string_view band_line(Band band) {
  switch (band) {
    case Band::vhf: return "VHF Mode,   LP Filter out    0dBm output used";
    case Band::lf: return "LF Mode,   LP Filter in    0dBm output used";
    case Band::hf: break;
  }
  return "HF Mode,   LP Filter in    PWR out";
}

void print_console_report(ConsoleOutput& console, const BandSelection& selection) {
  console.print_text(band_line(selection.band));
  console.end_line();
  // The test is on the hertz count, but the megahertz value is what the user typed.
  if (selection.frequency_hz > 0) {
    console.print_text("Frequency  ");
    console.print_number(selection.frequency_mhz);
    console.print_text("MHz");
    console.end_line();
  }
}

}  // namespace vornset
