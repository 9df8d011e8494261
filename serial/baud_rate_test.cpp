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

// A driver may give a rate above or below the one asked for; within 2 % it is the same rate.
TEST(RateTaken, WithinTwoPercentEitherWay) {
  const struct {
    std::uint32_t asked;
    std::uint32_t got;
    bool taken;
  } table[] = {
      {9600, 9600, true},
      {9600, 9792, true},     // 2 % above
      {9600, 9793, false},
      {9600, 9408, true},     // 2 % below, as the mini UART gives at a low core clock
      {9600, 9407, false},
      {9600, 9500, true},
      {115200, 111111, false},
      {300, 0, false},
      {4294967295u, 4294967295u - 85899345u, true},  // the difference times 50 is past 32 bits
      {4294967295u, 4294967295u - 85899346u, false},
  };
  for (const auto& row : table) {
    EXPECT_EQ(rate_taken(row.asked, row.got), row.taken) << row.asked << " " << row.got;
  }
}

}  // namespace
}  // namespace vornset
