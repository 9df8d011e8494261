#include "serial/baud_rate.h"

#include <gtest/gtest.h>

namespace vornset {
namespace {

TEST(BaudRateForText, RoundsHalfToEvenAndKeepsTheLow32Bits) {
  const struct {
    std::string_view text;
    std::uint32_t rate;
  } table[] = {
      {"9600", 9600},
      {" 19200", 19200},             // the rest of 'BAUD 19200'
      {"9600 ; comment", 9600},
      {"9600.5", 9600},              // halves go to the even neighbour
      {"9601.5", 9602},
      {"9600.4999", 9600},
      {"4294976896", 9600},          // 2^32 + 9600
      {"4294967295", 4294967295u},
      {"-1", 4294967295u},           // two's complement, low 32 bits
      {"1.152E6", 1152000},
      {"&H2580", 9600},
      {"9223372036854775807", 4294967288u},  // read as 2^63 - 8 (digits past the 18th drop): fits
      {"9.3E18", 0},                 // beyond 64 bits
      {"1E400", 0},
      {"=9600", 0},                  // the rest of 'BAUD=9600' is no number
      {"fast", 0},
      {"", 0},
  };
  for (const auto& row : table) {
    EXPECT_EQ(baud_rate_for_text(row.text), row.rate) << "'" << row.text << "'";
  }
}

}  // namespace
}  // namespace vornset
