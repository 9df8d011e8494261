#include "app/band_selection.h"

#include <cmath>

#include "text/extended.h"
#include "text/number_parser.h"

namespace vornset {
namespace {

constexpr double kHighestMegahertzValue = 5000;  // anything above was typed in hertz
constexpr std::int64_t kHertzPerMegahertz = 1000000;
constexpr std::size_t kFrequencyDigits = 11;
constexpr std::int64_t kFirstOutOfRangeHertz = 100000000000;  // 10^11: 12 digits
constexpr std::int64_t kLowestHfHertz = 1800000;
constexpr std::int64_t kHighestHfHertz = 54000000;

bool contains(std::string_view text, std::string_view keyword) {
  return text.find(keyword) != std::string_view::npos;
}

Band band_from_keywords(std::string_view text) {
  // "VHF" holds "HF", and "LF" wins over both.
  Band band = contains(text, "VHF") ? Band::vhf : Band::hf;
  if (contains(text, "LF")) band = Band::lf;
  return band;
}

Band band_from_hertz(std::int64_t hertz) {
  if (hertz > kHighestHfHertz) return Band::vhf;
  if (hertz < kLowestHfHertz) return Band::lf;
  return Band::hf;
}

void write_frequency_digits(std::int64_t hertz, BandSelection& selection) {
  // 0 <= hertz < 10^11, so exactly eleven digits with the leading zeros.
  for (std::size_t i = kFrequencyDigits; i-- > 0;) {
    selection.digits_[i] = static_cast<char>('0' + hertz % 10);
    hertz /= 10;
  }
  selection.digits_length_ = kFrequencyDigits;
}

}  // namespace

BandSelection select_band_and_frequency(std::string_view command_text) {
  BandSelection selection;
  selection.frequency_mhz = parse_number_to_double(command_text);
  if (const auto at = command_text.find("FREQ"); at != std::string_view::npos) {
    selection.frequency_mhz = parse_number_to_double(command_text.substr(at + 4));
  }
  selection.band = band_from_keywords(command_text);

  if (!(selection.frequency_mhz > 0)) return selection;
  if (!std::isfinite(selection.frequency_mhz)) {
    selection.out_of_range = true;
    return selection;
  }
  if (selection.frequency_mhz > kHighestMegahertzValue) {
    // Typed in hertz: one extended-precision division, one rounding to double.
    selection.frequency_mhz =
        (Extended::from_double(selection.frequency_mhz) / Extended::from_int64(kHertzPerMegahertz))
            .to_double();
  }
  // The product is rounded once, from extended precision, so half-hertz inputs round as
  // the exact product says ('7.0500005' gives 7050001 Hz).
  const auto hertz = (Extended::from_double(selection.frequency_mhz) *
                      Extended::from_int64(kHertzPerMegahertz))
                         .round_to_int64();
  if (!hertz || *hertz >= kFirstOutOfRangeHertz) {
    selection.out_of_range = true;
    return selection;
  }
  selection.frequency_hz = *hertz;
  write_frequency_digits(*hertz, selection);
  selection.band = band_from_hertz(*hertz);
  return selection;
}

}  // namespace vornset
