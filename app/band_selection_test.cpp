#include "app/band_selection.h"

#include <gtest/gtest.h>

#include <string>

namespace vornset {
namespace {

struct Case {
  const char* command_text;
  double frequency_mhz;
  std::int64_t frequency_hz;
  const char* digits;
  Band band;
};

class SelectsBandAndFrequency : public testing::TestWithParam<Case> {};

TEST_P(SelectsBandAndFrequency, AsTheInstrumentExpects) {
  const Case& c = GetParam();
  const BandSelection s = select_band_and_frequency(c.command_text);
  EXPECT_FALSE(s.out_of_range);
  EXPECT_DOUBLE_EQ(s.frequency_mhz, c.frequency_mhz);
  EXPECT_EQ(s.frequency_hz, c.frequency_hz);
  EXPECT_EQ(s.frequency_digits(), c.digits);
  EXPECT_EQ(s.band, c.band);
}

// The command text arrives upper-cased; lower-case letters here would never reach selection.
INSTANTIATE_TEST_SUITE_P(
    CommandTexts, SelectsBandAndFrequency,
    testing::Values(
        Case{"", 0, 0, "", Band::hf},
        Case{"VHF", 0, 0, "", Band::vhf},
        Case{"HF", 0, 0, "", Band::hf},
        Case{"LF", 0, 0, "", Band::lf},
        Case{"VHF HF", 0, 0, "", Band::vhf},
        Case{"HF LF", 0, 0, "", Band::lf},
        Case{"VHF LF", 0, 0, "", Band::lf},
        Case{"SELF", 0, 0, "", Band::lf},  // keywords match inside words
        Case{"7.05", 7.05, 7050000, "00007050000", Band::hf},
        Case{"7050000", 7.05, 7050000, "00007050000", Band::hf},
        Case{"144.39", 144.39, 144390000, "00144390000", Band::vhf},
        Case{".1375", 0.1375, 137500, "00000137500", Band::lf},
        Case{"5000", 5000, 5000000000, "05000000000", Band::vhf},
        Case{"5001", 0.005001, 5001, "00000005001", Band::lf},
        Case{"1.8", 1.8, 1800000, "00001800000", Band::hf},
        Case{"1.799999", 1.799999, 1799999, "00001799999", Band::lf},
        Case{"54", 54, 54000000, "00054000000", Band::hf},
        Case{"54.000001", 54.000001, 54000001, "00054000001", Band::vhf},
        Case{"144.3 LF", 144.3, 144300000, "00144300000", Band::vhf},
        Case{"VHF 144.3", 0, 0, "", Band::vhf},  // the text does not begin with a number
        Case{"VHF FREQ 144.3", 144.3, 144300000, "00144300000", Band::vhf},
        Case{"FREQ 7.1", 7.1, 7100000, "00007100000", Band::hf},
        Case{"FREQ7.1", 7.1, 7100000, "00007100000", Band::hf},
        Case{"FREQ=7.1", 0, 0, "", Band::hf},
        Case{"7.1 FREQ", 0, 0, "", Band::hf},  // the empty rest behind the keyword parses as 0
        Case{"-7", -7, 0, "", Band::hf},
        Case{"0.0000004", 0.0000004, 0, "00000000000", Band::lf},  // rounds to 0 Hz
        Case{"7.0500005", 7.0500005, 7050001, "00007050001", Band::hf},  // exact half rounds up
        Case{"14.2 HF", 14.2, 14200000, "00014200000", Band::hf},
        Case{"2147.483648", 2147.483648, 2147483648, "02147483648", Band::vhf},  // beyond 32 bits
        Case{"99999.999999", 0.099999999999, 100000, "00000100000", Band::lf},
        Case{"99999999999", 99999.999999, 99999999999, "99999999999", Band::vhf}));

TEST(SelectsBandAndFrequency, RefusesWhatTheFrequencyCommandCannotCarry) {
  for (const char* text : {"100000000000", "999999999999", "1E400", "1E5000", "FREQ 1E300", "&H7FFFFFFFFFFFFFFF"}) {
    const BandSelection s = select_band_and_frequency(text);
    EXPECT_TRUE(s.out_of_range) << text;
    EXPECT_EQ(s.frequency_digits(), "") << text;
  }
}

}  // namespace
}  // namespace vornset
