// Any bytes as command text: a band, and either no frequency, a frequency whose eleven
// digits are its hertz count rounded once from the megahertz value, or the out-of-range
// result with nothing to send.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/band_selection.h"
#include "fuzz/fuzz_check.h"

namespace {

using vornset::Band;

constexpr std::int64_t kFirstOutOfRangeHertz = 100'000'000'000;  // 12 digits

Band band_for_hertz(std::int64_t hertz) {
  if (hertz < 1'800'000) return Band::lf;
  if (hertz <= 54'000'000) return Band::hf;
  return Band::vhf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const vornset::BandSelection selection = vornset::select_band_and_frequency(text);
  FUZZ_CHECK(selection.band == Band::hf || selection.band == Band::vhf || selection.band == Band::lf);
  const std::string_view digits = selection.frequency_digits();

  if (selection.out_of_range) {
    FUZZ_CHECK(digits.empty());
    FUZZ_CHECK(selection.frequency_hz == 0);
    return 0;
  }
  // Zero, negative (even minus infinity) and NaN mean no frequency.
  if (!(selection.frequency_mhz > 0)) {
    FUZZ_CHECK(digits.empty());
    FUZZ_CHECK(selection.frequency_hz == 0);
    return 0;
  }

  FUZZ_CHECK(std::isfinite(selection.frequency_mhz));
  FUZZ_CHECK(digits.size() == 11);
  std::int64_t from_digits = 0;
  for (const char digit : digits) {
    FUZZ_CHECK(digit >= '0' && digit <= '9');
    from_digits = from_digits * 10 + (digit - '0');
  }
  FUZZ_CHECK(from_digits == selection.frequency_hz);
  FUZZ_CHECK(selection.frequency_hz >= 0 && selection.frequency_hz < kFirstOutOfRangeHertz);
  FUZZ_CHECK(selection.band == band_for_hertz(selection.frequency_hz));
  // Rounded once from the megahertz value: within half a hertz of the exact product
  // (the long double product itself is off by far less than a millionth of a hertz).
  const long double exact_hertz = static_cast<long double>(selection.frequency_mhz) * 1e6L;
  FUZZ_CHECK(std::fabs(exact_hertz - static_cast<long double>(selection.frequency_hz)) <= 0.5L + 1e-6L);
  return 0;
}
